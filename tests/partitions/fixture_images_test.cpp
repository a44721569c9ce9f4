// Discovery on disk images made by sfdisk, sgdisk, parted, mkfs.*, hformat
// and the LVM tools (tests/fixtures/make-partitions.sh).
#include <gtest/gtest.h>

#include <sstream>

#include "core/device/disk_catalogue.h"
#include "partitions/listing.h"
#include "support/catalogued.h"
#include "support/temp_dir.h"

namespace dudorazu {
namespace {

TEST(FixtureImages, PartitionsOfEachTableAndWholeDiskVolume) {
  const std::pair<const char*, const char*> images[] = {
      {"partitions-mbr.img",
       "Partition0 2048+16384 t5 k1 MBREXFAT\nPartition1 18432+8192 t6 k1 \nPartition2 28672+73728 t12 k2 \n"
       "Partition3 104448+16384 t7 k2 \nPartition4 122880+32768 t131 k2 \n"},
      {"partitions-gpt.img",
       "Data(exFat) 2048+16384 t5 k1 GPTDATA\nSmall(fat) 18432+8192 t6 k1 \n"
       "LinuxPartition2 26624+32768 t131 k1 GPTEXT4 EXT4\nWin(NTFS) 59392+16384 t7 k1 \n"
       "Mac 75776+4096 t25 k1 MacVol hfs1\nOther 79872+4096 t0 k1 \n"},
      {"partitions-whole-exfat.img", "Partition0 0+16384 t5 k1 WHOLEEXFAT\n"},
      {"partitions-whole-fat32.img", "Partition0 0+73728 t12 k1 \n"},
      // mkfs.ntfs without a table writes hidden sectors 0, which the probe refuses.
      {"partitions-whole-ntfs.img", "Partition0 0+0 t0 k1 \n"},
      {"partitions-whole-ext4.img", "Partition0 0+32768 t131 k1 WHOLEEXT4 EXT4\n"},
      {"partitions-apple.img", "Partition0 2048+4096 t25 k1 AppleVol hfs1\n"},
      {"partitions-hfs.img", "Partition0 0+4096 t25 k1 Disk hfs1\n"},
      {"partitions-hfsplus.img", "Partition0 0+2048 t25 k1 only hfs+ hfs2\n"},
  };
  for (const auto& [fixture, expected] : images) {
    DiskRecord disk = test::catalogued(test::fixtureImage(fixture));
    EXPECT_EQ(disk.vendorId, fixture);
    EXPECT_EQ(test::listing(disk), expected) << fixture;
  }
  DiskRecord apple = test::catalogued(test::fixtureImage("partitions-apple.img"));
  EXPECT_GT(apple.mapEntryCount, 1u);
  EXPECT_EQ(apple.diskSize, 4u << 20) << "the image size replaces the descriptor's block count";
  EXPECT_EQ(apple.partitions.at(0).hfsKindText, "Apple_HFS");

  // The GPT disk with its exFAT volume's main boot sector destroyed.
  test::TempDir dir;
  std::string image = dir.file("gpt.img");
  test::writeFile(image, test::readFile(test::fixtureImage("partitions-gpt.img")).replace(2048 * 512, 512, 512, '\0'));
  DiskRecord gpt = test::catalogued(image);
  const PartitionRecord& data = gpt.partitions.at(0);
  EXPECT_EQ(data.name, "Data") << "no file system recognised at its start";
  EXPECT_TRUE(data.exfatFromBackupBootSector && holdsExfatVolume(data));
  EXPECT_FALSE(gpt.partitions.at(1).exfatFromBackupBootSector);
}

// Against pvs (uuid, pe_start, pe count) and lvs --segments (name, start,
// count, "/dev/loopN:first-last") on the real volume.
TEST(FixtureImages, LvmPhysicalVolume) {
  DiskRecord disk = test::catalogued(test::fixtureImage("partitions-lvm.img"));
  EXPECT_TRUE(disk.partitions.empty());
  std::istringstream oracle(test::fixtureText("partitions-lvm.oracle.txt"));
  std::string uuid, peStart, name, range, want, got;
  uint32_t peCount = 0, start = 0, count = 0;
  oracle >> uuid >> peStart >> peCount;
  while (oracle >> name >> start >> count >> range) {
    size_t colon = range.find(':');
    want += name + " " + std::to_string(start) + " " + std::to_string(count) + " " +
            range.substr(colon + 1, range.find('-') - colon - 1) + " " + uuid + "\n";
  }
  for (const LogicalVolume& lv : disk.logicalVolumes)
    for (const LvSegment& s : lv.segments)
      got += lv.name + " " + std::to_string(s.startExtent) + " " + std::to_string(s.extentCount) + " " +
             std::to_string(s.pvStartExtent) + " " + s.pvId + "\n";
  EXPECT_EQ(got, want);
  std::erase(uuid, '-');
  EXPECT_EQ(disk.pvId + " " + std::to_string(disk.peStart) + "S " + std::to_string(disk.peCount),
            uuid + " " + peStart + " " + std::to_string(peCount));
  EXPECT_EQ(disk.extentSize, 2048u);
  ASSERT_EQ(disk.logicalVolumes.size(), 2u);
  EXPECT_EQ(disk.logicalVolumes[0].sizeSectors, 4u * 2048);
  EXPECT_EQ(disk.logicalVolumes[1].sizeSectors, 3u * 2048);
}

}  // namespace
}  // namespace dudorazu
