#include "core/tools/region_input.h"

#include <gtest/gtest.h>

#include "support/catalogued.h"
#include "support/temp_dir.h"

namespace dudorazu {
namespace {

std::optional<RegionRange> range(const std::string& start, RegionUnit su, const std::string& size, RegionUnit zu,
                                 RecordingMessageSink& messages) {
  return regionRange({start, su, size, zu}, 1000000, messages);
}

TEST(RegionInput, NumbersAreReadInTheirUnits) {
  RecordingMessageSink m;
  auto a = range("100", RegionUnit::Sectors, "1", RegionUnit::MB, m);
  ASSERT_TRUE(a);
  EXPECT_EQ(a->first, 100);
  EXPECT_EQ(a->end, 2148);
  auto b = regionRange({"0.5", RegionUnit::GB, "10", RegionUnit::KB}, 2000000, m);
  ASSERT_TRUE(b);
  EXPECT_EQ(b->first, 1048576);
  EXPECT_EQ(b->end, 1048596);
  EXPECT_EQ(regionSectors("1.5", RegionUnit::GB), 3145728);
  EXPECT_EQ(regionSectors("16777217", RegionUnit::Sectors), 16777217);
  EXPECT_EQ(regionSectors("7", RegionUnit::None), 7) << "no unit: sectors";
  EXPECT_EQ(regionSectors("1e300", RegionUnit::GB), INT64_MAX);
  EXPECT_TRUE(m.messages.empty());
}

TEST(RegionInput, RangesBeyondTheDiskOrBackwardsAreRefused) {
  RecordingMessageSink m;
  auto ok = range("600000", RegionUnit::Sectors, "300000", RegionUnit::Sectors, m);
  ASSERT_TRUE(ok);
  EXPECT_EQ(ok->end, 900000);
  EXPECT_TRUE(range("600000", RegionUnit::Sectors, "400000", RegionUnit::Sectors, m)) << "ending at the disk's end";
  EXPECT_FALSE(range("600000", RegionUnit::Sectors, "500000", RegionUnit::Sectors, m));
  EXPECT_EQ(m.messages.back().text, "数值填写过大，请改写！");
  EXPECT_FALSE(range("600000", RegionUnit::Sectors, "-5", RegionUnit::Sectors, m));
  EXPECT_EQ(m.messages.back().text, "数值填写错误，请改写！");
  EXPECT_TRUE(range("500", RegionUnit::Sectors, "0", RegionUnit::Sectors, m)) << "an empty region is accepted";
}

TEST(RegionInput, CreatedRegionIsAppendedWithItsFileSystem) {
  DiskRecord disk = test::catalogued(test::fixtureImage("tools-search.img"));
  RecordingMessageSink m;
  ASSERT_TRUE(createRegion(disk, {"32130", RegionUnit::Sectors, "8", RegionUnit::MB}, m));
  ASSERT_EQ(disk.partitions.size(), 1u);
  EXPECT_EQ(disk.partitions[0].name, "Region 0 on tools-search.img");
  EXPECT_EQ(disk.partitions[0].startSector, 32130u);
  EXPECT_EQ(disk.partitions[0].sizeSectors, 16384u);
  EXPECT_EQ(disk.partitions[0].typeCode, 5) << "its first sector is an exFAT boot sector";
  EXPECT_FALSE(createRegion(disk, {"1", RegionUnit::GB, "1", RegionUnit::Sectors}, m));
  EXPECT_EQ(disk.partitions.size(), 1u);
}

}  // namespace
}  // namespace dudorazu
