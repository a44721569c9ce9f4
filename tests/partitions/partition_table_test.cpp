#include "core/partitions/partition_table.h"

#include <gtest/gtest.h>

#include "core/common/text.h"
#include "partitions/listing.h"
#include "support/image_builder.h"
#include "support/temp_dir.h"

namespace dudorazu {
namespace {

using test::ImageBuilder;

DiskRecord discover(const ImageBuilder& img) {
  DiskRecord disk;
  MemoryDevice dev = img.device();
  discoverPartitions(dev, disk);
  return disk;
}

TEST(MbrDiscovery, PrimariesThenLogicalsInChainOrderAndEndlessChainsEnd) {
  // Two primaries, an empty entry and an extended partition whose chain
  // holds three logical partitions (one data entry, one link each).
  ImageBuilder img(2048);
  img.tableEntry(0, 0, 0x0C, 100, 50);
  img.tableEntry(0, 1, 0x00, 150, 10);  // no type: skipped, takes no number
  img.tableEntry(0, 2, 0x0F, 1000, 1000);
  img.tableEntry(0, 3, 0x07, 200, 60);
  img.exfatVolume(200, 60);
  img.tableEntry(1000, 0, 0x83, 10, 90);
  img.tableEntry(1000, 1, 0x05, 100, 200);
  img.tableEntry(1100, 0, 0x07, 10, 90);
  img.ntfsBoot(1110, 1110, 90);
  img.tableEntry(1100, 1, 0x05, 300, 200);
  img.tableEntry(1300, 0, 0x0C, 10, 0);  // no sectors: skipped
  img.tableEntry(1300, 1, 0x0B, 20, 90);
  // Starts are absolute; type 7 holding exFAT is exFAT, holding NTFS stays 7.
  EXPECT_EQ(test::listing(discover(img)),
            "Partition0 100+50 t12 k1 \nPartition1 200+60 t5 k1 \nPartition2 1010+90 t131 k2 \n"
            "Partition3 1110+90 t7 k2 \nPartition4 1320+90 t11 k2 \n");

  ImageBuilder cyclic(2048);
  cyclic.tableEntry(0, 0, 0x05, 1000, 1000);
  for (uint32_t ebr : {1000u, 1100u, 1200u}) {
    cyclic.tableEntry(ebr, 0, 0x83, 10, 5);
    cyclic.tableEntry(ebr, 1, 0x05, ebr == 1100 ? 200 : 100, 100);  // 1200 links back to 1100
  }
  cyclic.tableEntry(1200, 2, 0x05, 0, 100);  // and back to the first EBR
  DiskRecord disk = discover(cyclic);
  ASSERT_EQ(disk.partitions.size(), 3u);
  EXPECT_EQ(disk.partitions[2].startSector, 1210u);

  // Every EBR links to the next sector: far more EBRs than any disk carries.
  const uint32_t links = 3000;
  ImageBuilder endless(links + 16);
  endless.tableEntry(0, 0, 0x0F, 8, links);
  for (uint32_t i = 0; i < links; ++i) {
    endless.tableEntry(8 + i, 0, 0x83, 0, 1);
    endless.tableEntry(8 + i, 1, 0x05, i + 1, 1);
  }
  disk = discover(endless);
  EXPECT_GT(disk.partitions.size(), 100u);
  EXPECT_LE(disk.partitions.size(), ExtendedChainGuard::kMaxEbrs + 1);
}

TEST(WholeDiskDiscovery, VolumeAtSectorZeroButAJumpWith0x48IsAnMbr) {
  ImageBuilder fat16(4), exfat(64), mbr(400);
  fat16.fat16Boot(0, 3000, 0);  // the 16-bit total counts when the 32-bit one is 0
  exfat.exfatVolume(0, 5000000000ull, "STICK");
  mbr.tableEntry(0, 0, 0x0C, 300, 50);
  mbr.sector(0)[0] = 0xEB, mbr.sector(0)[1] = 0x48, mbr.sector(0)[2] = 0x90;
  EXPECT_EQ(test::listing(discover(fat16)), "Partition0 0+3000 t6 k1 \n");
  EXPECT_EQ(test::listing(discover(exfat)), "Partition0 0+5000000000 t5 k1 STICK\n");
  EXPECT_EQ(test::listing(discover(mbr)), "Partition0 300+50 t12 k1 \n");
}

ImageBuilder gptDisk(uint32_t entryCount, uint32_t entrySize) {
  ImageBuilder img(256);
  img.gptHeader(entryCount, entrySize);
  img.gptEntry(0, ImageBuilder::kGptBasicData, 40, 119, "Data");
  return img;
}

TEST(GptDiscovery, EntriesEndAtTheFirstUnusedOneOrThe129thAndAbsurdEntrySizesFindNothing) {
  ImageBuilder img = gptDisk(128, 128);
  img.exfatVolume(40, 80, "GPTLABEL");
  img.gptEntry(2, ImageBuilder::kGptBasicData, 200, 209, "AfterTheGap");  // entry 1 starts at 0
  EXPECT_EQ(test::listing(discover(img)), "Data(exFat) 40+80 t5 k1 GPTLABEL\n") << "size: last - first + 1";

  ImageBuilder big = gptDisk(129, 128);
  big.tableEntry(0, 0, 0x0C, 1, 100);  // a primary before the GPT entry
  big.tableEntry(0, 1, 0xEE, 1, 255);
  big.tableEntry(0, 2, 0x0C, 200, 50);  // not reached
  DiskRecord disk = discover(big);
  ASSERT_EQ(disk.partitions.size(), 1u);
  EXPECT_EQ(disk.partitions[0].name, "Partition0");

  for (uint32_t size : {0u, 16u, 4097u, 0xFFFFFFFFu})
    EXPECT_TRUE(discover(gptDisk(128, size)).partitions.empty()) << "entry size " << size;
  EXPECT_TRUE(discover(gptDisk(0, 128)).partitions.empty());
}

TEST(Regions, NamedAfterTheLastRegion) {
  test::TempDir dir;
  ImageBuilder img(64);
  img.exfatVolume(10, 40);
  test::writeFile(dir.file("disk.img"), img.bytes());
  DiskRecord disk;
  disk.devicePath = dir.file("disk.img");
  disk.vendorId = "disk.img";
  ASSERT_TRUE(addRegion(10, 50, disk));
  EXPECT_EQ(disk.partitions.back().name, "Region 0 on disk.img");
  disk.partitions.back().name = "Region 3 on disk.img";
  ASSERT_TRUE(addRegion(20, 20, disk));
  EXPECT_EQ(test::listing(disk), "Region 3 on disk.img 10+40 t5 k1 \nRegion 4 on disk.img 20+0 t0 k1 \n");
  disk.partitions.back().name = "Partition7";
  ASSERT_TRUE(addRegion(0, 1, disk));
  EXPECT_EQ(disk.partitions.back().name, "Region 0 on disk.img");

  DiskRecord missing;
  missing.devicePath = dir.file("gone.img");
  EXPECT_FALSE(addRegion(0, 1, missing));
  EXPECT_TRUE(missing.partitions.empty());
}

}  // namespace
}  // namespace dudorazu
