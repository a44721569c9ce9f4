#pragma once
// Drives and disk images: opening them, listing the machine's drives, and
// telling whether the machine is using one.
#include <memory>
#include <string>

#include "platform/drive_enumerator.h"
#include "platform/sector_device.h"

namespace dudorazu::platform {

// Opens a block device or a file. Read mode never writes; CreateWrite
// creates or truncates a regular file. nullptr when it cannot be opened,
// with errno telling why (0: the path is no disk, such as a folder).
std::unique_ptr<SectorDevice> openSectorDevice(const std::string& path, OpenMode mode);

// The machine's drive enumerator (on Linux: /sys/block, /dev and
// /proc/self/mountinfo).
std::unique_ptr<DriveEnumerator> makeDriveEnumerator();

// True when this process has the rights drives are opened with (root on
// Linux, an elevated administrator on Windows), so a drive refused for want
// of rights can be told apart from one that is broken.
bool runsAsAdministrator();

// True when `path` names one of the machine's drives rather than an image
// file opened in place of one.
bool isPhysicalDrivePath(const std::string& path);

// True when a file system this machine has mounted lies on the disk or
// image file at `path`: on the device itself, on one of its partitions, on
// a device stacked on it, or (for an image file) on a device backed by it.
bool diskInUse(const std::string& path);

}  // namespace dudorazu::platform
