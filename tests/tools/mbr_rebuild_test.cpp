#include "core/tools/mbr_rebuild.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <tuple>

#include "core/common/byte_order.h"
#include "core/tools/partition_search.h"
#include "core/tools/write_questions.h"
#include "platform/linux/linux_mount_guard.h"
#include "support/faulty_device.h"
#include "partitions/listing.h"
#include "support/catalogued.h"
#include "support/temp_dir.h"

namespace dudorazu {
namespace {

using namespace test;

PartitionRecord record(uint64_t start, uint64_t size, uint8_t type, uint32_t searchKind, uint8_t kind = 1,
                       const std::string& label = "") {
  PartitionRecord r;
  r.startSector = start, r.sizeSectors = size, r.typeCode = type, r.searchKind = searchKind, r.entryKind = kind;
  r.label = label;
  return r;
}

TEST(MbrRebuild, RowsOfferFamiliesSkipFoundVolumesAlreadyInTheTableAndSizeTextsChangeUnit) {
  DiskRecord disk;
  disk.partitions.push_back(record(2048, 1000000, kTypeExfat, kSearchKindTable, 1, "DATA"));
  disk.partitions.push_back(record(2048, 1000000, kTypeExfat, kSearchKindFound));   // already in the table
  disk.partitions.push_back(record(9000, 100, kTypeExt, kSearchKindTable));          // no family
  disk.partitions.push_back(record(5000, 300, kTypeNtfs, kSearchKindTable));
  disk.partitions.push_back(record(5000, 300, kTypeExfat, kSearchKindFound, 2));     // other family: kept
  disk.partitions.push_back(record(7000, 50, kTypeExfat, 1));                        // never offered
  disk.partitions.push_back(record(3000000000u, 209716, 0x0C, kSearchKindFound, 3));

  std::string rows;
  for (const RebuildRow& r : rebuildRows(disk))
    rows += r.system + ";" + r.label + ";" + r.startText + ";" + r.sizeText + ";" + r.kindText + ";" +
            std::to_string(r.recordIndex) + "\n";
  // An entryKind other than 1 or 2 shows nothing.
  EXPECT_EQ(rows, "exFat;DATA;2048;0.5 GB;主;0\nNTFS;;5000;0.1 MB;主;3\nexFat;;5000;0.1 MB;逻辑;4\n"
                  "FAT32;;3000000000;0.1 GB;;6\n");
  for (auto [sectors, text] : {std::pair{209716ull, "0.1 GB"}, {209715ull, "102.4 MB"}, {210ull, "0.1 MB"}, {209ull, "104.5 KB"}})
    EXPECT_EQ(rebuildSizeText(sectors), text);
  EXPECT_EQ(rebuildSizeText(UINT64_MAX).substr(rebuildSizeText(UINT64_MAX).size() - 3), " GB");
}

// Boot code, status and CHS bytes are kept; exFAT is written with the NTFS
// type byte, the record's size (not one more); the first ticked row takes
// slot 0; unused slots are zeroed.
TEST(MbrRebuild, EntriesTakeTheRecordsSizeAndKeepStatusChsAndBootCode) {
  std::string sector(512, '\0');
  for (int i = 0; i < 512; ++i) sector[i] = static_cast<char>(i * 7);
  std::string expected = sector;
  auto* e = reinterpret_cast<uint8_t*>(expected.data());
  for (auto [slot, start, size] : {std::tuple{0, 3000000000u, 4096u}, {1, 2048u, 1000000u}}) {
    e[446 + 16 * slot + 4] = 0x07;
    putLe32(e, 446 + 16 * slot + 8, start);
    putLe32(e, 446 + 16 * slot + 12, size);
  }
  std::fill(expected.begin() + 478, expected.begin() + 510, '\0');
  e[510] = 0x55, e[511] = 0xAA;
  DiskRecord disk;
  disk.partitions.push_back(record(2048, 1000000, kTypeExfat, kSearchKindFound));
  disk.partitions.push_back(record(3000000000u, 4096, kTypeNtfs, kSearchKindTable, 2));
  fillMbrEntries(reinterpret_cast<uint8_t*>(sector.data()), disk, {1, 0});
  EXPECT_EQ(sector, expected);
}

TEST(MbrRebuild, RebuiltTableMakesAWipedDiskReadableAgain) {
  TempDir dir;
  std::string img = copyFixture(dir, "tools-search.img");
  DiskRecord disk = catalogued(img);
  ProgressBlock progress;
  ASSERT_TRUE(searchPartitions(disk, SearchMode::Sector, 0, progress));
  std::vector<RebuildRow> rows = rebuildRows(disk);
  ASSERT_EQ(rows.size(), 3u);
  std::vector<size_t> ticked;
  for (const RebuildRow& r : rows) ticked.push_back(r.recordIndex);
  RecordingMessageSink messages;
  EXPECT_TRUE(writeRebuiltMbr(disk, ticked, messages) == RebuildResult::Written && messages.messages.empty());

  // The main boot sector of the third volume is still destroyed: type 7.
  EXPECT_EQ(test::listing(catalogued(img)),
            "Partition0 2048+16384 t5 k1 TOOLSA\nPartition1 32130+16384 t5 k1 TOOLSB\nPartition2 64323+8192 t7 k1 \n");

  DUDORAZU_SKIP_UNLESS(test::haveTool("mmls") && test::haveTool("fls"),
                       "The Sleuth Kit is not installed; the catalogue check above passed");
  std::string entries;
  runCommand("mmls '" + img + "' | awk '/\\(0x07\\)/ {print $3 + 0, $5 + 0}'", &entries);
  EXPECT_EQ(entries, "2048 16384\n32130 16384\n64323 8192\n") << "mmls reads the new table";
  for (auto [start, name] : {std::pair{"2048", "tools-search.A.fls.txt"}, {"32130", "tools-search.B.fls.txt"}}) {
    std::string listing;
    EXPECT_EQ(runCommand(std::string("fls -r -p -o ") + start + " '" + img + "'", &listing), 0);
    EXPECT_EQ(listing, test::fixtureText(name)) << "fls at sector " << start;
  }
}

// A 32,768-sector disk and volumes a search could have found on it: no
// entry runs past the disk's end or overlaps another. A volume claiming more
// than the disk holds is cut at the end (and the question says so);
// overlapping volumes are refused naming both; a refusal leaves sector 0.
TEST(MbrRebuild, EntriesStayInsideTheDiskAndNeverOverlap) {
  struct Volume {
    uint64_t start, size;
    const char* label;
  };
  struct Case {
    const char* what;
    std::vector<Volume> ticked;
    const char* refusal;  // nullptr: written
    std::vector<std::pair<uint32_t, uint32_t>> entries;
    uint64_t diskSectors = 32768;
  };
  const Case cases[] = {
      {"a boot sector claiming 0x7FFFFFF0 sectors is cut at the end", {{2048, 0x7FFFFFF0, "BIG"}}, nullptr,
       {{2048, 30720}}},
      {"volumes side by side", {{2048, 8192, "A"}, {10240, 22528, "B"}}, nullptr, {{2048, 8192}, {10240, 22528}}},
      {"cut first, then no overlap", {{10240, 0x7FFFFFF0, "B"}, {2048, 8192, "A"}}, nullptr,
       {{10240, 22528}, {2048, 8192}}},
      {"overlapping volumes", {{2048, 20000, "A"}, {10240, 8192, "B"}},
       "exFat 卷 A（起始扇区 2048） 与 exFat 卷 B（起始扇区 10240） 重叠", {}},
      {"four volumes, the last cut at the end", {{2048, 100, "A"}, {4096, 100, ""}, {8192, 100, "C"}, {30000, 0x7FFFFFF0, "D"}},
       nullptr, {{2048, 100}, {4096, 100}, {8192, 100}, {30000, 2768}}},
      {"one volume found twice", {{4096, 100, ""}, {4096, 100, ""}},
       "exFat 卷（起始扇区 4096） 与 exFat 卷（起始扇区 4096） 重叠", {}},
      {"a volume starting past the end", {{40000, 100, "FAR"}}, "exFat 卷 FAR（起始扇区 40000） 起始于磁盘末尾之外", {}},
      {"five volumes", {{100, 1, ""}, {200, 1, ""}, {300, 1, ""}, {400, 1, ""}, {500, 1, ""}}, "选择错误，请从新选择", {}},
      {"a start past 2^32 on a larger disk", {{1ull << 32, 100, ""}}, "分区过大，无法写入MBR分区表", {}, 1ull << 34},
      {"a size past 2^32 on a larger disk", {{2048, 1ull << 33, ""}}, "分区过大，无法写入MBR分区表", {}, 1ull << 34},
  };
  TempDir dir;
  const std::string img = dir.file("disk.img");
  std::string sector0(512, '\0');
  for (int i = 0; i < 446; ++i) sector0[i] = static_cast<char>(i * 7);  // boot code
  for (const Case& c : cases) {
    test::writeFile(img, sector0);
    std::filesystem::resize_file(img, 32768 * 512);
    DiskRecord disk;
    disk.devicePath = img, disk.vendorId = "disk.img", disk.diskSize = c.diskSectors * 512;
    std::vector<size_t> ticked;
    for (const Volume& v : c.ticked) {
      ticked.push_back(disk.partitions.size());
      disk.partitions.push_back(record(v.start, v.size, kTypeExfat, kSearchKindFound, 1, v.label));
    }
    RecordingMessageSink messages;
    const RebuildResult result = writeRebuiltMbr(disk, ticked, messages);
    if (c.refusal) {
      ASSERT_EQ(messages.messages.size(), 1u) << c.what;
      EXPECT_TRUE(result == RebuildResult::Refused && contains(messages.messages[0].text, c.refusal))
          << c.what << ": " << messages.messages[0].text;
      EXPECT_EQ(readRange(img, 0, 512), sector0) << c.what << ": sector 0 changed";
      continue;
    }
    EXPECT_EQ(result, RebuildResult::Written) << c.what;
    const std::string written = readRange(img, 0, 512);
    const auto* e = reinterpret_cast<const uint8_t*>(written.data()) + 446;
    for (size_t slot = 0; slot < c.entries.size(); ++slot)
      EXPECT_EQ(std::pair(le32(e + 16 * slot, 8), le32(e + 16 * slot, 12)), c.entries[slot]) << c.what << " slot " << slot;
    // The question before the write names the cut.
    const std::vector<RebuildRow> rows = rebuildRows(disk);
    std::vector<const RebuildRow*> shown;
    for (const RebuildRow& r : rows) shown.push_back(&r);
    const bool cut = std::any_of(c.ticked.begin(), c.ticked.end(), [](const Volume& v) { return v.size == 0x7FFFFFF0; });
    EXPECT_EQ(test::contains(rebuildMbrQuestion(disk, shown).text, "runs past the disk's end"), cut) << c.what;
  }
}

TEST(MbrRebuild, RefusalsWriteNothingAndAFailedWriteIsReported) {
  TempDir dir;
  std::string img = copyFixture(dir, "tools-search.img"), sector0 = readRange(img, 0, 512);
  DiskRecord disk = catalogued(img);
  for (uint32_t i = 0; i < 4; ++i) disk.partitions.push_back(record(2048 + i * 100, 100, kTypeExfat, kSearchKindFound));

  RecordingMessageSink messages;
  EXPECT_EQ(writeRebuiltMbr(disk, {}, messages), RebuildResult::NothingChosen);
  disk.partitions[1].driveLetter = "/media/usb";
  EXPECT_EQ(writeRebuiltMbr(disk, {1}, messages), RebuildResult::Refused);
  EXPECT_TRUE(messages.messages.back().text == "不能更改当前系统所在的硬盘分区信息！" && readRange(img, 0, 512) == sector0);

  // A write that fails is reported, never taken for success.
  disk.partitions[1].driveLetter.clear();
  test::FaultPlan plan;
  plan.badWriteSectors = {0};
  test::ScopedFaultInjection faults(img, plan);
  const size_t said = messages.messages.size();
  EXPECT_EQ(writeRebuiltMbr(disk, {3}, messages), RebuildResult::Failed);
  ASSERT_EQ(messages.messages.size(), said + 1);
  EXPECT_EQ(messages.messages.back().caption + ": " + messages.messages.back().text, "error: 写入磁盘失败");
}

// A sysfs tree and mountinfo as the kernel shows a loop device over an image
// file with one partition.
struct FakeKernel {
  TempDir dir;
  std::string image = dir.file("disk.img"), sys = dir.file("sys"), mountinfo = dir.file("mountinfo");

