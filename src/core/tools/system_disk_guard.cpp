#include "core/tools/system_disk_guard.h"

#include "platform/devices.h"

namespace dudorazu {

bool diskHasMountedVolume(const DiskRecord& disk) {
  for (const PartitionRecord& p : disk.partitions)
    if (!p.driveLetter.empty()) return true;
  return platform::diskInUse(disk.devicePath);
}

}  // namespace dudorazu
