#include "core/tools/partition_table_backup.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "core/common/byte_order.h"
#include "core/tools/partition_table_restore.h"
#include "support/faulty_device.h"
#include "support/image_builder.h"
#include "support/catalogued.h"
#include "support/memory_device.h"
#include "support/temp_dir.h"

namespace dudorazu {
namespace {

using namespace test;

// tools-bigtable.img: a primary at 2048 and, in an extended partition at
// 4194304 (2 GiB), logical volumes at 4196352 and 4214784, 16384 sectors each.
TEST(PartitionTableBackup, FileHoldsTheSectorsThenTheTrailerUnlessItCouldNotBeRestored) {
  TempDir dir;
  std::string img = test::fixtureImage("tools-bigtable.img"), file = dir.file("table.img");
  DiskRecord disk = catalogued(img);
  RecordingMessageSink messages;
  EXPECT_EQ(backupPartitionTable(disk, file, messages), BackupResult::Written);
  ASSERT_EQ(messages.messages.size(), 1u);
  EXPECT_EQ(messages.messages[0].text + messages.messages[0].caption, "备份成功sucess");

  std::string expected, trailer;
  for (uint64_t s : {0, 2048, 18432, 4196352, 4212736, 4214784}) {
    expected += readRange(img, s * 512, 512);
    trailer += std::to_string(s * 512) + "^";
  }
  trailer += disk.devicePath + "^" + displayName(disk);
  EXPECT_EQ(readFile(file), expected + trailer);
  EXPECT_NE(trailer.find("2148532224^"), std::string::npos) << "offsets past 2 GiB keep all their digits";

  // A disk without partitions gives a trailer only, and restores from it.
  std::string bare = copyFixture(dir, "tools-search.img");
  DiskRecord empty = catalogued(bare);
  ASSERT_EQ(backupPartitionTable(empty, dir.file("empty.img"), messages), BackupResult::Written);
  EXPECT_EQ(readFile(dir.file("empty.img")), empty.devicePath + "^tools-search.img");
  EXPECT_TRUE(restorePartitionTable(empty, dir.file("empty.img"), messages) == RestoreResult::Restored &&
              messages.messages.back().text == "恢复成功");

  // Backups that could not be restored are refused before the file is made:
  // too many sectors for the format, a caret in the disk's name.
  for (int i = 0; i < 40; ++i) empty.partitions.emplace_back().startSector = 1000000 + static_cast<uint32_t>(i);
  empty.diskSize = 0;  // keep every sector in the list
  DiskRecord caret = catalogued(bare);
  caret.vendorId = "odd^name.img";
  for (const DiskRecord* refused : {&empty, &caret})
    EXPECT_TRUE(backupPartitionTable(*refused, dir.file("refused.img"), messages) == BackupResult::Refused &&
                messages.messages.back().caption == "error" && !std::filesystem::exists(dir.file("refused.img")));
}

// Back up a real table, wipe its sectors, restore: every saved sector and its
// neighbours are back byte for byte and the partitions read again. Ranges in
// 512-byte units; partitions-gpt.img's six entries fill array sectors 2 and 3,
// the geometry disks have 4 KiB sectors (volume at 4 KiB sector 256).
TEST(PartitionTableBackup, RoundTripRestoresWipedTablesByteForByte) {
  struct Range {
    uint64_t first, count;
  };
  struct Case {
    const char* fixture;
    std::vector<Range> wiped, compared;
    size_t partitions, labelled;
    const char* label;
  };
  const Case cases[] = {
      {"tools-bigtable.img",
       {{0, 1}, {2048, 1}, {4196352, 1}, {4212736, 1}, {4214784, 1}},
       {{0, 3}, {2047, 3}, {18431, 3}, {4196351, 3}, {4212735, 3}, {4214783, 3}},
       3, 2, "BIGC"},
      // Every EBR of the chain sits right after a partition, so the backup holds them all.
      {"partitions-mbr.img",
       {{0, 1}, {26624, 1}, {102400, 1}, {120832, 1}},
       {{0, 2}, {26623, 3}, {102399, 3}, {120831, 3}},
       5, 0, "MBREXFAT"},
      {"partitions-gpt.img", {{1, 33}, {98271, 33}}, {{0, 34}, {98271, 33}}, 6, 0, "GPTDATA"},
      {"geometry-mbr4k.img", {{0, 8}, {2048, 8}}, {{0, 16}, {2040, 24}}, 1, 0, "FOURK"},
      {"geometry-gpt4k.img", {{0, 48}, {2048, 8}, {49112, 40}}, {{0, 48}, {2040, 24}, {49112, 40}}, 1, 0, "FOURK"},
  };
  for (const Case& c : cases) {
    TempDir dir;
    const std::string img = copyFixture(dir, c.fixture), pristine = fixtureImage(c.fixture), file = dir.file("table.img");
    DiskRecord disk = catalogued(img);
    RecordingMessageSink messages;
    ASSERT_EQ(backupPartitionTable(disk, file, messages), BackupResult::Written) << c.fixture;
    for (const Range& r : c.wiped) test::writeAt(img, r.first * 512, std::string(r.count * 512, '\0'));
    EXPECT_TRUE(catalogued(img).partitions.empty()) << c.fixture << ": the wipe took the table away";

    EXPECT_TRUE(restorePartitionTable(disk, file, messages) == RestoreResult::Restored &&
                messages.messages.back().text == "恢复成功") << c.fixture;
    for (const Range& r : c.compared)
      EXPECT_EQ(readRange(img, r.first * 512, r.count * 512), readRange(pristine, r.first * 512, r.count * 512))
          << c.fixture << " from sector " << r.first;
    DiskRecord reread = catalogued(img);
    ASSERT_EQ(reread.partitions.size(), c.partitions) << c.fixture;
    EXPECT_EQ(reread.partitions[c.labelled].label, c.label) << c.fixture;
  }
}

// Hand-made GPT headers on a 1000-sector disk: what the backup takes from
// each, however large the sizes they claim.
TEST(PartitionTableBackup, SectorListsAreBoundedByDiskAndHeader) {
  DiskRecord disk;
  disk.diskSize = 100 * 512;
  PartitionRecord& a = disk.partitions.emplace_back();
  a.startSector = 10, a.sizeSectors = 500;  // a damaged entry reaching past the end
  disk.partitions.emplace_back().startSector = 20;
  EXPECT_EQ(backupSectorList(disk), (std::vector<uint32_t>{0, 10, 20}));

  struct Case {
    const char* what;
    uint32_t entryCount, entrySize;
    uint64_t arrayLba, alternateLba;
    uint64_t lastEntryByte;  // a non-zero byte in the array at this offset
    bool backupCopy;         // a backup header at 999, its array 898 sectors on
    std::vector<uint64_t> expected;
  };
  const Case cases[] = {
      {"one entry sector used", 128, 128, 2, 999, 100, true, {1, 2, 999, 900}},
      {"zero tail left out, hole kept", 128, 128, 2, 999, 1500, true, {1, 2, 3, 4, 999, 900, 901, 902}},
      {"a huge count reads a bounded array", 0xFFFFFFFF, 4096, 2, 999, 100, false, {1, 2}},
      {"array past the disk: header only", 128, 128, 5000, 999, 100, true, {1, 999}},
      {"alternate past the disk: last sector", 128, 128, 2, 1ull << 40, 100, true, {1, 2, 999, 900}},
      {"entry size 0 is no GPT", 128, 0, 2, 999, 100, true, {}},
  };
  for (const Case& c : cases) {
    test::ImageBuilder img(1000);
    for (uint64_t lba : {1ull, 999ull}) {
      if (lba == 999 && !c.backupCopy) continue;
      uint8_t* h = img.sector(lba);
      std::memcpy(h, "EFI PART", 8);
      putLe64(h, 32, lba == 1 ? c.alternateLba : 1), putLe64(h, 72, lba == 1 ? c.arrayLba : c.arrayLba + 898);
      putLe32(h, 80, c.entryCount), putLe32(h, 84, c.entrySize);
    }
    for (uint64_t array : {c.arrayLba, c.arrayLba + 898})
      if (array * 512 + c.lastEntryByte < 1000 * 512 && (array == c.arrayLba || c.backupCopy))
        img.at(array * 512 + c.lastEntryByte)[0] = 1;
    test::MemoryDevice device(img.bytes());
    EXPECT_EQ(gptSectorList(device, 1000), c.expected) << c.what;
  }
}

TEST(PartitionTableRestore, HostileFilesAndFilesForAnotherDiskWriteNothingAndAFailedWriteIsReported) {
  TempDir dir;
  const std::string img = copyFixture(dir, "tools-search.img"), before = readFile(img);
  DiskRecord disk = catalogued(img);
  RecordingMessageSink messages;
  const std::string owner = disk.devicePath + "^" + displayName(disk);
  // A backup file for `disk` with the given trailer after `sectors` images.
  auto backupFile = [&](size_t sectors, const std::string& trailer) {
    test::writeFile(dir.file("b.img"), std::string(sectors * 512, '\x5A') + trailer);
    return dir.file("b.img");
  };
  auto restore = [&](const std::string& file) { return restorePartitionTable(disk, file, messages); };
  // No separator; two images, one offset; one image, two offsets; a negative offset; one off a sector
  // boundary; one past 64 bits; an empty one.
  for (auto [sectors, trailer] : {std::pair{1, std::string("no separator here")}, {2, "0^" + owner}, {1, "0^512^" + owner},
                                  {1, "-512^" + owner}, {1, "100^" + owner}, {1, "99999999999999999999^" + owner},
                                  {2, "0^^" + owner}})
    EXPECT_EQ(restore(backupFile(sectors, trailer)), RestoreResult::BadFile) << sectors << " " << trailer;
  EXPECT_EQ(messages.messages.back().text, "备份文件格式错误，未写入任何数据");
  EXPECT_EQ(restore(backupFile(1, std::to_string(40ull << 20) + "^" + owner)), RestoreResult::Mismatch)
      << "an offset past the end of the disk";
  EXPECT_TRUE(test::contains(messages.messages.back().text, "41943040")) << "the refusal names the offset";
  EXPECT_EQ(restore(backupFile(1, std::to_string((40ull << 20) - 256) + "^" + owner)), RestoreResult::BadFile);
  EXPECT_EQ(readFile(img), before);

  EXPECT_EQ(restore(backupFile(1, "0^" + disk.devicePath + "^other.img")), RestoreResult::Mismatch);
  EXPECT_EQ(messages.messages.back().caption + ": " + messages.messages.back().text, "error: 备份信息与磁盘不对应");
  // Same display name, another device: the path stored in the file is never trusted alone.
  std::string other = dir.file("tools-search.img.other");
  test::writeFile(other, std::string(8192, '\0'));
  EXPECT_EQ(restore(backupFile(1, "0^" + other + "^" + displayName(disk))), RestoreResult::Mismatch);
  EXPECT_TRUE(readFile(other) == std::string(8192, '\0') && readFile(img) == before) << "neither disk written";

  // A failed write is reported instead of success. The first image is an
  // MBR whose partition starts at sector 2048, the second's target.
  test::ImageBuilder mbr(1);
  mbr.tableEntry(0, 0, 0x07, 2048, 16384);
  test::writeFile(dir.file("b.img"), mbr.bytes() + std::string(512, '\x5A') + "0^1048576^" + owner);
  test::FaultPlan plan;
  plan.badWriteSectors = {0};
  test::ScopedFaultInjection faults(img, plan);
  EXPECT_EQ(restore(dir.file("b.img")), RestoreResult::WriteFailed);
  for (const auto& m : messages.messages) EXPECT_NE(m.text, "恢复成功");
  EXPECT_EQ(messages.messages.back().text, "写入磁盘失败");
  EXPECT_EQ(readRange(img, 1048576, 512), std::string(512, '\x5A')) << "the other sector was still written";
}

// A genuine backup with its offsets (and once a header's field) changed:
// every sector image the restored tables do not put there is refused before
// a byte is written, naming its offset. Sectors in 512-byte units;
// partitions-mbr.img holds offsets 0, 2048, 18432 twice, EBR 26624, 28672,
// EBR 102400, 104448, EBR 120832, 122880; partitions-gpt.img the six
// partitions' first sectors and the sectors after them, then header 1,
// array 2-3, backup header 98303 and its array 98271-98272.
TEST(PartitionTableRestore, SectorsOutsideTheRestoredTablesAreRefusedBeforeAnythingIsWritten) {
  struct Case {
    const char* what;
    const char* fixture;
    std::vector<std::pair<size_t, uint64_t>> moved;  // offset index, new sector
    RestoreResult result;
    uint64_t primaryArrayLba = 0;  // when not 0, written into the saved primary header
  };
  const Case cases[] = {
      {"sector 0 moved into the exFAT heap", "partitions-mbr.img", {{0, 2048 + 4000}}, RestoreResult::Refused},
      {"an EBR moved where no link reaches", "partitions-mbr.img", {{6, 103424}}, RestoreResult::Refused},
      {"a boot sector moved one sector into its volume", "partitions-mbr.img", {{7, 104449}}, RestoreResult::Refused},
      {"an offset at the disk's end", "partitions-mbr.img", {{9, 163840}}, RestoreResult::Mismatch},
      {"an offset far past it", "partitions-mbr.img", {{3, 1ull << 50}}, RestoreResult::Mismatch},
      {"an entry array sector no header names", "partitions-gpt.img", {{14, 40}}, RestoreResult::Refused},
      {"the backup array moved before its place", "partitions-gpt.img", {{16, 98200}}, RestoreResult::Refused},
      {"a header naming an array inside a volume", "partitions-gpt.img", {{13, 2148}, {14, 2149}},
       RestoreResult::Refused, 2148},
  };
  TempDir dir;
  for (const char* fixture : {"partitions-mbr.img", "partitions-gpt.img"}) {
    const std::string img = copyFixture(dir, fixture), before = readFile(img), file = dir.file("table.img");
    DiskRecord disk = catalogued(img);
    RecordingMessageSink messages;
    ASSERT_EQ(backupPartitionTable(disk, file, messages), BackupResult::Written) << fixture;
    const std::string genuine = readFile(file);
    BackupContents contents;
    ASSERT_TRUE(parseBackupFile(genuine, contents));
    for (const Case& c : cases) {
      if (std::string(c.fixture) != fixture) continue;
      BackupContents hostile = contents;
      for (auto [index, sector] : c.moved) hostile.offsets.at(index) = sector * 512;
      if (c.primaryArrayLba != 0)
        putLe64(reinterpret_cast<uint8_t*>(hostile.sectors.data()) + 12 * 512, 72, c.primaryArrayLba);
      test::writeFile(file, hostile.sectors + backupTrailer(hostile.offsets, hostile.devicePath, hostile.displayName));
      EXPECT_EQ(restorePartitionTable(disk, file, messages), c.result) << c.what;
      const uint64_t named = c.moved.front().second * 512;
      EXPECT_TRUE(test::contains(messages.messages.back().text, std::to_string(named) + " 处的扇区"))
          << c.what << ": " << messages.messages.back().text;
      EXPECT_TRUE(readFile(img) == before) << c.what << ": the disk changed";
    }
    test::writeFile(file, genuine);
    EXPECT_EQ(restorePartitionTable(disk, file, messages), RestoreResult::Restored) << fixture << " as saved";
  }
}

}  // namespace
}  // namespace dudorazu
