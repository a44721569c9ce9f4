#include "core/common/byte_range.h"

namespace dudorazu {

std::optional<ByteRange> bytesOf(const SectorRange& sectors, uint64_t sectorSize) {
  if (sectorSize == 0) return std::nullopt;
  std::optional<uint64_t> start = checkedProduct(sectors.start(), sectorSize);
  std::optional<uint64_t> end = checkedProduct(sectors.end(), sectorSize);
  if (!start || !end) return std::nullopt;
  return ByteRange::between(*start, *end);
}

SectorRange sectorsHolding(const ByteRange& bytes, uint64_t sectorSize) {
  const uint64_t first = bytes.start() / sectorSize;
  if (bytes.empty()) return *SectorRange::of(first, 0);
  // end / size rounded up without forming end + size - 1, which may pass 2^64.
  const uint64_t end = bytes.end() / sectorSize + (bytes.end() % sectorSize != 0);
  return *SectorRange::between(first, end);
}

}  // namespace dudorazu
