#pragma once
// The rules of the region command that are not its window: the numbers the
// user types, read in their units, checked against the disk and handed to
// addRegion.
#include <cstdint>
#include <optional>
#include <string>

#include "core/common/byte_range.h"
#include "core/common/messages.h"
#include "core/device/disk_record.h"

namespace dudorazu {

// The unit lists, in their order; None when typed text left no selection.
enum class RegionUnit { Sectors, GB, MB, KB, None };

struct RegionInput {
  std::string start;
  RegionUnit startUnit = RegionUnit::Sectors;
  std::string size;
  RegionUnit sizeUnit = RegionUnit::Sectors;
};

// A number read as a decimal fraction in `unit`, truncated to whole sectors
// (512 bytes). Without a unit the number is taken as sectors.
int64_t regionSectors(const std::string& text, RegionUnit unit);

// The sectors a region may cover on `disk`: its size in 512-byte sectors.
uint64_t regionDiskSectors(const DiskRecord& disk);

// The region's sectors on a disk of `diskSectors` sectors, or nullopt after
// "数值填写错误，请改写！" (start after end) or "数值填写过大，请改写！"
// (beyond the disk, or before its start).
std::optional<SectorRange> regionRange(const RegionInput& input, uint64_t diskSectors, MessageSink& messages);

// Checks the input and appends the region to the disk; false when refused
// or when the disk cannot be opened (then silently, nothing appended).
bool createRegion(DiskRecord& disk, const RegionInput& input, MessageSink& messages);

}  // namespace dudorazu
