#include "core/partitions/partition_table.h"

#include <gtest/gtest.h>

#include <sstream>

#include "core/common/text.h"
#include "core/device/disk_catalogue.h"
#include "core/partitions/apple_map.h"
#include "core/partitions/fs_probes.h"
#include "core/partitions/lvm_label.h"
#include "partitions/listing.h"
#include "support/catalogued.h"
#include "support/image_builder.h"
#include "support/memory_device.h"
#include "support/temp_dir.h"

namespace dudorazu {
namespace {

using namespace test;

DiskRecord discover(const ImageBuilder& img, const std::string& path = "") {
  DiskRecord disk;
  disk.devicePath = path;
  test::MemoryDevice dev = img.device();
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
  img.tableEntry(1000, 0, 0x83, 10, 90);
  img.tableEntry(1000, 1, 0x05, 100, 200);
  img.tableEntry(1100, 0, 0x07, 10, 90);
  img.tableEntry(1100, 1, 0x05, 300, 200);
  img.tableEntry(1300, 0, 0x0C, 10, 0);  // no sectors: skipped
  img.tableEntry(1300, 1, 0x0B, 20, 90);
  // Starts are absolute (type 7 holding exFAT or NTFS: partitions-mbr).
  EXPECT_EQ(test::listing(discover(img)),
            "Partition0 100+50 t12 k1 \nPartition1 200+60 t7 k1 \nPartition2 1010+90 t131 k2 \n"
            "Partition3 1110+90 t7 k2 \nPartition4 1320+90 t11 k2 \n");

  ImageBuilder cyclic(2048);
  cyclic.tableEntry(0, 0, 0x05, 1000, 1000);
  for (uint32_t ebr : {1000u, 1100u, 1200u}) {
    cyclic.tableEntry(ebr, 0, 0x83, 10, 5);
    cyclic.tableEntry(ebr, 1, 0x05, ebr == 1100 ? 200 : 100, 100);  // 1200 links back to 1100
  }
  cyclic.tableEntry(1200, 2, 0x05, 0, 100);  // and back to the first EBR
  EXPECT_EQ(listing(discover(cyclic)), "Partition0 1010+5 t131 k2 \nPartition1 1110+5 t131 k2 \nPartition2 1210+5 t131 k2 \n");

  // Every EBR links to the next sector: far more EBRs than any disk carries.
  const uint32_t links = 3000;
  ImageBuilder endless(links + 16);
  endless.tableEntry(0, 0, 0x0F, 8, links);
  for (uint32_t i = 0; i < links; ++i) {
    endless.tableEntry(8 + i, 0, 0x83, 0, 1);
    endless.tableEntry(8 + i, 1, 0x05, i + 1, 1);
  }
  const size_t listed = discover(endless).partitions.size();
  EXPECT_TRUE(listed > 100 && listed <= ExtendedChainGuard::kMaxEbrs + 1) << listed;
}

// Cards formatted over an older layout keep its type byte: the volume, not the byte, tells the file system.
TEST(MbrDiscovery, EveryEntryButAContainerIsProbedWhateverItsType) {
  enum Volume { None, Exfat, ExfatBackupOnly, Fat16 };
  const struct {
    uint8_t type;
    Volume volume;
    uint8_t typeCode;
    bool viaBackup;
  } cases[] = {
      {0x83, Exfat, 5, false},  {0x0B, Exfat, 5, false}, {0x0C, Exfat, 5, false},
      {0x06, Exfat, 5, false},  {0x0E, Exfat, 5, false}, {0xEF, Exfat, 5, false},
      {0x07, Exfat, 5, false},  {0x83, Fat16, 6, false}, {0x0E, Fat16, 0x0E, false} /* already a FAT16 type */,
      {0x0C, None, 0x0C, false}, {0x83, ExfatBackupOnly, 0x83, true},
      // Containers: a stale boot sector at their start is no volume.
      {0x8E, Exfat, 0x8E, false}, {0xFD, Exfat, 0xFD, false}, {0x42, Exfat, 0x42, false},
  };
  for (const auto& c : cases) {
    for (bool logical : {false, true}) {
      // A logical partition sits in a Linux extended (0x85) partition, whose chain is followed too.
      ImageBuilder img(400);
      const uint32_t start = logical ? 120 : 100;
      if (logical) {
        img.tableEntry(0, 0, 0x85, 80, 300);
        img.tableEntry(80, 0, c.type, 40, 200);
      } else {
        img.tableEntry(0, 0, c.type, start, 200);
      }
      if (c.volume == Exfat) img.exfatVolume(start, 200, "CARD");
      if (c.volume == Fat16) img.fat16Boot(start, 200, 0);
      if (c.volume == ExfatBackupOnly) img.exfatVolume(start + 12, 200);
      DiskRecord disk = discover(img);
      SCOPED_TRACE(testing::Message() << "type 0x" << std::hex << int{c.type} << (logical ? " logical" : ""));
      ASSERT_EQ(disk.partitions.size(), 1u);
      const PartitionRecord& p = disk.partitions[0];  // the type byte is kept as read
      EXPECT_EQ(std::tuple(int{p.typeCode}, int{p.tableType}, p.exfatFromBackupBootSector, p.label, p.startSector),
                std::tuple(int{c.typeCode}, int{c.type}, c.viaBackup, std::string(c.typeCode == 5 ? "CARD" : ""), uint64_t{start}));
    }
  }
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

TEST(GptDiscovery, EntriesEndAtTheFirstUnusedOneOrThe129thAbsurdEntrySizesFindNothingAndEveryTypeButContainersIsProbed) {
  ImageBuilder img = gptDisk(128, 128);
  img.exfatVolume(40, 80, "GPTLABEL");
  img.gptEntry(2, ImageBuilder::kGptBasicData, 200, 209, "AfterTheGap");  // entry 1 starts at 0
  EXPECT_EQ(test::listing(discover(img)), "Data(exFat) 40+80 t5 k1 GPTLABEL\n") << "size: last - first + 1";

  ImageBuilder big = gptDisk(129, 128);
  big.tableEntry(0, 0, 0x0C, 1, 100);  // a primary before the GPT entry
  big.tableEntry(0, 1, 0xEE, 1, 255);
  big.tableEntry(0, 2, 0x0C, 200, 50);  // not reached
  EXPECT_EQ(listing(discover(big)), "Partition0 1+100 t12 k1 \n");

  for (uint32_t size : {0u, 16u, 4097u, 0xFFFFFFFFu})
    EXPECT_TRUE(discover(gptDisk(128, size)).partitions.empty()) << "entry size " << size;
  EXPECT_TRUE(discover(gptDisk(0, 128)).partitions.empty());

  // Entries of any type GUID are probed, except a volume manager's pieces.
  constexpr uint8_t kLinuxData[16] = {0xAF, 0x3D, 0xC6, 0x0F, 0x83, 0x84, 0x72, 0x47,
                                      0x8E, 0x79, 0x3D, 0x69, 0xD8, 0x47, 0x7D, 0xE4};
  constexpr uint8_t kLinuxLvm[16] = {0x79, 0xD3, 0xD6, 0xE6, 0x07, 0xF5, 0xC2, 0x44,
                                     0xA2, 0x3C, 0x23, 0x8F, 0x2A, 0x3D, 0xF9, 0x28};
  constexpr uint8_t kMadeUp[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
  ImageBuilder types(400);
  types.gptHeader();
  types.gptEntry(0, kLinuxData, 40, 119, "Card");
  types.exfatVolume(40, 80, "LINUXTYPE");
  types.gptEntry(1, kLinuxLvm, 120, 199, "Pv");
  types.exfatVolume(120, 80, "STALE");
  types.gptEntry(2, kMadeUp, 200, 279, "Odd");
  types.fat16Boot(200, 80, 0);
  types.gptEntry(3, kMadeUp, 280, 359, "Gone");
  types.exfatVolume(292, 80);  // only the backup boot sector is left
  EXPECT_EQ(test::listing(discover(types)),
            "Card(exFat) 40+80 t5 k1 LINUXTYPE\nPv 120+80 t0 k1 \nOdd(fat) 200+80 t6 k1 \nGone(exFat) 280+80 t0 k1 \n");
  EXPECT_TRUE(discover(types).partitions[3].exfatFromBackupBootSector);

  // An entry ending just short of 2^64 bytes: its backup boot sector lies
  // past every device, not at sector 84, where the unchecked sum wraps to.
  ImageBuilder far(400);
  far.gptHeader();
  const uint64_t first = (1ull << 55) - 12;  // 2^64 - 6144 bytes; + 12 sectors of 4096 bytes wraps to 43008
  far.gptEntry(0, kMadeUp, first, first + 79, "Far");
  far.exfatVolume(84, 80);
  far.sector(84)[0x6C] = 12;  // a volume of 4096-byte sectors
  DiskRecord farDisk = discover(far);
  ASSERT_EQ(farDisk.partitions.size(), 1u);
  EXPECT_FALSE(farDisk.partitions[0].exfatFromBackupBootSector) << farDisk.partitions[0].name;
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
  EXPECT_FALSE(addRegion(0, 1, missing) || !missing.partitions.empty());
}

TEST(AppleMap, OnlyNamedHfsEntriesAreListedHostileCountsReadNothingAndHfsKindsGoBySignature) {
  // The map parted made: itself, MacData (HFS "AppleVol") and two free entries, made HFS here: one
  // without a name, one without a volume.
  const std::string made = test::readFile(test::fixtureImage("partitions-apple.img"));
  ImageBuilder img(made.size() / 512);
  std::memcpy(img.at(0), made.data(), made.size());
  std::memset(img.sector(3) + 16, 0, 32);
  std::memcpy(img.sector(4) + 16, "Unknown", 8);
  for (int entry : {3, 4}) std::memcpy(img.sector(entry) + 48, "Apple_HFS", 10);
  DiskRecord disk = discover(img, "apple.img");
  // A volume with a known signature is numbered, an unknown one keeps its map name.
  EXPECT_EQ(test::listing(disk), "Partition0 2048+4096 t25 k1 AppleVol hfs1\nUnknown 6144+2048 t25 k1 \n");
  EXPECT_EQ(disk.partitions.at(0).devicePath + " " + disk.partitions.at(0).hfsKindText, "apple.img Apple_HFS");
  EXPECT_EQ(std::pair(disk.mapEntryCount, disk.bytesPerSector), std::pair(4u, 512u));
  EXPECT_EQ(test::catalogued(test::fixtureImage("partitions-apple.img")).diskSize, 4u << 20)
      << "the image size replaces the descriptor's block count";

  putBe32(img.sector(1), 4, 0xFFFFFFFF);  // a map of 2 TiB
  EXPECT_TRUE(discover(img, "apple.img").partitions.empty());
  putBe32(img.sector(1), 4, 4);
  putBe16(img.sector(0), 2, 0);
  DiskRecord zero = discover(img);
  EXPECT_TRUE(zero.partitions.empty() && zero.bytesPerSector == 512) << "a zero block size must not become the disk's sector size";

  // HFS kinds by signature, and what a GPT entry takes from them.
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
  uint8_t h[512] = {};
  putBe16(h, 0, 0x4858);
  PartitionRecord hfsx;
  applyGptHfs(hfsx, h, "d.img");
  EXPECT_TRUE(hfsx.typeCode == 0x19 && hfsx.hfsKind == 0 && hfsx.devicePath.empty()) << "HFSX in a GPT sets the type code only";
  putBe16(h, 0, 0x4244);
  putBe16(h, 0x7C, 0x482B);
  h[0x24] = 200;  // a length beyond the 27 characters the field holds
  PartitionRecord wrapped;
  applyGptHfs(wrapped, h, "d.img");
  EXPECT_EQ(wrapped.hfsKindText + " " + std::to_string(wrapped.label.size()) + " " + wrapped.devicePath,
            "HFS+ in HFS 27 d.img");
}

TEST(BootSectorProbes, ExfatNtfsFat32AndExtNeedTheirTellingFields) {
  // Boot sectors mkfs wrote, then with one telling byte broken (NTFS without hidden sectors:
  // partitions-whole-ntfs).
  const struct {
    const char* fixture;
    uint64_t sector;
    bool (*probe)(const uint8_t*);
    size_t offset;
    uint8_t broken;
    const char* why;
  } cases[] = {
      {"partitions-whole-exfat.img", 0, isExfatBootSector, 40, 1, "a stray byte in 11..63 means a FAT BPB, not exFAT"},
      {"partitions-whole-exfat.img", 0, isExfatBootSector, 511, 0, "the probe must require 0x55 0xAA"},
      {"partitions-mbr.img", 104448, isNtfsBootSector, 0x10, 2, "NTFS keeps no FAT count"},
      {"partitions-whole-fat32.img", 0, isFat32BootSector, 0x32, 7, "the backup boot sector must be sector 6"},
  };
  for (const auto& c : cases) {
    std::string bytes = test::readRange(test::fixtureImage(c.fixture), c.sector * 512, 512);
    auto* s = reinterpret_cast<uint8_t*>(bytes.data());
    EXPECT_TRUE(c.probe(s)) << c.fixture;
    s[c.offset] = c.broken;
    EXPECT_FALSE(c.probe(s)) << c.why;
  }

  // The superblock mkfs.ext4 wrote (1 KiB blocks), and copies with fields changed.
  const std::string made = test::readRange(test::fixtureImage("partitions-whole-ext4.img"), 1024, 1024);
  auto bytes = [](const std::string& sb) { return reinterpret_cast<const uint8_t*>(sb.data()); };
  auto changed = [&](std::initializer_list<std::pair<size_t, uint32_t>> fields) {
    std::string sb = made;
    for (auto [offset, value] : fields) putLe32(reinterpret_cast<uint8_t*>(sb.data()), offset, value);
    return sb;
  };
  ASSERT_TRUE(isExtSuperblock(bytes(made)));
  EXPECT_EQ(extVersionOf(bytes(made)) + extVolumeName(bytes(made)), "EXT4WHOLEEXT4");
  EXPECT_EQ(extSizeSectors(bytes(changed({{0x18, 2}, {0x04, 3000000}})), 512), 24000000u)
      << "the byte size of 3,000,000 4 KiB blocks exceeds 32 bits and must not wrap";
  EXPECT_EQ(extVersionOf(bytes(changed({{0x60, 0}}))), "EXT3") << "a journal without extents";
  EXPECT_EQ(extVersionOf(bytes(changed({{0x5C, 0}}))), "EXT2") << "no journal";

  const uint32_t inodes = le32(bytes(made), 0x00), blocks = le32(bytes(made), 0x04);
  const struct {
    const char* what;
    std::string sb;
    bool accepted;
  } superblocks[] = {
      {"write time zero", changed({{0x30, 0}}), false},
      {"mount time zero", changed({{0x2C, 0}}), false},
      {"creator OS not Linux", changed({{0x48, 3}}), false},
      {"free inodes >= inodes", changed({{0x10, inodes}}), false},
      {"free blocks >= blocks", changed({{0x0C, blocks}}), false},
      {"blocks per group >= blocks", changed({{0x20, blocks}}), false},
      {"log block size 22 shifts 0x400 out", changed({{0x18, 22}}), false},
      {"inode size below 128", changed({{0x58, 64}}), false},
      {"2^32 + 10 blocks beat the blocks per group", changed({{0x04, 10}, {0x150, 1}, {0x0C, 1}}), true},
  };
  for (const auto& c : superblocks) EXPECT_EQ(isExtSuperblock(bytes(c.sb)), c.accepted) << c.what;
}

TEST(VolumeLabel, ReadFromTheRootFoldersFirstSectorOnlyAndWithinBounds) {
  ImageBuilder img(64), late(64), hostile(64);
  img.exfatVolume(16, 48, "ELEVENCHARS", 64);
  late.exfatVolume(0, 48, "LATE", 512);
  hostile.exfatVolume(0, 48, "X", 0);
  hostile.at(8 * 512)[1] = 200;  // character count far beyond the entry
  test::MemoryDevice dev = img.device(), lateDev = late.device(), hostileDev = hostile.device();
  EXPECT_EQ(readVolumeLabel(dev, 16 * 512, 5), "ELEVENCHARS");
  EXPECT_EQ(readVolumeLabel(dev, 16 * 512, 7), "") << "labels are read for exFAT only";
  EXPECT_EQ(readVolumeLabel(lateDev, 0, 5), "") << "an entry beyond the first sector is not found";
  EXPECT_EQ(readVolumeLabel(hostileDev, 0, 5).size(), 15u) << "cut at the 15 units the entry holds";
  hostile.sector(0)[0x6C] = 40;  // a 1 TiB "sector"
  test::MemoryDevice huge = hostile.device();
  EXPECT_EQ(readVolumeLabel(huge, 0, 5), "");
}

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

TEST(LvmMetadata, BlocksFollowNestingValuesNeedTheirLineEndAndTheLabelInSectorOneEndsDiscovery) {
  // A block never closed is none.
  for (auto [text, block] : {std::pair{"a { b { c } d } e }", "a { b { c } d }"}, {"x { } { }", "x { }"},
                             {"no braces", ""}, {"open { { }", ""}})
    EXPECT_EQ(extractBlock(text), block) << text;
  // Without its line break a value is none.
  for (auto [text, key, value] : {std::tuple{"a = 1\nextent_size = 8192\n", "extent_size", "8192"},
                                  {"stripes = [\n\"pv0\", 384\n]", "stripes", "\n\"pv0\", 384\n"},
                                  {"extent_size = 8192", "extent_size", ""}, {"extent_size =\n", "extent_size", ""},
                                  {"extent_size\n", "extent_size", ""}, {"stripes = [ \"pv0\"", "stripes", ""},
                                  {"nothing\n", "id", ""}})
    EXPECT_EQ(getValue(text, key), value) << text;
  EXPECT_EQ(std::tuple(decimalValue(" 42 # comment"), decimalValue("\"7\""), decimalValue("99999999999999999999999")),
            std::tuple(uint64_t{42}, uint64_t{0}, UINT64_MAX));

  // Segments are checked against lvs in FixtureImages; here the label, the PV
  // chosen among several, bounds.
  ImageBuilder pv(64);
  std::memcpy(pv.sector(1), "LABELONE", 8);
  std::memcpy(pv.sector(1) + 32, "abcdefghijklmnopqrstuvwxyz012345", 32);
  putLe64(pv.sector(1), 104, 8 * 512);  // metadata area at sector 8
  putLe64(pv.sector(8), 40, 512);       // text one sector into it
  putLe32(pv.sector(8), 48, static_cast<uint32_t>(std::strlen(kMetadata)));
  std::memcpy(pv.sector(9), kMetadata, std::strlen(kMetadata));
  DiskRecord disk = discover(pv);
  EXPECT_TRUE(disk.partitions.empty());
  EXPECT_EQ(disk.pvId + " " + disk.vgId, "abcdefghijklmnopqrstuvwxyz012345 \"VGID-0001\"");
  // The hyphenated id matches the label's 32 characters.
  EXPECT_EQ(std::to_string(disk.devSize) + " " + std::to_string(disk.peStart) + " " + std::to_string(disk.peCount),
            "2097152 2048 255");
  ASSERT_EQ(disk.logicalVolumes.size(), 2u);
  EXPECT_EQ(disk.logicalVolumes[1].segments[0].pvName, "pv1");

  // A text size beyond the bound is taken as no metadata; a disk with the
  // boot signature is an MBR disk, whatever sector 1 holds.
  putLe32(pv.sector(8), 48, 0xFFFFFFFF);
  DiskRecord huge = discover(pv);
  EXPECT_TRUE(huge.pvId == "abcdefghijklmnopqrstuvwxyz012345" && huge.logicalVolumes.empty());
  pv.signature(0);
  EXPECT_EQ(discover(pv).pvId, "");

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

// Discovery on images made by sfdisk, sgdisk, parted, mkfs.*, hformat and
// the LVM tools (tests/fixtures/make-partitions.sh).
TEST(FixtureImages, PartitionsOfEachTableAndWholeDiskVolume) {
  const std::pair<const char*, const char*> images[] = {
      {"partitions-mbr.img",
       "Partition0 2048+16384 t5 k1 MBREXFAT\nPartition1 18432+8192 t6 k1 \nPartition2 28672+73728 t12 k2 \n"
       "Partition3 104448+16384 t7 k2 \nPartition4 122880+32768 t131 k2 MBREXT4 EXT4\n"},
      // exFAT under Linux, FAT32 and EFI types, and in a Linux extended partition (make-foreign.sh).
      {"partitions-foreign.img",
       "Partition0 2048+6144 t5 k1 F83\nPartition1 8192+6144 t5 k1 F0C\nPartition2 14336+6144 t5 k1 FEF\n"
       "Partition3 22528+6144 t5 k2 F85\n"},
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
    DiskRecord disk = catalogued(fixtureImage(fixture));
    EXPECT_EQ(disk.vendorId + "\n" + listing(disk), fixture + std::string("\n") + expected);
  }

  // The GPT disk with its exFAT volume's main boot sector destroyed.
  test::TempDir dir;
  std::string image = dir.file("gpt.img");
  test::writeFile(image, test::readFile(test::fixtureImage("partitions-gpt.img")).replace(2048 * 512, 512, 512, '\0'));
  DiskRecord gpt = test::catalogued(image);
  const PartitionRecord& data = gpt.partitions.at(0);
  EXPECT_EQ(data.name, "Data(exFat)") << "named from its backup boot sector";
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
  ASSERT_EQ(disk.logicalVolumes.size(), 2u);
  EXPECT_EQ(std::tuple(disk.extentSize, disk.logicalVolumes[0].sizeSectors, disk.logicalVolumes[1].sizeSectors),
            std::tuple(2048u, uint64_t{4} * 2048, uint64_t{3} * 2048));
}

}  // namespace
}  // namespace dudorazu
