#include "core/partitions/fs_probes.h"

#include <gtest/gtest.h>

#include "support/image_builder.h"

namespace dudorazu {
namespace {

using test::ExtSuperblock;
using test::ImageBuilder;

TEST(BootSectorProbes, ExfatNtfsAndFat32NeedTheirTellingFields) {
  ImageBuilder img(16);
  img.exfatVolume(0, 1000);
  EXPECT_TRUE(isExfatBootSector(img.sector(0)));
  img.sector(0)[40] = 1;
  EXPECT_FALSE(isExfatBootSector(img.sector(0))) << "a stray byte in 11..63 means a FAT BPB, not exFAT";
  img.sector(0)[40] = 0;
  img.sector(0)[511] = 0;
  EXPECT_FALSE(isExfatBootSector(img.sector(0))) << "the probe must require 0x55 0xAA";

  img.ntfsBoot(1, 2048, 40000);
  EXPECT_TRUE(isNtfsBootSector(img.sector(1)));
  img.ntfsBoot(1, 0, 40000);
  EXPECT_FALSE(isNtfsBootSector(img.sector(1))) << "no hidden sectors";

  uint8_t s[512] = {};
  putLe16(s, 0x0B, 512);
  s[0x10] = 2;
  putLe16(s, 0x32, 6);
  std::memcpy(s + 0x52, "FAT32", 5);
  putLe16(s, 510, 0xAA55);
  EXPECT_TRUE(isFat32BootSector(s));
  putLe16(s, 0x32, 7);
  EXPECT_FALSE(isFat32BootSector(s)) << "the backup boot sector must be sector 6";
}

TEST(ExtSuperblockProbe, SizeVersionNameAndDamagedFields) {
  ExtSuperblock sb(2, 3000000, true, true);  // 4 KiB blocks
  ASSERT_TRUE(isExtSuperblock(sb.b));
  EXPECT_EQ(extSizeSectors(sb.b, 512), 24000000u) << "the byte size exceeds 32 bits and must not wrap";
  EXPECT_EQ(extVersionOf(sb.b) + extVolumeName(sb.b), "EXT4volume-name");
  EXPECT_EQ(extVersionOf(ExtSuperblock(0, 9000, true, false).b), "EXT3");
  EXPECT_EQ(extVersionOf(ExtSuperblock(0, 9000, false, true).b), "EXT2");

  const struct {
    const char* what;
    size_t offset;
    uint32_t value;
    bool accepted;
  } cases[] = {
      {"write time zero", 0x30, 0, false},          {"mount time zero", 0x2C, 0, false},
      {"creator OS not Linux", 0x48, 3, false},     {"free inodes >= inodes", 0x10, 1024, false},
      {"free blocks >= blocks", 0x0C, 9000, false}, {"blocks per group >= blocks", 0x20, 9000, false},
      {"log block size 22 shifts 0x400 out", 0x18, 22, false},
      {"inode size below 128", 0x58, 64, false},
      {"2^32 + 10 blocks beat 8192 per group", 0x150, 1, true},  // the high half counts
  };
  for (const auto& c : cases) {
    ExtSuperblock sb(0, c.offset == 0x150 ? 10 : 9000, true, true);
    if (c.offset == 0x58) putLe16(sb.b, 0x58, 64);
    else putLe32(sb.b, c.offset, c.value);
    if (c.offset == 0x150) putLe32(sb.b, 0x0C, 1);
    EXPECT_EQ(isExtSuperblock(sb.b), c.accepted) << c.what;
  }
}

TEST(HfsClassification, SignatureTable) {
  const struct {
    uint16_t signature, embedded;
    uint32_t kind;
  } cases[] = {{0, 0, 0}, {0x4244, 0, 1}, {0x4244, 0x482B, 4}, {0x4244, 0x1234, 0} /* wrapper of nothing known */,
               {0x482B, 0, 2}, {0x4858, 0, 3}};
  for (const auto& c : cases) {
    uint8_t h[512] = {};
    putBe16(h, 0, c.signature);
    putBe16(h, 0x7C, c.embedded);
    EXPECT_EQ(classifyHfs(h), c.kind) << std::hex << c.signature << " " << c.embedded;
  }
}

TEST(VolumeLabel, ReadFromTheRootFoldersFirstSectorOnlyAndWithinBounds) {
  ImageBuilder img(64), late(64), hostile(64);
  img.exfatVolume(16, 48, "ELEVENCHARS", 64);
  late.exfatVolume(0, 48, "LATE", 512);
  hostile.exfatVolume(0, 48, "X", 0);
  hostile.at(8 * 512)[1] = 200;  // character count far beyond the entry
  MemoryDevice dev = img.device(), lateDev = late.device(), hostileDev = hostile.device();
  EXPECT_EQ(readVolumeLabel(dev, 16 * 512, 5), "ELEVENCHARS");
  EXPECT_EQ(readVolumeLabel(dev, 16 * 512, 7), "") << "labels are read for exFAT only";
  EXPECT_EQ(readVolumeLabel(lateDev, 0, 5), "") << "an entry beyond the first sector is not found";
  EXPECT_EQ(readVolumeLabel(hostileDev, 0, 5).size(), 15u) << "cut at the 15 units the entry holds";
  hostile.sector(0)[0x6C] = 40;  // a 1 TiB "sector"
  MemoryDevice huge = hostile.device();
  EXPECT_EQ(readVolumeLabel(huge, 0, 5), "");
}

}  // namespace
}  // namespace dudorazu
