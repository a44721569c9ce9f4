#pragma once
// Which disk the partition-table tools must not change: on Linux, a disk any
// of whose volumes is mounted (the root file system among them).
#include <string>

#include "core/device/disk_record.h"

namespace dudorazu {

// Where the kernel's views are read; tests point these at a fake tree.
struct MountSources {
  std::string mountinfo = "/proc/self/mountinfo";
  std::string sysRoot = "/sys";
};

// True when a partition of `disk` has a mount point, or when a mount in
// `sources.mountinfo` lies on the disk: on the device itself, on one of its
// partitions, on a device stacked on it, or (for an image file) on a loop
// device backed by the file.
bool diskHasMountedVolume(const DiskRecord& disk, const MountSources& sources = {});

}  // namespace dudorazu
