#include "core/exfat/upcase_scan.h"

#include <gtest/gtest.h>

#include "exfat/test_volume.h"

namespace dudorazu {
namespace {

std::string diskWithTableAt(std::initializer_list<uint64_t> sectors, uint64_t size) {
  std::string disk(size * 512, '\0');
  for (uint64_t s : sectors) test::putUpcaseSector(reinterpret_cast<uint8_t*>(disk.data()) + s * 512);
  return disk;
}

TEST(UpcaseScan, DefaultLayoutByVolumeSizeBoundsTheSearchThatNeverCountsTheFirstSectorRead) {
  auto small = defaultExfatLayout(0x7FFFF);
  ASSERT_TRUE(small);
  EXPECT_EQ(small->sectorsPerCluster, 8u);
  // 65535 clusters: 512 FAT sectors (a multiple of 8 already), 2 bitmap clusters.
  EXPECT_EQ(small->fatSectors, 512u);
  EXPECT_EQ(small->bitmapClusters, 2u);
  EXPECT_EQ(small->searchRange, 3u * 8 + 2 * 512 + 2048);
  EXPECT_EQ(defaultExfatLayout(0x80000)->sectorsPerCluster, 64u);
  EXPECT_EQ(defaultExfatLayout(0x4000000)->sectorsPerCluster, 256u);
  // 32 GiB: 262144 clusters of 128 KiB, FAT 2048 sectors, 1 bitmap cluster.
  auto mid = defaultExfatLayout(0x4000000);
  EXPECT_EQ(mid->fatSectors, 2048u);
  EXPECT_EQ(mid->bitmapClusters, 1u);
  EXPECT_FALSE(defaultExfatLayout(16ull << 32));
  // The bitmap count is kept to 8 bits: 2^30 clusters need 256.
  EXPECT_EQ(defaultExfatLayout((16ull << 32) - 256)->bitmapClusters, 0u);

  test::MemoryDisks disks;
  disks.add("a", diskWithTableAt({50, 700}, 4096));
  disks.add("b", diskWithTableAt({50}, 4096));
  disks.add("far", diskWithTableAt({3000}, 4096));
  auto on = [](std::string path) {
    DiskRecord d;
    d.devicePath = std::move(path);
    return d;
  };
  DiskRecord a = on("a"), b = on("b"), far = on("far");
  ProgressBlock progress;
  uint64_t found = 0;
  ASSERT_TRUE(scanForUpcaseTable(a, progress, 50, 4000, &found));
  EXPECT_EQ(found, 700u) << "the first sector read does not count";
  EXPECT_FALSE(scanForUpcaseTable(b, progress, 50, 4000));
  ASSERT_TRUE(scanForUpcaseTable(b, progress, 0, 4000, &found));
  EXPECT_EQ(found, 50u);
  // 4000 sectors: range (1 + 1) x 8 + 2 x 8 + 2048 = 2080 sectors.
  EXPECT_FALSE(scanForUpcaseTable(far, progress, 0, 4000)) << "beyond the search range";
  EXPECT_FALSE(scanForUpcaseTable(a, progress, 0, 16ull << 32)) << "too large to guess a layout";
  // A range claiming 2^32 sectors of a 4096-sector disk reads only the disk.
  ProgressBlock claimed;
  EXPECT_FALSE(scanForUpcaseTable(b, claimed, 100, 0xFFFFFFFF));
  EXPECT_EQ(claimed.upper(), 4096u - 100) << "the range stops at the device's end";
  DiskRecord missing;
  missing.devicePath = "nowhere";
  EXPECT_FALSE(scanForUpcaseTable(missing, progress, 0, 4000));
  progress.cancel();
  EXPECT_FALSE(scanForUpcaseTable(a, progress, 50, 4000));
}

}  // namespace
}  // namespace dudorazu
