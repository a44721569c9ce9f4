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

// What a path is, and where its bytes live: the regular file or whole disk
// that holds them and the byte window the path covers in it. A partition
// stands for a window of its disk, a loop device for a window of its backing
// file (or of the disk it is set up over), so two paths are compared by what
// they are, never by their text.
struct StorageExtent {
  enum class Kind { Missing, RegularFile, BlockDevice, Folder, Other };
  Kind kind = Kind::Missing;  // of the path itself; Other: a FIFO, socket or character device
  bool holderIsDisk = false;  // the holder below is a whole disk, else a file
  uint64_t holderDevice = 0;  // identity of the holder (for a missing path: of its folder)
  uint64_t holderInode = 0;
  std::string missingName;    // a missing path's last component
  uint64_t offset = 0;        // where the path's first byte lies in the holder
  uint64_t length = UINT64_MAX;  // bytes the path covers; UINT64_MAX when unknown
};
// Never opens the path, so a FIFO cannot block the caller.
StorageExtent storageExtent(const std::string& path);

// The storage that holds the file system `folder` (or its nearest existing
// parent) lives on, as above; Kind::Missing when that cannot be told (a
// memory or network file system).
StorageExtent volumeExtent(const std::string& folder);

// Makes `folder` and its missing parents (unless `create` is false) and
// tells whether files can be made in it: an empty text when they can, else
// why not.
std::string folderProblem(const std::string& folder, bool create);

// The machine's drive enumerator (on Linux: /sys/block, /dev and
// /proc/self/mountinfo).
std::unique_ptr<DriveEnumerator> makeDriveEnumerator();

}  // namespace dudorazu::platform
