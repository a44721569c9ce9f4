#include "core/partitions/apple_map.h"

#include <gtest/gtest.h>

#include "core/partitions/partition_table.h"
#include "support/image_builder.h"

namespace dudorazu {
namespace {

using test::ImageBuilder;

void mapEntry(ImageBuilder& img, uint32_t block, uint32_t count, uint32_t start, uint32_t size, const char* name,
              const char* type) {
  uint8_t* e = img.sector(block);
  e[0] = 'P';
  e[1] = 'M';
  putBe32(e, 4, count);
  putBe32(e, 8, start);
  putBe32(e, 12, size);
  std::strncpy(reinterpret_cast<char*>(e + 16), name, 32);
  std::strncpy(reinterpret_cast<char*>(e + 48), type, 32);
}

void hfsHeader(ImageBuilder& img, uint64_t volumeStart, uint16_t signature, uint16_t embedded, const char* name) {
  uint8_t* h = img.at(volumeStart * 512 + 1024);
  putBe16(h, 0, signature);
  putBe16(h, 0x7C, embedded);
  h[0x24] = static_cast<uint8_t>(std::strlen(name));
  std::memcpy(h + 0x25, name, std::strlen(name));
}

ImageBuilder appleDisk() {
  ImageBuilder img(512);
  img.sector(0)[0] = 'E';
  img.sector(0)[1] = 'R';
  putBe16(img.sector(0), 2, 512);
  putBe32(img.sector(0), 4, 512);
  mapEntry(img, 1, 5, 1, 63, "Apple", "Apple_partition_map");
  mapEntry(img, 2, 5, 64, 100, "Macintosh", "Apple_HFS");
  mapEntry(img, 3, 5, 164, 100, "", "Apple_HFS");
  mapEntry(img, 4, 5, 264, 100, "Extra", "Apple_Free");
  mapEntry(img, 5, 5, 364, 100, "Unknown", "Apple_HFS");
  return img;
}

TEST(AppleMap, OnlyNamedHfsEntriesAreListedAndHostileCountsAndBlockSizesReadNothing) {
  ImageBuilder img = appleDisk();
  hfsHeader(img, 64, 0x4244, 0, "Disk");
  DiskRecord disk;
  disk.devicePath = "apple.img";
  MemoryDevice dev = img.device();
  discoverPartitions(dev, disk);
  ASSERT_EQ(disk.partitions.size(), 2u);
  const PartitionRecord& known = disk.partitions[0];
  EXPECT_EQ(known.name, "Partition0") << "a volume with a known signature is numbered";
  EXPECT_EQ(known.label, "Disk");
  EXPECT_EQ(known.hfsKind, 1u);
  EXPECT_EQ(known.devicePath, "apple.img");
  EXPECT_EQ(disk.partitions[1].name, "Unknown") << "an unknown volume keeps its map name";
  EXPECT_EQ(disk.partitions[1].hfsKind, 0u);
  EXPECT_EQ(disk.mapEntryCount, 5u);
  EXPECT_EQ(disk.bytesPerSector, 512u);

  putBe32(img.sector(1), 4, 0xFFFFFFFF);  // a map of 2 TiB
  DiskRecord huge;
  MemoryDevice hugeDev = img.device();
  discoverPartitions(hugeDev, huge);
  EXPECT_TRUE(huge.partitions.empty());

  ImageBuilder zero = appleDisk();
  putBe16(zero.sector(0), 2, 0);
  DiskRecord zeroDisk;
  MemoryDevice zeroDev = zero.device();
  discoverPartitions(zeroDev, zeroDisk);
  EXPECT_TRUE(zeroDisk.partitions.empty());
  EXPECT_EQ(zeroDisk.bytesPerSector, 512u) << "a zero block size must not become the disk's sector size";
}

TEST(GptHfs, FieldsBySignature) {
  uint8_t h[512] = {};
  putBe16(h, 0, 0x4858);
  PartitionRecord hfsx;
  hfsx.name = "Mac";
  applyGptHfs(hfsx, h, "d.img");
  EXPECT_EQ(hfsx.typeCode, 0x19);
  EXPECT_EQ(hfsx.hfsKind, 0u) << "HFSX in a GPT sets the type code only";
  EXPECT_EQ(hfsx.devicePath, "");
  putBe16(h, 0, 0x4244);
  putBe16(h, 0x7C, 0x482B);
  h[0x24] = 200;  // a length beyond the 27 characters the field holds
  PartitionRecord wrapped;
  applyGptHfs(wrapped, h, "d.img");
  EXPECT_EQ(wrapped.hfsKindText, "HFS+ in HFS");
  EXPECT_EQ(wrapped.label.size(), 27u);
  EXPECT_EQ(wrapped.devicePath, "d.img");
}

}  // namespace
}  // namespace dudorazu
