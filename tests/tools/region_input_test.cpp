#include "core/tools/region_input.h"

#include <gtest/gtest.h>

#include "partitions/listing.h"
#include "support/catalogued.h"
#include "support/temp_dir.h"

namespace dudorazu {
namespace {

TEST(RegionInput, NumbersAreReadInTheirUnitsAndRangesBeyondTheDiskOrBackwardsAreRefused) {
  using U = RegionUnit;
  const struct {
    RegionInput input;
    uint64_t diskSectors;
    const char* result;  // "first-end" or the message
  } cases[] = {
      {{"100", U::Sectors, "1", U::MB}, 1000000, "100-2148"},
      {{"0.5", U::GB, "10", U::KB}, 2000000, "1048576-1048596"},
      {{"600000", U::Sectors, "300000", U::Sectors}, 1000000, "600000-900000"},
      {{"600000", U::Sectors, "400000", U::Sectors}, 1000000, "600000-1000000"},  // to the disk's end
      {{"600000", U::Sectors, "500000", U::Sectors}, 1000000, "数值填写过大，请改写！"},
      {{"600000", U::Sectors, "-5", U::Sectors}, 1000000, "数值填写错误，请改写！"},
      {{"500", U::Sectors, "0", U::Sectors}, 1000000, "500-500"},  // an empty region is accepted
  };
  for (const auto& c : cases) {
    RecordingMessageSink m;
    auto r = regionRange(c.input, c.diskSectors, m);
    EXPECT_EQ(r ? std::to_string(r->first) + "-" + std::to_string(r->end) : m.messages.at(0).text, c.result);
    EXPECT_EQ(m.messages.size(), r ? 0u : 1u) << c.result;
  }
  EXPECT_EQ(regionSectors("1.5", U::GB), 3145728);
  EXPECT_EQ(regionSectors("16777217", U::Sectors), 16777217);
  EXPECT_EQ(regionSectors("7", U::None), 7) << "no unit: sectors";
  EXPECT_EQ(regionSectors("1e300", U::GB), INT64_MAX);
}

TEST(RegionInput, CreatedRegionIsAppendedWithItsFileSystem) {
  DiskRecord disk = test::catalogued(test::fixtureImage("tools-search.img"));
  RecordingMessageSink m;
  ASSERT_TRUE(createRegion(disk, {"32130", RegionUnit::Sectors, "8", RegionUnit::MB}, m));
  EXPECT_FALSE(createRegion(disk, {"1", RegionUnit::GB, "1", RegionUnit::Sectors}, m));
  // Its first sector is an exFAT boot sector (type 5).
  EXPECT_EQ(test::listing(disk), "Region 0 on tools-search.img 32130+16384 t5 k1 \n");
}

}  // namespace
}  // namespace dudorazu
