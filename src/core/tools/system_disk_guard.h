#pragma once
// Which disk the partition-table tools must not change: a disk any of whose
// volumes is mounted (the system's own volume among them).
#include "core/device/disk_record.h"

namespace dudorazu {

// True when a partition of `disk` has a mount point, or when the machine
// has a file system mounted that lies on the disk (see platform::diskInUse).
bool diskHasMountedVolume(const DiskRecord& disk);

}  // namespace dudorazu
