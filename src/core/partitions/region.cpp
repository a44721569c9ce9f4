// User-defined regions: a stretch of sectors the user marks as a volume.
#include <string>

#include "core/common/text.h"
#include "core/device/open_device.h"
#include "core/partitions/fs_probes.h"
#include "core/partitions/lvm_label.h"
#include "core/partitions/partition_table.h"

namespace dudorazu {
namespace {

// "Region N on DISK" with N one above the last record's number when the last
// record is a region, else 0.
std::string nextRegionName(const DiskRecord& disk) {
  uint64_t number = 0;
  if (!disk.partitions.empty() && disk.partitions.back().name.rfind("Region", 0) == 0) {
    const std::string& last = disk.partitions.back().name;
    size_t space = last.find(' ');
    std::string_view digits;
    if (space != std::string::npos) {
      size_t end = last.find(' ', space + 1);
      digits = std::string_view(last).substr(space + 1, end == std::string::npos ? std::string::npos : end - space - 1);
    }
    number = decimalValue(digits) + 1;
  }
  return "Region " + std::to_string(number) + " on " + displayName(disk);
}

}  // namespace

bool addRegion(uint64_t firstSector, uint64_t endSector, DiskRecord& disk) {
  if (endSector < firstSector) return false;
  std::string name = nextRegionName(disk);
  auto device = openDevice(disk.devicePath, OpenMode::Read);
  if (!device) return false;
  uint8_t boot[kSectorSize];
  device->readSectors(firstSector, 1, boot);
  PartitionRecord p;
  p.name = name;
  p.typeCode = isExfatBootSector(boot) ? kTypeExfat : 0;
  p.startSector = firstSector;
  p.sizeSectors = endSector - firstSector;
  disk.partitions.push_back(std::move(p));
  return true;
}

}  // namespace dudorazu
