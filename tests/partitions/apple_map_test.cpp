#include "core/partitions/apple_map.h"

#include <gtest/gtest.h>

#include "core/partitions/partition_table.h"
#include "partitions/listing.h"
#include "support/image_builder.h"

namespace dudorazu {
namespace {

using test::ImageBuilder;

ImageBuilder appleDisk() {
  ImageBuilder img(512);
  img.sector(0)[0] = 'E', img.sector(0)[1] = 'R';
  putBe16(img.sector(0), 2, 512);
  putBe32(img.sector(0), 4, 512);
  const struct {
    uint32_t start;
    const char *name, *type;
  } entries[] = {{1, "Apple", "Apple_partition_map"}, {64, "Macintosh", "Apple_HFS"}, {164, "", "Apple_HFS"},
                 {264, "Extra", "Apple_Free"}, {364, "Unknown", "Apple_HFS"}};
  for (uint32_t block = 1; block <= 5; ++block) {
    uint8_t* e = img.sector(block);
    e[0] = 'P', e[1] = 'M';
    putBe32(e, 4, 5);
    putBe32(e, 8, entries[block - 1].start);
    putBe32(e, 12, block == 1 ? 63 : 100);
    std::strncpy(reinterpret_cast<char*>(e + 16), entries[block - 1].name, 32);
    std::strncpy(reinterpret_cast<char*>(e + 48), entries[block - 1].type, 32);
  }
  uint8_t* hfs = img.at(64 * 512 + 1024);  // an HFS volume "Disk" in the second entry
  putBe16(hfs, 0, 0x4244);
  hfs[0x24] = 4;
  std::memcpy(hfs + 0x25, "Disk", 4);
  return img;
}

DiskRecord discover(const ImageBuilder& img) {
  DiskRecord disk;
  disk.devicePath = "apple.img";
  MemoryDevice dev = img.device();
  discoverPartitions(dev, disk);
  return disk;
}

TEST(AppleMap, OnlyNamedHfsEntriesAreListedAndHostileCountsAndBlockSizesReadNothing) {
  ImageBuilder img = appleDisk();
  DiskRecord disk = discover(img);
  // A volume with a known signature is numbered, an unknown one keeps its map name.
  EXPECT_EQ(test::listing(disk), "Partition0 64+100 t25 k1 Disk hfs1\nUnknown 364+100 t25 k1 \n");
  EXPECT_EQ(disk.partitions.at(0).devicePath, "apple.img");
  EXPECT_EQ(disk.mapEntryCount, 5u);
  EXPECT_EQ(disk.bytesPerSector, 512u);

  putBe32(img.sector(1), 4, 0xFFFFFFFF);  // a map of 2 TiB
  EXPECT_TRUE(discover(img).partitions.empty());
  ImageBuilder zero = appleDisk();
  putBe16(zero.sector(0), 2, 0);
  DiskRecord zeroDisk = discover(zero);
  EXPECT_TRUE(zeroDisk.partitions.empty());
  EXPECT_EQ(zeroDisk.bytesPerSector, 512u) << "a zero block size must not become the disk's sector size";
}

TEST(GptHfs, FieldsBySignature) {
  uint8_t h[512] = {};
  putBe16(h, 0, 0x4858);
  PartitionRecord hfsx;
  applyGptHfs(hfsx, h, "d.img");
  EXPECT_EQ(hfsx.typeCode, 0x19);
  EXPECT_EQ(hfsx.hfsKind, 0u) << "HFSX in a GPT sets the type code only";
  EXPECT_EQ(hfsx.devicePath, "");
  putBe16(h, 0, 0x4244);
  putBe16(h, 0x7C, 0x482B);
  h[0x24] = 200;  // a length beyond the 27 characters the field holds
  PartitionRecord wrapped;
  applyGptHfs(wrapped, h, "d.img");
  EXPECT_EQ(wrapped.hfsKindText + " " + std::to_string(wrapped.label.size()) + " " + wrapped.devicePath,
            "HFS+ in HFS 27 d.img");
}

}  // namespace
}  // namespace dudorazu
