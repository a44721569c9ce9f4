#pragma once
// The Name/Value rows shown for a disk or a partition, as plain data.
#include <string>
#include <vector>

#include "core/device/disk_record.h"

namespace dudorazu {

struct PropertyRow {
  std::string name;
  std::string value;
};

std::vector<PropertyRow> diskProperties(const DiskRecord& disk);
std::vector<PropertyRow> partitionProperties(const DiskRecord& disk, const PartitionRecord& partition);

}  // namespace dudorazu
