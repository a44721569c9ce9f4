// Discovery on disk images made by sfdisk, sgdisk, parted, mkfs.*, hformat
// and the LVM tools (tests/fixtures/make-partitions.sh).
#include <gtest/gtest.h>

#include <sstream>

#include "core/device/disk_catalogue.h"
#include "support/catalogued.h"
#include "support/temp_dir.h"

namespace dudorazu {
namespace {

struct Expected {
  std::string name;
  uint32_t start;
  uint64_t size;
  uint8_t typeCode;
  uint8_t entryKind;
  std::string label;
  std::string extVersion = "";
  uint32_t hfsKind = 0;
};

// Each fixture's partitions, in the catalogue's order, by every field the
// probes fill in.
TEST(FixtureImages, PartitionsOfEachTableAndWholeDiskVolume) {
  const std::vector<std::pair<const char*, std::vector<Expected>>> images = {
      {"partitions-mbr.img",
       {{"Partition0", 2048, 16384, 5, 1, "MBREXFAT"},
        {"Partition1", 18432, 8192, 6, 1, ""},
        {"Partition2", 28672, 73728, 0x0C, 2, ""},
        {"Partition3", 104448, 16384, 7, 2, ""},
        {"Partition4", 122880, 32768, 0x83, 2, ""}}},
      {"partitions-gpt.img",
       {{"Data(exFat)", 2048, 16384, 5, 1, "GPTDATA"},
        {"Small(fat)", 18432, 8192, 6, 1, ""},
        {"LinuxPartition2", 26624, 32768, 0x83, 1, "GPTEXT4", "EXT4"},
        {"Win(NTFS)", 59392, 16384, 7, 1, ""},
        {"Mac", 75776, 4096, 0x19, 1, "MacVol", "", 1},
        {"Other", 79872, 4096, 0, 1, ""}}},
      {"partitions-whole-exfat.img", {{"Partition0", 0, 16384, 5, 1, "WHOLEEXFAT"}}},
      {"partitions-whole-fat32.img", {{"Partition0", 0, 73728, 0x0C, 1, ""}}},
      // mkfs.ntfs without a table writes hidden sectors 0, which the probe refuses.
      {"partitions-whole-ntfs.img", {{"Partition0", 0, 0, 0, 1, ""}}},
      {"partitions-whole-ext4.img", {{"Partition0", 0, 32768, 0x83, 1, "WHOLEEXT4", "EXT4"}}},
      {"partitions-apple.img", {{"Partition0", 2048, 4096, 0x19, 1, "AppleVol", "", 1}}},
      {"partitions-hfs.img", {{"Partition0", 0, 4096, 0x19, 1, "Disk", "", 1}}},
      {"partitions-hfsplus.img", {{"Partition0", 0, 2048, 0x19, 1, "only hfs+", "", 2}}},
  };
  for (const auto& [fixture, expected] : images) {
    SCOPED_TRACE(fixture);
    DiskRecord disk = test::catalogued(test::fixtureImage(fixture));
    EXPECT_EQ(disk.vendorId, fixture);
    ASSERT_EQ(disk.partitions.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
      const PartitionRecord& p = disk.partitions[i];
      const Expected& e = expected[i];
      SCOPED_TRACE(e.name);
      EXPECT_EQ(p.name, e.name);
      EXPECT_EQ(p.startSector, e.start);
      EXPECT_EQ(p.sizeSectors, e.size);
      EXPECT_EQ(p.typeCode, e.typeCode);
      EXPECT_EQ(p.entryKind, e.entryKind);
      EXPECT_EQ(p.label, e.label);
      EXPECT_EQ(p.extVersion, e.extVersion);
      EXPECT_EQ(p.hfsKind, e.hfsKind);
    }
  }
  DiskRecord apple = test::catalogued(test::fixtureImage("partitions-apple.img"));
  EXPECT_GT(apple.mapEntryCount, 1u);
  EXPECT_EQ(apple.diskSize, 4u << 20) << "the image size replaces the descriptor's block count";
  EXPECT_EQ(apple.partitions.at(0).hfsKindText, "Apple_HFS");
}

TEST(FixtureImages, GptExfatWithDestroyedMainBootSectorIsMarked) {
  test::TempDir dir;
  std::string image = dir.file("gpt.img");
  std::string bytes = test::readFile(test::fixtureImage("partitions-gpt.img"));
  bytes.replace(2048 * 512, 512, 512, '\0');
  test::writeFile(image, bytes);
  DiskCatalogue catalogue;
  ASSERT_TRUE(openImageAsDisk(catalogue, image));
  const PartitionRecord& data = catalogue.disks.front().partitions.at(0);
  EXPECT_EQ(data.name, "Data") << "no file system recognised at its start";
  EXPECT_TRUE(data.exfatFromBackupBootSector);
  EXPECT_TRUE(holdsExfatVolume(data));
  EXPECT_FALSE(catalogue.disks.front().partitions.at(1).exfatFromBackupBootSector);
}

TEST(FixtureImages, LvmPhysicalVolume) {
  DiskRecord disk = test::catalogued(test::fixtureImage("partitions-lvm.img"));
  EXPECT_TRUE(disk.partitions.empty());
  // The oracle: pvs (uuid, pe_start, pe count) and lvs --segments lines.
  std::istringstream oracle(test::fixtureText("partitions-lvm.oracle.txt"));
  std::string uuid, peStart;
  uint32_t peCount = 0;
  oracle >> uuid >> peStart >> peCount;
  std::string dashless;
  for (char c : uuid)
    if (c != '-') dashless.push_back(c);
  EXPECT_EQ(disk.pvId, dashless);
  EXPECT_EQ(std::to_string(disk.peStart) + "S", peStart);
  EXPECT_EQ(disk.peCount, peCount);
  EXPECT_EQ(disk.extentSize, 2048u);

  std::string name, ranges;
  uint32_t start = 0, count = 0;
  size_t lvIndex = 0, segIndex = 0;
  std::string lastName;
  while (oracle >> name >> start >> count >> ranges) {
    if (!lastName.empty() && name != lastName) {
      ++lvIndex;
      segIndex = 0;
    }
    lastName = name;
    ASSERT_LT(lvIndex, disk.logicalVolumes.size());
    const LogicalVolume& lv = disk.logicalVolumes[lvIndex];
    EXPECT_EQ(lv.name, name);
    ASSERT_LT(segIndex, lv.segments.size()) << name;
    const LvSegment& s = lv.segments[segIndex++];
    EXPECT_EQ(s.startExtent, start) << name;
    EXPECT_EQ(s.extentCount, count) << name;
    // "/dev/loopN:first-last"
    EXPECT_EQ(std::to_string(s.pvStartExtent), ranges.substr(ranges.find(':') + 1, ranges.find('-') - ranges.find(':') - 1));
    EXPECT_EQ(s.pvId, uuid);
  }
  ASSERT_EQ(disk.logicalVolumes.size(), 2u);
  EXPECT_EQ(disk.logicalVolumes[0].segments.size(), 2u);
  EXPECT_EQ(disk.logicalVolumes[0].sizeSectors, 4u * 2048);
  EXPECT_EQ(disk.logicalVolumes[1].sizeSectors, 3u * 2048);
}

}  // namespace
}  // namespace dudorazu
