#pragma once
// The whole-disk and partition up-case scans: where a volume's up-case table
// would stand if its boot sectors are gone.
#include <cstdint>
#include <string>

#include "core/common/progress_block.h"
#include "core/device/disk_record.h"

namespace dudorazu {

// Scans from sector 0 over the disk's whole size. True when a table was
// found; `foundSector` then holds its absolute sector.
bool scanWholeDisk(const DiskRecord& disk, ProgressBlock& progress, uint64_t* foundSector = nullptr);

// Scans the range of one partition of the disk.
bool scanPartition(const DiskRecord& disk, const PartitionRecord& partition, ProgressBlock& progress,
                   uint64_t* foundSector = nullptr);

// Where a scan found the table, as the windows tell it: the disk's sector,
// and for a partition scan also the sector inside the partition.
std::string upcaseFoundText(const PartitionRecord* partition, uint64_t sector);

}  // namespace dudorazu
