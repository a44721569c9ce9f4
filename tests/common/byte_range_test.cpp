#include "core/common/byte_range.h"

#include <gtest/gtest.h>

#include <optional>

namespace dudorazu {
namespace {

constexpr uint64_t kMax = UINT64_MAX;

TEST(ByteRange, RefusesEveryEndPastSixtyFourBitsAndKeepsTheRest) {
  struct Case {
    uint64_t start, length;
    bool made;
  } cases[] = {
      {0, 0, true},                  // empty at the start
      {kMax, 0, true},               // empty at the last position
      {0, kMax, true},               // everything addressable
      {kMax - 512, 512, true},       // ends exactly at UINT64_MAX
      {kMax - 511, 512, false},      // would end at 2^64
      {kMax, 1, false},              // one past
      {1ull << 63, 1ull << 63, false},
      {kMax, kMax, false},           // a hostile entry that wraps to kMax - 1
  };
  for (const Case& c : cases) {
    std::optional<ByteRange> r = ByteRange::of(c.start, c.length);
    EXPECT_EQ(r.has_value(), c.made) << c.start << "+" << c.length;
    EXPECT_TRUE(!r || r->end() - r->start() == c.length) << c.start << "+" << c.length;
  }
  EXPECT_FALSE(ByteRange::between(10, 9));
  EXPECT_TRUE(ByteRange::from(10).end() == kMax && ByteRange::from(kMax).length() == 0);
}

TEST(ByteRange, ContainsAndIntersectsByTheUnitsCovered) {
  const ByteRange r = *ByteRange::of(100, 50);  // [100, 150)
  struct Case {
    ByteRange other;
    bool intersects, contains;
    ByteRange intersection;
  } cases[] = {
      {*ByteRange::of(0, 100), false, false, *ByteRange::of(100, 0)},     // touching before
      {*ByteRange::of(150, 10), false, false, *ByteRange::of(150, 0)},    // touching after
      {*ByteRange::of(200, 10), false, false, *ByteRange::of(200, 0)},    // disjoint
      {*ByteRange::of(99, 2), true, false, *ByteRange::of(100, 1)},       // one unit shared at the start
      {*ByteRange::of(149, 100), true, false, *ByteRange::of(149, 1)},    // one at the end
      {*ByteRange::of(110, 10), true, true, *ByteRange::of(110, 10)},     // nested
      {*ByteRange::of(0, 1000), true, false, r},                          // around
      {r, true, true, r},                                                 // itself
      {*ByteRange::of(120, 0), false, true, *ByteRange::of(120, 0)},      // empty inside meets nothing
      {*ByteRange::of(150, 0), false, true, *ByteRange::of(150, 0)},      // empty at the end
      {ByteRange::from(140), true, false, *ByteRange::of(140, 10)},       // to the end
      {ByteRange::from(kMax), false, false, *ByteRange::of(kMax, 0)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "[" << c.other.start() << ", " << c.other.end() << ")");
    EXPECT_EQ(std::tuple(r.intersects(c.other), c.other.intersects(r), r.contains(c.other), r.intersection(c.other),
                         c.other.intersection(r).length()),
              std::tuple(c.intersects, c.intersects, c.contains, c.intersection, c.intersection.length()));
  }
  for (uint64_t at : {99, 100, 149, 150}) EXPECT_EQ(r.contains(at), at >= 100 && at < 150) << at;
  EXPECT_FALSE(ByteRange::of(kMax, 0)->contains(kMax));
  EXPECT_TRUE(r.before(120) == *ByteRange::of(100, 20) && r.before(50).length() == 0);
  EXPECT_TRUE(r.after(20) == *ByteRange::of(120, 30) && r.after(kMax) == *ByteRange::of(150, 0));
}

TEST(ByteRange, ConvertsSectorsToBytesOnlyWhereTheBytesFit) {
  struct Case {
    uint64_t start, length, sectorSize;
    std::optional<ByteRange> bytes;
  } cases[] = {
      {0, 0, 512, ByteRange::of(0, 0)},
      {2048, 8, 512, ByteRange::of(1048576, 4096)},
      {2048, 8, 4096, ByteRange::of(8388608, 32768)},
      {kMax / 512, 0, 512, ByteRange::of(kMax / 512 * 512, 0)},
      {kMax / 512 - 1, 1, 512, ByteRange::of(kMax / 512 * 512 - 512, 512)},
      {kMax / 512 + 1, 0, 512, std::nullopt},       // the start alone passes 2^64
      {kMax / 512, 1, 512, std::nullopt},           // the end does
      {1ull << 55, 1ull << 55, 512, std::nullopt},  // start * 512 wraps to 0 when unchecked
      {1, 1, 0, std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.start << "+" << c.length << " x " << c.sectorSize);
    std::optional<SectorRange> sectors = SectorRange::of(c.start, c.length);
    ASSERT_TRUE(sectors);
    EXPECT_EQ(bytesOf(*sectors, c.sectorSize), c.bytes);
  }
  struct Back {
    ByteRange bytes;
    SectorRange sectors;
  } backs[] = {
      {*ByteRange::of(0, 0), *SectorRange::of(0, 0)},
      {*ByteRange::of(1000, 0), *SectorRange::of(1, 0)},
      {*ByteRange::of(512, 512), *SectorRange::of(1, 1)},
      {*ByteRange::of(511, 2), *SectorRange::of(0, 2)},
      {ByteRange::from(0), *SectorRange::of(0, (kMax / 512) + 1)},  // a last part of a sector counts
  };
  for (const Back& b : backs) EXPECT_EQ(sectorsHolding(b.bytes, 512), b.sectors) << b.bytes.start();
  EXPECT_TRUE(checkedProduct(kMax / 512, 512) == kMax / 512 * 512 && !checkedProduct(kMax / 512 + 1, 512));
  EXPECT_TRUE(!checkedSum(kMax, 1) && checkedSum(kMax - 1, 1) == kMax);
}

}  // namespace
}  // namespace dudorazu
