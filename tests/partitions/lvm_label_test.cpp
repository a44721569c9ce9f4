#include "core/partitions/lvm_label.h"

#include <gtest/gtest.h>

#include "core/partitions/partition_table.h"
#include "support/image_builder.h"

namespace dudorazu {
namespace {

// The layout LVM writes on disk: no indentation, a blank line before blocks.
const char* kMetadata =
    "vg0 {\nid = \"VGID-0001\"\nseqno = 3\nextent_size = 8192\n\n"
    "physical_volumes {\n\n"
    "pv0 {\nid = \"abcdef-ghij-klmn-opqr-stuv-wxyz-012345\"\ndevice = \"/dev/sdb\"\n\n"
    "dev_size = 2097152\npe_start = 2048\npe_count = 255\n}\n\n"
    "pv1 {\nid = \"zzzzzz-zzzz-zzzz-zzzz-zzzz-zzzz-zzzzzz\"\ndev_size = 1\npe_start = 1\npe_count = 1\n}\n}\n\n"
    "logical_volumes {\n\n"
    "data {\nid = \"x\"\nsegment_count = 1\n\nsegment1 {\nstart_extent = 0\nextent_count = 10\n\n"
    "type = \"striped\"\nstripe_count = 1\n\nstripes = [\n\"pv0\", 384\n]\n}\n}\n\n"
    "home {\nid = \"y\"\nsegment_count = 2\n\nsegment1 {\nstart_extent = 0\nextent_count = 4\n"
    "stripe_count = 1\nstripes = [\n\"pv1\", 0\n]\n}\nsegment2 {\nstart_extent = 4\nextent_count = 6\n"
    "stripe_count = 1\nstripes = [\n\"pv0\", 394\n]\n}\n}\n}\n}\n";

TEST(LvmText, BlocksFollowNestingAndValuesNeedTheirLineEnd) {
  EXPECT_EQ(extractBlock("a { b { c } d } e }"), "a { b { c } d }");
  EXPECT_EQ(extractBlock("x { } { }"), "x { }");
  EXPECT_EQ(extractBlock("no braces"), "");
  EXPECT_EQ(extractBlock("open { { }"), "") << "never closed";
  EXPECT_EQ(getValue("a = 1\nextent_size = 8192\n", "extent_size"), "8192");
  EXPECT_EQ(getValue("stripes = [\n\"pv0\", 384\n]", "stripes"), "\n\"pv0\", 384\n");
  EXPECT_EQ(getValue("extent_size = 8192", "extent_size"), "") << "no line break: no value";
  EXPECT_EQ(getValue("extent_size =\n", "extent_size"), "");
  EXPECT_EQ(getValue("extent_size\n", "extent_size"), "");
  EXPECT_EQ(getValue("stripes = [ \"pv0\"", "stripes"), "");
  EXPECT_EQ(getValue("nothing\n", "id"), "");
  EXPECT_EQ(decimalValue(" 42 # comment"), 42u);
  EXPECT_EQ(decimalValue("\"7\""), 0u);
  EXPECT_EQ(decimalValue("99999999999999999999999"), UINT64_MAX);
}

// Segments are checked against lvs in FixtureImages; here the choice among PVs.
TEST(LvmMetadata, TheLabelsPvIsChosenAmongSeveralAndMalformedTextYieldsMissingValues) {
  DiskRecord disk;
  disk.pvId = "abcdefghijklmnopqrstuvwxyz012345";
  parseVolumeGroup(kMetadata, disk);
  EXPECT_EQ(disk.devSize, 2097152u) << "the hyphenated id matches the label's 32 characters";
  EXPECT_EQ(disk.peStart, 2048u);
  EXPECT_EQ(disk.peCount, 255u);
  ASSERT_EQ(disk.logicalVolumes.size(), 2u);
  EXPECT_EQ(disk.logicalVolumes[1].segments[0].pvName, "pv1");

  const char* broken[] = {
      "",
      "physical_volumes",
      "physical_volumes {",
      "physical_volumes {\n{\n}\n}\nlogical_volumes {\n{segment_count = 9\n}\n}",
      "logical_volumes {\nx{\nsegment_count = 4000000000\nsegment1 {\nstripes = [,]\n}\n}\n}",
      "physical_volumes {\np{\nid = \"\n}\n}\nlogical_volumes {\n{\n}\n}",
      "logical_volumes {\nlv {\nsegment_count = 1\nsegment1 {\nstripes = [\n\"",
  };
  for (const char* text : broken) {
    DiskRecord disk;
    parseVolumeGroup(text, disk);
    for (const LogicalVolume& lv : disk.logicalVolumes)
      EXPECT_LE(lv.segments.size(), 1u) << "only segments present in the text are listed: " << text;
  }
}

TEST(LvmLabel, LabelInSectorOneEndsDiscovery) {
  test::ImageBuilder pv(64);
  std::memcpy(pv.sector(1), "LABELONE", 8);
  std::memcpy(pv.sector(1) + 32, "abcdefghijklmnopqrstuvwxyz012345", 32);
  putLe64(pv.sector(1), 104, 8 * 512);  // metadata area at sector 8
  putLe64(pv.sector(8), 40, 512);       // text one sector into it
  putLe32(pv.sector(8), 48, static_cast<uint32_t>(std::strlen(kMetadata)));
  std::memcpy(pv.sector(9), kMetadata, std::strlen(kMetadata));
  DiskRecord disk;
  MemoryDevice dev = pv.device();
  discoverPartitions(dev, disk);
  EXPECT_TRUE(disk.partitions.empty());
  EXPECT_EQ(disk.pvId, "abcdefghijklmnopqrstuvwxyz012345");
  EXPECT_EQ(disk.vgId, "\"VGID-0001\"");
  EXPECT_EQ(disk.logicalVolumes.size(), 2u);

  // A text size beyond the bound is taken as no metadata; a disk with the
  // boot signature is an MBR disk, whatever sector 1 holds.
  putLe32(pv.sector(8), 48, 0xFFFFFFFF);
  DiskRecord huge, mbr;
  MemoryDevice hugeDev = pv.device();
  discoverPartitions(hugeDev, huge);
  EXPECT_EQ(huge.pvId, "abcdefghijklmnopqrstuvwxyz012345");
  EXPECT_TRUE(huge.logicalVolumes.empty());
  pv.signature(0);
  MemoryDevice mbrDev = pv.device();
  discoverPartitions(mbrDev, mbr);
  EXPECT_EQ(mbr.pvId, "");
}

}  // namespace
}  // namespace dudorazu
