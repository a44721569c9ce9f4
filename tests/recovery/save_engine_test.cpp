#include "core/recovery/save_engine.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <sstream>

#include "core/common/text.h"
#include "core/exfat/lost_file_scan.h"
#include "core/exfat/record_walk.h"
#include "core/exfat/tree_loader.h"
#include "core/recovery/save_report.h"
#include "exfat/served_volume.h"
#include "fake_volume.h"
#include "support/faulty_device.h"
#include "support/memory_device.h"
#include "support/temp_dir.h"

namespace dudorazu {
namespace {

using namespace test;

constexpr uint8_t kContiguous = 3;
constexpr uint8_t kChained = 1;

// Chains end at the length, end mark, FAT end or a cycle; past the heap is damage; free clusters are a guess;
// a deleted file's bytes in clusters the bitmap marks in use are another file's.
TEST(SaveEngine, ChainsAreFollowedToTheLengthTheirEndOrTheHeapsEnd) {
  FakeVolume v(1, 64);
  for (uint32_t c = 2; c < 64; ++c) v.stamp(c);
  const uint64_t cb = v.clusterBytes();
  v.bytes.append(8 * cb, 'x');  // past the heap
  v.partition.clusterCount = 62;
  v.volume.allocationBitmap.assign(8, 0);
  for (uint32_t c = 10; c < 64; c += 2) v.volume.allocationBitmap[(c - 2) / 8] |= 1 << ((c - 2) % 8);
  const uint8_t live = kStateFile, gone = kStateDeletedFile;
  const uint32_t kEnd = 0xFFFFFFFF;
  struct Case {
    const char* name;
    uint8_t state, flags;
    std::vector<uint32_t> chain;  // from the first cluster on
    uint32_t end;                 // what the last cluster's entry holds
    uint64_t length;
    bool guess;
    std::vector<uint32_t> read;   // the clusters the file is cut from
    bool shortened, beyond, guessed;
    uint64_t inUse;               // bytes read from clusters marked in use
  } cases[] = {
      {"partial", live, kChained, {10, 7, 20}, kEnd, 2 * cb + 100, false, {10, 7, 20}, false, false, false, 0},
      {"long", live, kChained, {30, 31, 32, 40, 41}, kEnd, 2 * cb, false, {30, 31}, false, false, false, 0},
      {"exact", live, kChained, {50, 52}, kEnd, 2 * cb, false, {50, 52}, false, false, false, 0},
      {"count", live, kChained, {4, 5}, 64, 5 * cb, false, {4, 5}, true, false, false, 0},
      {"end", live, kChained, {8}, 0x0FFFFFFF, 5 * cb, false, {8}, true, false, false, 0},
      {"cycle", live, kChained, {12, 13, 14}, 12, 10 * cb, false, {12, 13, 14}, true, false, false, 0},
      {"self", live, kChained, {63}, 63, 3 * cb, false, {63}, true, false, false, 0},  // the last entry
      {"huge contiguous", gone, kContiguous, {61}, 0, 1ull << 50, true, {61, 62, 63}, false, true, false, cb},
      {"huge chained", live, kChained, {13, 15}, kEnd, 1ull << 50, true, {13, 15}, false, true, false, 0},
      {"cleared chain", gone, kChained, {11}, kEnd, 4 * cb, true, {11, 13, 15, 17}, false, false, true, 0},
      {"chain then free", gone, kChained, {13, 15}, kEnd, 4 * cb, true, {13, 15, 17, 19}, false, false, true, 0},
      {"chain only", gone, kChained, {11}, kEnd, 4 * cb, false, {11}, true, false, false, 0},
      {"live file", live, kChained, {11}, kEnd, 4 * cb, true, {11}, true, false, false, 0},
      {"free to the end", gone, kChained, {59}, kEnd, 20 * cb, true, {59, 61, 63}, true, false, true, 0},
      {"outside the heap", gone, kContiguous, {64}, 0, cb, true, {}, true, false, false, 0},
      // Not fragmented, so never a guess: what runs on into used clusters is overwritten.
      {"contiguous over used", gone, kContiguous, {9}, 0, 3 * cb + 100, true, {9, 10, 11, 12}, false, false, false,
       cb + 100},
      {"intact chain over used", gone, kChained, {20, 23, 24}, kEnd, 2 * cb + 7, true, {20, 23, 24}, false, false,
       false, cb + 7},
      {"chain, then used and free", gone, kChained, {22}, kEnd, 3 * cb, true, {22, 23, 25}, false, false, true, cb},
      {"live over used", live, kContiguous, {30}, 0, 2 * cb, true, {30, 31}, false, false, false, 0},
  };
  TempDir dir;
  for (const Case& c : cases) {
    v.volume.fatTable.assign(64, 0);
    if (c.flags == kChained) v.chain(c.chain, c.end);
    Saver s(v);
    s.context.guessFreeClusters = c.guess;
    ExfatFileRecord& r = v.add(v.root(), c.name, c.state, c.flags, c.length, c.chain[0]);
    s.save(r, dir.path());
    std::string expected;
    for (uint32_t cluster : c.read) expected += v.cluster(cluster);
    expected = expected.substr(0, c.length);
    EXPECT_EQ(readFile(dir.file(c.name)), expected) << c.name;
    ASSERT_EQ(s.files.size(), 1u) << c.name;
    const SavedFile& f = s.files[0];
    // A file is damaged exactly where it reaches beyond the volume.
    const auto counts = [](bool shortened, bool beyond, bool damaged, bool guessed, uint64_t inUse, uint64_t written,
                           size_t shorts, size_t overwritten, bool failed) {
      return format("shortened %d beyond %d damaged %d guessed %d in use %llu written %llu (totals %zu %zu) failed %d",
                    shortened, beyond, damaged, guessed, static_cast<unsigned long long>(inUse),
                    static_cast<unsigned long long>(written), shorts, overwritten, failed);
    };
    EXPECT_EQ(counts(f.shortened, f.beyondVolume, f.damaged, f.guessed, f.overwrittenBytes, f.bytesWritten,
                     s.context.totals.shortened, s.context.totals.overwritten, f.failed),
              counts(c.shortened, c.beyond, c.beyond, c.guessed, c.inUse, expected.size(), c.shortened, c.inUse != 0, false))
        << c.name;
    // Named on its line and in the window's closing text, with the bytes at risk.
    EXPECT_EQ(test::contains(savedFileProblem(f), "overwritten: "), c.inUse != 0) << c.name;
    EXPECT_EQ(test::contains(savedFileProblem(f), "(" + std::to_string(c.inUse) + " of " +
                                                      std::to_string(f.bytesWritten) + " bytes read from clusters"),
              c.inUse != 0)
        << c.name;
    std::istringstream planned(savedFileProblem(f, true));
    for (std::string line; std::getline(planned, line);) EXPECT_EQ(line.rfind("would be ", 0), 0u) << line;
    EXPECT_EQ(test::contains(saveReportText(s.context.totals, {}, false), "其中 1 个文件的簇已被其他文件占用"),
              c.inUse != 0)
        << c.name;
    EXPECT_LE(reachableLength(r, v.volume), std::max<uint64_t>(62 * cb, c.length)) << c.name;
    EXPECT_EQ(reachableLength(r, v.volume) < c.length, c.beyond || c.read.empty()) << c.name;
  }
}

// Clusters the live tree holds are in use even where no bitmap says so: a deleted file over them, or a live entry
// that no live folder reaches, is overwritten, after a load and after a lost-file scan alike. Cyclic and
// cross-linked live chains cost no more than the FAT.
TEST(SaveEngine, FilesInClustersTheLiveTreeHoldsAreOverwritten) {
  TestVolume v(2, 64);  // no allocation bitmap; a scan finds folders only in clusters of 2 sectors or more
  auto chained = [](SetLayout s) {
    s.flags = 1;
    return s;
  };
  const uint64_t cb = 1024;
  const std::vector<uint32_t> root = {7, 8, 9};
  v.chain(root);
  // "live" lies before the root: a scan finds it first, as a folder of its own.
  v.putSet(root, 0, folderSet("live", 5, cb));
  v.putSet({5}, 0, chained(fileSet("chained", 10, 3 * cb)));
  v.putSet({5}, 3, fileSet("empty"));
  v.chain({10, 12, 14});
  v.putSet(root, 3, fileSet("contig", 20, 2 * cb + 476));
  v.putSet(root, 6, deleted(fileSet("same-start", 20, 2 * cb + 476)));  // what a rename leaves
  v.putSet(root, 9, deleted(fileSet("over-contig", 21, 3 * cb)));
  v.putSet(root, 12, deleted(chained(fileSet("over-chain", 14, cb + 88))));
  v.putSet(root, 15, deleted(fileSet("free", 30, cb)));
  v.putSet(root, 18, deleted(folderSet("old", 16, cb)));
  v.putSet({16}, 0, fileSet("orphan", 21, 100));
  v.putSet({16}, 3, fileSet("orphan-free", 31, 100));
  v.putSet(root, 21, chained(fileSet("loop", 40, 1ull << 40)));
  v.setFat(40, 41), v.setFat(41, 40);
  v.putSet(root, 24, chained(fileSet("joins", 41, 5 * cb)));
  v.putSet(root, 27, deleted(fileSet("after-loop", 40, 3 * cb)));
  for (int i = 0; i < 3; ++i) v.putSet(root, 30 + 3 * i, fileSet("wide" + std::to_string(i), 50, 10 * cb));
  v.putSet(root, 39, deleted(fileSet("in-wide", 58, 4 * cb)));
  const std::vector<uint32_t> held = {5, 7, 8, 9, 10, 12, 14, 20, 21, 22, 40, 41, 50, 51, 52, 53, 54, 55, 56, 57, 58, 59};
  struct Case {
    const char* name;
    uint64_t inUse;
    bool outside;
  } cases[] = {{"contig", 0, false},          {"chained", 0, false},      {"same-start", 2 * cb + 476, false},
               {"over-contig", 2 * cb, false}, {"over-chain", cb, false},  {"free", 0, false},
               {"orphan", 100, true},          {"orphan-free", 0, true},   {"after-loop", 2 * cb, false},
               {"in-wide", 2 * cb, false}};
  // Then a bitmap marks the clusters of free and orphan-free: it judges deleted files alone (a live entry outside
  // the live tree is most often in a folder whose entry was lost, and the bitmap marks its clusters for it).
  enum Run { kLoad, kScan, kScanWithoutRoot };
  for (Run run : {kLoad, kScan, kScanWithoutRoot}) {
    SCOPED_TRACE(run == kLoad ? "load" : run == kScan ? "lost-file scan" : "scan without the root folder");
    putLe32(v.bootSector(), 0x60, run == kScanWithoutRoot ? 3 : root[0]);
    test::ServedVolume s(v);
    ASSERT_TRUE(run == kLoad ? loadVolumeTree(s.disk, s.volume, s.progress)
                             : scanLostFiles(s.disk, s.volume, s.progress));
    std::vector<uint32_t> live;
    for (uint32_t c = 0; c < 70; ++c)
      if (s.volume.clusterLive(c)) live.push_back(c);
    EXPECT_EQ(live, run == kScanWithoutRoot ? std::vector<uint32_t>{} : held);
    for (bool bitmap : {false, true}) {
      s.volume.allocationBitmap.assign(bitmap ? 8 : 0, 0);
      if (bitmap) s.volume.allocationBitmap[(30 - 2) / 8] = 3 << ((30 - 2) % 8);
      for (const Case& c : cases) {
        const ExfatFileRecord* r = nullptr;
        forEachRecord(s.volume.rootRecord, "/", [&](const ExfatFileRecord& x, const std::string&, size_t) {
          if (x.name == c.name) r = &x;
        });
        ASSERT_TRUE(r) << c.name;
        DataRunWalker walker(*r, s.volume);
        while (walker.next()) continue;
        const uint64_t inUse = bitmap && c.name == std::string("free") ? cb : run == kScanWithoutRoot ? 0 : c.inUse;
        EXPECT_EQ(walker.bytesInUse(), inUse) << c.name << (bitmap ? " with the bitmap" : "");
        EXPECT_EQ(r->outsideLiveTree, run == kScanWithoutRoot ? !r->isDeleted() : c.outside) << c.name;
      }
    }
  }
}

// Empty and hostile names stay inside the destination, times are kept, a filter makes only what it saves.
TEST(SaveEngine, TreesOfEmptyHostileAndDatedRecordsAndAFilter) {
  FakeVolume v(1, 16);
  v.stamp(5);
  ExfatFileRecord& top = v.add(v.root(), "top", kStateFolder, kContiguous, 0, 4);
  top.modifyDate = (30 << 9) | (6 << 5) | 15, top.modifyTime = (8 << 11) | (30 << 5);  // 2010-06-15 08:30:00
  v.add(top, "zero.txt", kStateFile, kContiguous, 0, 0);
  ExfatFileRecord& emptyFolder = v.add(top, "empty", kStateDeletedFolder, kContiguous, 0, 6);
  v.add(emptyFolder, "zero2.txt", kStateDeletedFile, kChained, 0, 5);
  v.add(top, "none", kStateFolder, kContiguous, 0, 7);
  v.add(top, "flags0.bin", kStateFile, 0, 100, 5);
  v.add(top, "flags2.bin", kStateDeletedFile, 2, 100, 5);
  v.add(top, "odd-state", 7, kContiguous, 100, 5);
  ExfatFileRecord& dotdot = v.add(top, "..", kStateFolder, kContiguous, 0, 8);
  v.add(dotdot, "../escape", kStateFile, kContiguous, 10, 5);
  v.add(dotdot, "", kStateFile, kContiguous, 10, 5);
  v.add(dotdot, ".", kStateFile, kContiguous, 10, 5);
  v.add(v.add(dotdot, ".", kStateFolder, kContiguous, 0, 9), "in-dot", kStateFile, kContiguous, 10, 5);
  ExfatFileRecord& dated = v.add(top, "f.jpg", kStateFile, kContiguous, 10, 5);
  dated.modifyDate = 0x3A21;
  dated.modifyTime = 0x6B2D;
  TempDir dir;
  Saver s(v);
  std::vector<std::string> folders;
  s.context.onFolder = [&](const std::string& f) { folders.push_back(f); };
  s.save(top, dir.path());
  EXPECT_EQ(listTree(dir.path()),
            (std::vector<std::string>{"top/", "top/$$/", "top/$$/$", "top/$$/$0/", "top/$$/$0/in-dot", "top/$$/..$escape",
                                      "top/$$/5", "top/empty/", "top/empty/zero2.txt", "top/f.jpg", "top/flags0.bin",
                                      "top/flags2.bin", "top/none/", "top/zero.txt"}));
  EXPECT_EQ(std::tuple(folders.size(), readFile(dir.file("top/flags0.bin")), s.context.totals.files),
            std::tuple(size_t{5}, std::string(), uint64_t{9}));
  ASSERT_EQ(s.files.size(), 9u);
  EXPECT_FALSE(s.files[0].shortened) << "an empty file is whole";
  EXPECT_TRUE(s.files[2].created && s.files[2].shortened && !s.files[2].failed) << s.files[2].outputPath;
  auto localOf = [](const std::string& p) {
    struct stat st {};
    ::stat(p.c_str(), &st);
    time_t t = st.st_mtime;
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", std::localtime(&t));
    return std::string(buf);
  };
  EXPECT_EQ(localOf(dir.file("top/f.jpg")) + ", " + localOf(dir.file("top")), "2009-01-01 13:25:26, 2010-06-15 08:30:00");
  TempDir filtered;
  s.context.fileFilter = [](const ExfatFileRecord& r) { return r.name.ends_with(".jpg"); };
  s.save(top, filtered.path());
  EXPECT_EQ(listTree(filtered.path()), (std::vector<std::string>{"top/", "top/f.jpg"}));
}

TEST(SaveEngine, DryRunPlansRunsWithoutWriting) {
  FakeVolume v(1, 32);
  v.chain({4, 5, 6, 9});
  ExfatFileRecord& r = v.add(v.root(), "f", kStateFile, kChained, 4 * 512, 4);
  TempDir dir;
  Saver s(v);
  s.context.dryRun = true;
  s.context.collectRuns = true;
  s.save(r, dir.path());
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
  ASSERT_EQ(s.files.size(), 1u);
  std::string runs;  // consecutive clusters form one run
  for (const DataRun& r : s.files[0].runs)
    runs += std::to_string(r.fileOffset) + "+" + std::to_string(r.length) + "@" + std::to_string(r.deviceOffset) + " ";
  EXPECT_EQ(runs, "0+1536@2048 1536+512@4608 ");
}

TEST(SaveEngine, CancelStopsTheFileAndTheRestOfTheSubtree) {
  const uint64_t tenMiB = 0xA00000;
  FakeVolume v(8, 2 + static_cast<uint32_t>(3 * tenMiB / 4096));
  std::fill(v.bytes.begin(), v.bytes.end(), 'x');
  ExfatFileRecord& top = v.add(v.root(), "top", kStateFolder, kContiguous, 0, 2);
  v.add(top, "big", kStateFile, kContiguous, 2 * tenMiB + 5, 3);
  v.add(top, "after", kStateFile, kContiguous, 100, 3);
  TempDir dir;
  Saver s(v);
  auto plan = std::make_shared<test::FaultPlan>();
  plan->onRead = [&](uint64_t) { s.progress.cancel(); };  // stop pressed during the first read
  test::FaultyDevice device(std::make_unique<test::MemoryDevice>(v.bytes), plan);
  s.context.device = &device;
  s.save(top, dir.path());
  EXPECT_EQ(readFile(dir.file("top/big.partial")), std::string(tenMiB, 'x'))
      << "the file being written keeps the piece written before the cancel test, under a name that says so";
  EXPECT_FALSE(std::filesystem::exists(dir.file("top/big")) || std::filesystem::exists(dir.file("top/after")));
  EXPECT_TRUE(s.context.totals.cancelled == 1 && s.context.totals.files == 0);
}

// An unreadable piece becomes zeros in place (a salvage piece, or a cluster of a chain); the file is damaged.
TEST(SaveEngine, UnreadableSectorsBecomeZerosInPlaceAndTheFileIsDamaged) {
  const uint64_t tenMiB = 0xA00000;
  FakeVolume v(8, 5200);
  for (size_t i = 0; i < v.bytes.size(); ++i) v.bytes[i] = static_cast<char>('a' + (i * 13) % 97);
  const uint64_t cb = v.clusterBytes();
  v.chain({5, 9, 11});
  struct Case {
    const char* name;
    uint8_t flags;
    uint32_t first;
    uint64_t length, bad, lost;  // the bad byte and the length lost, in the file
  } cases[] = {{"contiguous", kContiguous, 20, 2 * tenMiB + 1000, tenMiB + 70000, kSalvageBytes},
               {"chained", kChained, 5, 3 * cb, cb + 100, cb}};
  for (const Case& c : cases) {
    auto at = [&](uint64_t fileOffset) {
      uint32_t chained[] = {5, 9, 11};
      return c.flags == kContiguous ? v.partition.clusterPosition(c.first) + fileOffset
                                    : v.partition.clusterPosition(chained[fileOffset / cb]) + fileOffset % cb;
    };
    std::string data;
    for (uint64_t off = 0; off < c.length; off += cb) data += v.bytes.substr(at(off), std::min(cb, c.length - off));
    auto plan = std::make_shared<test::FaultPlan>();
    plan->badSectors = {at(c.bad) / 512};
    test::FaultyDevice device(std::make_unique<test::MemoryDevice>(v.bytes), plan);
    Saver s(v);
    s.context.device = &device;
    TempDir out;
    EXPECT_TRUE(saveFileData(s.context, out.file("f.bin"), v.add(v.root(), "f.bin", kStateFile, c.flags, c.length, c.first)))
        << c.name << ": a damaged file is still saved to its end";
    ASSERT_EQ(s.files.size(), 1u) << c.name;
    ASSERT_EQ(s.files[0].unreadable.size(), 1u) << c.name;
    const DataRun& lost = s.files[0].unreadable[0];
    EXPECT_TRUE(s.files[0].damaged && lost.length == c.lost) << c.name;
    EXPECT_TRUE(lost.fileOffset <= c.bad && lost.fileOffset + lost.length > c.bad) << c.name << ": the bad byte lost";
    EXPECT_TRUE(readFile(out.file("f.bin")) == data.replace(lost.fileOffset, lost.length, std::string(lost.length, '\0')))
        << c.name;
    EXPECT_TRUE(s.context.totals.damaged == 1 && s.context.totals.failed == 0) << c.name;
  }
}

}  // namespace
}  // namespace dudorazu
