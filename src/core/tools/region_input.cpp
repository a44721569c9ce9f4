#include "core/tools/region_input.h"

#include <cstdlib>

#include "platform/sector_device.h"
#include "core/partitions/partition_table.h"

namespace dudorazu {

int64_t regionSectors(const std::string& text, RegionUnit unit) {
  double n = std::strtod(text.c_str(), nullptr);
  switch (unit) {
    case RegionUnit::GB: n *= 1024.0 * 1024.0 * 2.0; break;
    case RegionUnit::MB: n *= 1024.0 * 2.0; break;
    case RegionUnit::KB: n *= 2.0; break;
    case RegionUnit::Sectors:
    case RegionUnit::None: break;
  }
  // Out-of-range values would make the conversion undefined; they are
  // beyond any disk either way.
  if (!(n < 9.2e18)) return INT64_MAX;
  if (!(n > -9.2e18)) return INT64_MIN;
  return static_cast<int64_t>(n);
}

std::optional<SectorRange> regionRange(const RegionInput& input, uint64_t diskSectors, MessageSink& messages) {
  const int64_t first = regionSectors(input.start, input.startUnit);
  const int64_t size = regionSectors(input.size, input.sizeUnit);
  // The end is computed as the sum the dialog writes back; it wraps like it.
  const int64_t end = static_cast<int64_t>(static_cast<uint64_t>(first) + static_cast<uint64_t>(size));
  if (first > end) {
    messages.show("数值填写错误，请改写！", kApplicationTitle);
    return std::nullopt;
  }
  // A negative start reads as a number past every disk.
  std::optional<SectorRange> range = SectorRange::between(static_cast<uint64_t>(first), static_cast<uint64_t>(end));
  if (!range || !SectorRange::first(diskSectors).contains(*range)) {
    messages.show("数值填写过大，请改写！", kApplicationTitle);
    return std::nullopt;
  }
  return range;
}

uint64_t regionDiskSectors(const DiskRecord& disk) { return disk.diskSize / kSectorSize; }

bool createRegion(DiskRecord& disk, const RegionInput& input, MessageSink& messages) {
  std::optional<SectorRange> range = regionRange(input, regionDiskSectors(disk), messages);
  if (!range) return false;
  return addRegion(range->start(), range->end(), disk);
}

}  // namespace dudorazu
