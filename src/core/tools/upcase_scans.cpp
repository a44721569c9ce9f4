#include "core/tools/upcase_scans.h"

#include "core/common/text.h"
#include "platform/sector_device.h"
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

std::string upcaseFoundText(const PartitionRecord* partition, uint64_t sector) {
  std::string text = format("找到 exFAT 大写转换表：磁盘第 %llu 扇区", static_cast<unsigned long long>(sector));
  const uint64_t first = partition ? partition->startOffset() / kSectorSize : 0;
  if (partition && sector >= first)
    text += format("（分区内第 %llu 扇区）", static_cast<unsigned long long>(sector - first));
  return text;
}

}  // namespace dudorazu
