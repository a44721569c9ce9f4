#pragma once
// What a path is, and where its bytes live: the regular file or whole disk
// that holds them and the byte window the path covers in it. A partition
// stands for a window of its disk, a loop device for a window of its backing
// file (or of the disk it is set up over), so two paths are compared by what
// they are, never by their text.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>

#include "platform/files.h"

namespace dudorazu::platform {

struct StorageExtent {
  using Kind = PathKind;
  Kind kind = Kind::Missing;  // of the path itself
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

// Tests place folders on volumes of their choosing (a folder said to lie on
// a file system inside an image file) without mounting anything: the
// stand-in answers volumeExtent first, and the system is asked for every
// folder it leaves (nullopt). An empty function restores the system's
// answers. Not for use while operations run.
using VolumeStandIn = std::function<std::optional<StorageExtent>(const std::string& folder)>;
inline VolumeStandIn& volumeStandIn() {
  static VolumeStandIn standIn;
  return standIn;
}
inline void setVolumeStandIn(VolumeStandIn standIn) { volumeStandIn() = std::move(standIn); }

}  // namespace dudorazu::platform
