#include "core/present/properties.h"

#include <cinttypes>

#include "core/common/text.h"
#include "core/present/display_format.h"

namespace dudorazu {
namespace {

std::string sizeWithSectors(uint64_t bytes, uint64_t sectors) {
  return formatSizeShort(bytes) + " (" + format("%" PRIu64, sectors) + " sec" + ")";
}

}  // namespace

std::vector<PropertyRow> diskProperties(const DiskRecord& disk) {
  bool drive = !disk.driveNumber.empty();
  std::vector<PropertyRow> rows;
  rows.push_back({"驱动类型", drive ? "物理驱动-硬盘" : "系统文件"});
  rows.push_back({"名称", drive ? displayName(disk) : disk.devicePath});
  rows.push_back({"系统对象", disk.devicePath});
  std::string size = sizeWithSectors(disk.diskSize, disk.diskSize / 512);
  rows.push_back({"大小", size});
  if (drive) {
    rows.push_back({"扇区大小", "512B"});
    rows.push_back({"分区大小", size});
  }
  return rows;
}

// Sector counts are written in full (a partition of 2^31 sectors or more is
// common today).
std::vector<PropertyRow> partitionProperties(const DiskRecord& disk, const PartitionRecord& partition) {
  bool drive = !disk.driveNumber.empty();
  std::vector<PropertyRow> rows;
  rows.push_back({"驱动类型", drive ? "卷-硬盘" : "分区"});
  rows.push_back({"名称", partition.driveLetter.empty() ? partition.name : partition.driveLetter});
  rows.push_back({"系统对象", disk.devicePath});
  std::string size = sizeWithSectors(partition.sizeBytes(), partition.sizeSectors);
  rows.push_back({"大小", size});
  if (drive) rows.push_back({"扇区大小", std::to_string(partition.deviceSectorSize) + "B"});
  rows.push_back({"起始地址", sizeWithSectors(partition.startOffset(), partition.startSector)});
  rows.push_back({"分区大小", size});
  return rows;
}

}  // namespace dudorazu
