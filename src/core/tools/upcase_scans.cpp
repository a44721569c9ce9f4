#include "core/tools/upcase_scans.h"

#include "core/device/sector_device.h"
#include "core/exfat/upcase_scan.h"

namespace dudorazu {

bool scanWholeDisk(const DiskRecord& disk, ProgressBlock& progress, uint64_t* foundSector) {
  return scanForUpcaseTable(disk, progress, 0, disk.diskSize / kSectorSize, foundSector);
}

bool scanPartition(const DiskRecord& disk, const PartitionRecord& partition, ProgressBlock& progress,
                   uint64_t* foundSector) {
  return scanForUpcaseTable(disk, progress, partition.startOffset() / kSectorSize, partition.sizeBytes() / kSectorSize,
                            foundSector);
}

}  // namespace dudorazu
