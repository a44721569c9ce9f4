#pragma once
// The seam between the core and the operating system. Each backend folder
// (linux/, windows/) implements these functions; only one is compiled.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/device/drive_enumerator.h"
#include "core/device/sector_device.h"

namespace dudorazu::platform {

// Opens a block device or a file. Read mode never writes; CreateWrite
// creates or truncates a regular file.
std::unique_ptr<SectorDevice> openSectorDevice(const std::string& path, OpenMode mode);

// Free bytes available to this user on the file system holding `path`;
// false when it cannot be asked.
bool freeBytesAvailable(const std::string& path, uint64_t& freeBytes);

// The machine's drive enumerator (on Linux: /sys/block, /dev and
// /proc/self/mountinfo).
std::unique_ptr<DriveEnumerator> makeDriveEnumerator();

}  // namespace dudorazu::platform