  FakeKernel() {
    namespace fs = std::filesystem;
    test::writeFile(image, std::string(4096, '\0'));
    const std::string loop = sys + "/devices/virtual/block/loop7";
    for (const std::string& d : {loop + "/loop", loop + "/loop7p1", sys + "/dev/block", sys + "/block"}) fs::create_directories(d);
    for (const auto& [file, text] : std::initializer_list<std::pair<const char*, std::string>>{
             {"/dev", "7:7"}, {"/loop/backing_file", image}, {"/loop7p1/dev", "259:3"}, {"/loop7p1/partition", "1"}})
      test::writeFile(loop + file, text + "\n");
    for (auto [target, link] : {std::pair{"../devices/virtual/block/loop7", "/block/loop7"},
                                {"../../devices/virtual/block/loop7", "/dev/block/7:7"},
                                {"../../devices/virtual/block/loop7/loop7p1", "/dev/block/259:3"}})
      fs::create_symlink(target, sys + link);
  }
  bool inUse(const std::string& lines) {
    test::writeFile(mountinfo, lines);
    return platform::diskInUse(image, mountinfo, sys);
  }
};

TEST(SystemDiskGuard, AMountOnAnyPartitionOfTheDiskRefusesIt) {
  FakeKernel kernel;
  EXPECT_FALSE(kernel.inUse("22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"))
      << "only an unrelated disk is mounted";
  EXPECT_TRUE(kernel.inUse("22 1 8:1 / / rw - ext4 /dev/sda1 rw\n36 22 259:3 / /mnt/x rw,relatime shared:9 - exfat /dev/x rw\n"))
      << "a partition of the loop device over the image";
  EXPECT_TRUE(kernel.inUse("36 22 7:7 / /mnt/x rw - ext4 /dev/loop7 rw\n")) << "the loop device itself";

  DiskRecord disk;
  disk.devicePath = kernel.image;
  disk.partitions.emplace_back().driveLetter = "/mnt/x";
  RecordingMessageSink messages;
  EXPECT_FALSE(rebuildAllowed(disk, messages)) << "a partition with a mount point";
  EXPECT_EQ(messages.messages.size() == 1 ? messages.messages[0].text : "", "不能更改当前系统所在的硬盘分区信息！");
}

TEST(SystemDiskGuard, RealFuseMountOverALoopDeviceIsSeen) {
  DUDORAZU_SKIP_UNLESS(test::canUseLoopDevices(), "needs root and loop devices");
  DUDORAZU_SKIP_UNLESS(test::haveTool("mount.exfat-fuse"), "mount.exfat-fuse is not installed");
  TempDir dir;
  std::string img = copyFixture(dir, "tools-search.img"), mnt = dir.file("mnt");
  ASSERT_EQ(runCommand("mkdir -p '" + mnt + "'"), 0);
  bool mounted = false, seen = false;
  {
    test::LoopDevice loop(img, "-o " + std::to_string(32130 * 512) + " --sizelimit " + std::to_string(16384 * 512));
    ASSERT_FALSE(loop.path().empty()) << "losetup failed";
    DiskRecord disk = catalogued(img);
    EXPECT_FALSE(diskHasMountedVolume(disk)) << "attached but not mounted";
    mounted = runCommand("mount.exfat-fuse " + loop.path() + " '" + mnt + "' >/dev/null 2>&1") == 0;
    seen = mounted && diskHasMountedVolume(disk);
    if (mounted) runCommand("umount '" + mnt + "'");
  }
  DUDORAZU_SKIP_UNLESS(mounted, "the FUSE mount failed here");
  EXPECT_TRUE(seen);
}

}  // namespace
}  // namespace dudorazu
