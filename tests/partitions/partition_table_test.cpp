#include "core/partitions/partition_table.h"

#include <gtest/gtest.h>

#include "core/common/text.h"
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

// Two primaries, an empty entry and an extended partition whose chain holds
// three logical partitions (the usual one-data-one-link EBR layout).
ImageBuilder mbrWithLogicals() {
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
  return img;
}

TEST(MbrDiscovery, PrimariesThenLogicalsInChainOrder) {
  DiskRecord disk = discover(mbrWithLogicals());
  ASSERT_EQ(disk.partitions.size(), 5u);
  const char* names[] = {"Partition0", "Partition1", "Partition2", "Partition3", "Partition4"};
  const uint32_t starts[] = {100, 200, 1010, 1110, 1320};
  const uint8_t kinds[] = {1, 1, 2, 2, 2};
  for (size_t i = 0; i < 5; ++i) {
    EXPECT_EQ(disk.partitions[i].name, names[i]);
    EXPECT_EQ(disk.partitions[i].startSector, starts[i]) << names[i] << " must start at an absolute sector";
    EXPECT_EQ(disk.partitions[i].entryKind, kinds[i]) << names[i];
  }
  EXPECT_EQ(disk.partitions[1].typeCode, 5) << "type 7 holding exFAT is exFAT";
  EXPECT_EQ(disk.partitions[3].typeCode, 7) << "type 7 holding NTFS stays 7";
  EXPECT_EQ(disk.partitions[2].typeCode, 0x83);
  EXPECT_EQ(disk.partitions[0].sizeSectors, 50u);
}

TEST(MbrDiscovery, CyclicAndEndlessEbrChainsEnd) {
  ImageBuilder img(2048);
  img.tableEntry(0, 0, 0x05, 1000, 1000);
  img.tableEntry(1000, 0, 0x83, 10, 5);
  img.tableEntry(1000, 1, 0x05, 100, 100);
  img.tableEntry(1100, 0, 0x83, 10, 5);
  img.tableEntry(1100, 1, 0x05, 200, 100);
  img.tableEntry(1200, 0, 0x83, 10, 5);
  img.tableEntry(1200, 1, 0x05, 100, 100);  // back to the EBR at 1100
  img.tableEntry(1200, 2, 0x05, 0, 100);    // back to the first EBR
  DiskRecord disk = discover(img);
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
  ImageBuilder fat16(4);
  fat16.fat16Boot(0, 3000, 0);
  DiskRecord disk = discover(fat16);
  ASSERT_EQ(disk.partitions.size(), 1u);
  EXPECT_EQ(disk.partitions[0].name, "Partition0");
  EXPECT_EQ(disk.partitions[0].sizeSectors, 3000u) << "the 16-bit total when the 32-bit one is 0";

  ImageBuilder exfat(64);
  exfat.exfatVolume(0, 5000000000ull, "STICK");
  disk = discover(exfat);
  ASSERT_EQ(disk.partitions.size(), 1u);
  EXPECT_EQ(disk.partitions[0].sizeSectors, 5000000000ull);
  EXPECT_EQ(disk.partitions[0].label, "STICK");

  ImageBuilder mbr(400);
  mbr.tableEntry(0, 0, 0x0C, 300, 50);
  mbr.sector(0)[0] = 0xEB;
  mbr.sector(0)[1] = 0x48;
  mbr.sector(0)[2] = 0x90;
  disk = discover(mbr);
  ASSERT_EQ(disk.partitions.size(), 1u);
  EXPECT_EQ(disk.partitions[0].startSector, 300u);
}

ImageBuilder gptDisk(uint32_t entryCount, uint32_t entrySize) {
  ImageBuilder img(256);
  img.gptHeader(entryCount, entrySize);
  return img;
}

constexpr const uint8_t* kBasicData = ImageBuilder::kGptBasicData;

TEST(GptDiscovery, EntriesEndAtTheFirstUnusedOne) {
  ImageBuilder img = gptDisk(128, 128);
  img.gptEntry(0, kBasicData, 40, 119, "Data");
  img.exfatVolume(40, 80, "GPTLABEL");
  img.gptEntry(2, kBasicData, 200, 209, "AfterTheGap");  // entry 1 starts at 0
  DiskRecord disk = discover(img);
  ASSERT_EQ(disk.partitions.size(), 1u);
  EXPECT_EQ(disk.partitions[0].name, "Data(exFat)");
  EXPECT_EQ(disk.partitions[0].sizeSectors, 80u) << "ending LBA - starting LBA + 1";
  EXPECT_EQ(disk.partitions[0].label, "GPTLABEL");
}

TEST(GptDiscovery, A129EntryHeaderEndsTheDiskAndAbsurdEntrySizesFindNothing) {
  ImageBuilder img = gptDisk(129, 128);
  img.tableEntry(0, 0, 0x0C, 1, 100);  // a primary before the GPT entry
  img.tableEntry(0, 1, 0xEE, 1, 255);
  img.tableEntry(0, 2, 0x0C, 200, 50);  // not reached
  img.gptEntry(0, kBasicData, 40, 119, "Data");
  DiskRecord disk = discover(img);
  ASSERT_EQ(disk.partitions.size(), 1u);
  EXPECT_EQ(disk.partitions[0].name, "Partition0");

  for (uint32_t size : {0u, 16u, 4097u, 0xFFFFFFFFu}) {
    ImageBuilder img = gptDisk(128, size);
    img.gptEntry(0, kBasicData, 40, 119, "Data");
    EXPECT_TRUE(discover(img).partitions.empty()) << "entry size " << size;
  }
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
  EXPECT_EQ(disk.partitions.back().typeCode, 5);
  EXPECT_EQ(disk.partitions.back().sizeSectors, 40u);

  disk.partitions.back().name = "Region 3 on disk.img";
  ASSERT_TRUE(addRegion(20, 20, disk));
  EXPECT_EQ(disk.partitions.back().name, "Region 4 on disk.img");
  EXPECT_EQ(disk.partitions.back().typeCode, 0);
  EXPECT_EQ(disk.partitions.back().sizeSectors, 0u);

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
