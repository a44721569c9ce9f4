#pragma once
// The Linux side of storageExtent, with the roots of /sys and /dev as a
// parameter so tests can hand in a made-up tree.
#include <string>

#include "platform/storage_extent.h"

namespace dudorazu::platform {

// Where the bytes of block device major:minor live (a partition's parent
// disk, a loop device's backing file), reading `root`/sys and `root`/dev.
StorageExtent blockDeviceExtent(unsigned majorNumber, unsigned minorNumber, const std::string& root);

}  // namespace dudorazu::platform
