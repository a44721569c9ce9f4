#include "core/exfat/exfat_volume.h"

#include <gtest/gtest.h>

#include "exfat/test_volume.h"
#include "support/image_builder.h"

namespace dudorazu {
namespace {

// A disk of `sectors` sectors with an exFAT boot sector at sector 63: FAT
// of 8 sectors at 24, heap at 2048, 700 clusters of 8 sectors, root at 5.
struct BootDisk : test::ImageBuilder {
  PartitionRecord partition;
  LoadedVolume volume{partition};
  explicit BootDisk(uint64_t sectors = 8192) : ImageBuilder(sectors) {
    partition.startSector = 63;
    partition.sizeSectors = sectors - 63;
    writeBoot(63);
  }
  void writeBoot(uint64_t lba) {
    exfatVolume(lba, 0);
    for (auto [at, value] : {std::pair{0x50, 24u}, {0x54, 8u}, {0x58, 2048u}, {0x5C, 700u}, {0x60, 5u}})
      putLe32(sector(lba), at, value);
    sector(lba)[0x6D] = 3;
  }
  bool read() {
    test::MemoryDevice dev = device();
    VolumeParameters params;
    return readVolumeParameters(dev, partition, params);
  }
};

TEST(ExfatVolume, GeometryThatCannotExistIsRefused) {
  struct Case {
    const char* what;
    void (*spoil)(uint8_t*);
  };
  const Case cases[] = {
      {"sectors of 256 bytes", [](uint8_t* b) { b[0x6C] = 8; }},
      {"sectors of 8 KiB", [](uint8_t* b) { b[0x6C] = 13; }},
      {"clusters of 64 MiB", [](uint8_t* b) { b[0x6D] = 17; }},
      {"shift that overflows 32 bits", [](uint8_t* b) { b[0x6D] = 40; }},
      {"FAT larger than the partition", [](uint8_t* b) { putLe32(b, 0x54, 9000); }},
      {"FAT of 2^32 sectors", [](uint8_t* b) { putLe32(b, 0x54, 0xFFFFFFFF); }},
  };
  for (const Case& c : cases) {
    BootDisk disk;
    c.spoil(disk.sector(63));
    EXPECT_TRUE(!disk.read() && disk.partition.clusterSectors == 0) << c.what;
    disk.writeBoot(63 + 12);
    EXPECT_TRUE(disk.read()) << c.what << ": a sound backup is used instead";
  }
  // A FAT that fits the partition but not the device.
  BootDisk small;
  small.partition.sizeSectors = 1ull << 40;
  putLe32(small.sector(63), 0x54, 100000);
  EXPECT_FALSE(small.read());
}

TEST(ExfatVolume, TheFatIsReadWholeFromItsFullOffsetAndHeldOnlyAsFarAsTheClustersGo) {
  BootDisk disk(80000), cut(2100);
  putLe32(disk.sector(63), 0x50, 70000);  // above 65535
  putLe32(disk.sector(63), 0x54, 2);
  putLe32(disk.sector(63 + 70000), 0, 0xFFFFFFF8);
  putLe32(disk.sector(63 + 70000), 4 * 7, 8);
  putLe32(disk.sector(63 + 70001), 508, 0xFFFFFFFF);
  putLe32(cut.sector(63), 0x50, 2030);
  putLe32(cut.sector(63), 0x54, 8);  // its last sectors lie past the end of the device
  putLe32(cut.sector(63), 0x5C, 5000);
  cut.sector(63)[0x6D] = 0;  // one-sector clusters: 2100 fit the device
  putLe32(cut.sector(63 + 2030), 8, 0x12345678);
  for (BootDisk* d : {&disk, &cut}) {
    test::MemoryDevice device = d->device();
    VolumeParameters params;
    ASSERT_TRUE(readVolumeParameters(device, d->partition, params));
    EXPECT_EQ(loadFat(device, d->volume, params.fatOffset, params.clusterCount), d == &disk);
  }
  const LoadedVolume& read = disk.volume;
  ASSERT_EQ(read.fatEntryCount(), 256u);
  EXPECT_EQ(std::tuple(std::as_const(read.fatTable)[0], nextClusterOf(read, 7), nextClusterOf(read, 255), nextClusterOf(read, 256)),
            std::tuple(0xFFFFFFF8u, 8u, 0xFFFFFFFFu, kFatEndOfChain)) << "past the FAT counts as the end";
  ASSERT_EQ(cut.volume.fatEntryCount(), 1024u);
  EXPECT_EQ(std::pair(std::as_const(cut.volume.fatTable)[2], std::as_const(cut.volume.fatTable)[1023]), std::pair(0x12345678u, 0u));
  // The FAT held is bounded by the clusters, and without a count by FatLength.
  struct Case {
    const char* what;
    uint32_t fatSectors, clusterCount;
    uint64_t deviceSize, entries;
  };
  const Case cases[] = {
      {"FatLength rules a sound volume", 8, 9000, 1ull << 30, 8 * 4096 / 4},
      {"15 GiB FatLength, 1000 clusters", 15u << 21, 1000, 64ull << 30, 1002},
      {"2^32 clusters on a 64 MiB device", 15u << 21, 0xFFFFFFF5, 64ull << 20, (64ull << 20) / 32768 + 2},
      {"a count of 0 leaves the device's bound", 15u << 21, 0, 64ull << 20, (64ull << 20) / 32768 + 2},
  };
  PartitionRecord p;
  LoadedVolume lv(p);
  p.bytesPerSector = 4096;
  p.clusterSectors = 8;
  for (const Case& c : cases) {
    p.fatSectors = c.fatSectors;
    EXPECT_EQ(fatEntriesHeld(p, c.clusterCount, c.deviceSize), c.entries) << c.what;
  }
  p.bytesPerSector = 512;
  p.fatSectors = 4;
  EXPECT_EQ(std::pair(followableClusterLimit(lv), nextClusterOf(lv, 10)), std::pair(512u, kFatEndOfChain));
  lv.fatTable.assign(100, 0);
  EXPECT_EQ(followableClusterLimit(lv), 100u);
}

}  // namespace
}  // namespace dudorazu
