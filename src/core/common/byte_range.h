#pragma once
// Half-open stretches [start, end) of bytes or of sectors, in 64 bits.
//
// The one rule: every end fits in uint64_t. A range whose start + length
// would pass UINT64_MAX is refused (nullopt), never wrapped and never cut,
// because such numbers come only from damaged or hostile tables and no
// device holds a byte at UINT64_MAX or beyond. "To the end" is the range
// from a start up to UINT64_MAX, never a sentinel length.
#include <algorithm>
#include <cstdint>
#include <optional>

namespace dudorazu {

template <class Unit>
class Range {
 public:
  constexpr Range() = default;

  // nullopt when start + length passes UINT64_MAX.
  static constexpr std::optional<Range> of(uint64_t start, uint64_t length) {
    if (length > UINT64_MAX - start) return std::nullopt;
    return Range(start, length);
  }
  // nullopt when end lies before start.
  static constexpr std::optional<Range> between(uint64_t start, uint64_t end) {
    if (end < start) return std::nullopt;
    return Range(start, end - start);
  }
  // From `start` to the end of what can be addressed: a file that grows
  // under its writer, a device whose size is not known.
  static constexpr Range from(uint64_t start) { return Range(start, UINT64_MAX - start); }
  // The first `length` units, all addressable ones.
  static constexpr Range first(uint64_t length) { return Range(0, length); }

  constexpr uint64_t start() const { return start_; }
  constexpr uint64_t length() const { return length_; }
  constexpr uint64_t end() const { return start_ + length_; }
  constexpr bool empty() const { return length_ == 0; }

  constexpr bool contains(uint64_t position) const { return position >= start_ && position - start_ < length_; }
  // An empty range is inside when its position lies within [start, end].
  constexpr bool contains(const Range& r) const { return r.start_ >= start_ && r.end() <= end(); }
  // Empty ranges meet nothing: they cover no unit.
  constexpr bool intersects(const Range& r) const { return start_ < r.end() && r.start_ < end() && !empty() && !r.empty(); }
  // The units both cover; empty (at the later start) when they cover none.
  constexpr Range intersection(const Range& r) const {
    const uint64_t s = std::max(start_, r.start_), e = std::min(end(), r.end());
    return Range(s, e > s ? e - s : 0);
  }
  // The part before `limit`, e.g. what of a claimed range lies on a device
  // of `limit` units.
  constexpr Range before(uint64_t limit) const { return intersection(first(limit)); }
  // Without its first `skip` units (empty at the end when skip >= length).
  constexpr Range after(uint64_t skip) const {
    const uint64_t n = std::min(skip, length_);
    return Range(start_ + n, length_ - n);
  }

  friend constexpr bool operator==(const Range&, const Range&) = default;

 private:
  constexpr Range(uint64_t start, uint64_t length) : start_(start), length_(length) {}
  uint64_t start_ = 0;
  uint64_t length_ = 0;
};

struct ByteUnit;
struct SectorUnit;
using ByteRange = Range<ByteUnit>;
using SectorRange = Range<SectorUnit>;

// count * unitSize, or nullopt when it passes UINT64_MAX.
constexpr std::optional<uint64_t> checkedProduct(uint64_t count, uint64_t unitSize) {
  if (unitSize != 0 && count > UINT64_MAX / unitSize) return std::nullopt;
  return count * unitSize;
}

// a + b, or nullopt when it passes UINT64_MAX.
constexpr std::optional<uint64_t> checkedSum(uint64_t a, uint64_t b) {
  if (b > UINT64_MAX - a) return std::nullopt;
  return a + b;
}

// The bytes of sectors of `sectorSize` bytes; nullopt when the end in bytes
// passes UINT64_MAX or the sector size is 0.
std::optional<ByteRange> bytesOf(const SectorRange& sectors, uint64_t sectorSize);

// The sectors that hold any byte of `bytes` (a last part of a sector counts
// as one); empty bytes give the empty range at their sector. `sectorSize`
// must not be 0.
SectorRange sectorsHolding(const ByteRange& bytes, uint64_t sectorSize);

}  // namespace dudorazu
