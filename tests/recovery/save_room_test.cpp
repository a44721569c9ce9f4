#include "core/recovery/save_room.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/resource.h>  // the limit of open files
#endif

#include <filesystem>

#include "core/recovery/save_commands.h"
#include "core/recovery/save_plan.h"
#include "fake_volume.h"
#include "support/temp_dir.h"

namespace dudorazu {
namespace {

using test::FakeVolume;
using namespace std::string_literals;

TEST(SaveRoom, BatchStepsAreAHundredthAndFreeBytesAreAskedOfTheNearestExistingFolder) {
  EXPECT_EQ(batchStepFor(99), 0u) << "such a batch reports per file";
  EXPECT_EQ(batchStepFor(100), 1u);
  EXPECT_EQ(batchStepFor(5ull << 30), (5ull << 30) / 100) << "no 32-bit step";
  test::TempDir dir;
  uint64_t free1 = 0, free2 = 0;
  ASSERT_TRUE(destinationFreeBytes(dir.path(), free1));
  ASSERT_TRUE(destinationFreeBytes(dir.file("not/yet/made"), free2));
  EXPECT_GT(free1, 0u);
  EXPECT_NEAR(static_cast<double>(free1), static_cast<double>(free2), 64.0 * 1024 * 1024);
  // Below a file nothing can be saved (the desktop tests see the refusal).
  test::writeFile(dir.file("a-file"), "x");
  EXPECT_FALSE(destinationFreeBytes(dir.file("a-file/out"), free2));
}

// Every front end's room test counts what the save can write: a length
// recorded beyond the volume counts only what the heap holds, so a hostile
// length neither refuses the save nor wraps the total.
TEST(SavePlan, RoomTotalCountsWhatTheFilterLetsThroughAsFarAsTheVolumeReaches) {
  FakeVolume v(1, 16);  // a heap of clusters 2..15, 512 bytes each
  v.partition.clusterCount = 14;
  v.add(v.root(), "a", kStateFile, 3, 300, 2);
  ExfatFileRecord& dir = v.add(v.root(), "dir", kStateFolder, 3, 0, 3);
  v.add(dir, "b", kStateDeletedFile, 3, 200, 4);
  v.add(dir, "huge", kStateDeletedFile, 3, 1ull << 50, 10);  // the heap holds 3072 bytes of it
  ExfatFileRecord& odd = v.add(v.root(), "odd", kStateNone, 3, 0, 5);
  v.add(odd, "below-odd", kStateFile, 3, 1000, 6);  // not saved, not counted
  SaveJobOptions deletedOnly;
  deletedOnly.fileFilter = [](const ExfatFileRecord& r) { return r.isDeleted(); };
  EXPECT_EQ(plannedBytes(&v.root(), &v.volume, {}), 300u + 200 + 3072);
  EXPECT_EQ(plannedBytes(&v.root(), &v.volume, deletedOnly), 200u + 3072);
  EXPECT_EQ(plannedBytes(nullptr, &v.volume, {}), 0u);
  v.add(dir, "huge2", kStateFile, 3, UINT64_MAX - 10, 11);
  EXPECT_EQ(plannedBytes(&v.root(), &v.volume, {}), 300u + 200 + 3072 + 2560);

  // The windows' save start uses the same total: room for what can be
  // written is enough, whatever the entries claim.
  test::TempDir source, target;
  DiskRecord disk;
  disk.devicePath = source.file("volume.img");
  test::writeFile(disk.devicePath, v.bytes);
  RecordingMessageSink m;
  SaveScheduler scheduler;
  ProgressBlock progress;
  const uint64_t total = 300 + 200 + 3072 + 2560;
  std::vector<PlannedRecord> records = {{{&disk, &v.volume, &v.root()}, target.path(), 1}};
  EXPECT_EQ(startBatchSave(scheduler, records, total - 1, progress, m).result, SaveStart::Refused);
  m.messages.clear();
  EXPECT_NE(startBatchSave(scheduler, records, total, progress, m).result, SaveStart::Refused);
  EXPECT_TRUE(m.messages.empty()) << m.messages.front().text;
  EXPECT_EQ(startSingleSave(scheduler, records[0].found, 1, target.path(), total, progress, m), SaveStart::Refused)
      << "a single save needs more room than its total";
  EXPECT_NE(startSingleSave(scheduler, records[0].found, 1, target.path(), total + 1, progress, m), SaveStart::Refused);
  scheduler.wait();
}

// A single save needs more room than its total, a batch may fill it; missing records are dropped.
TEST(SaveCommands, RefusalsRoomAndWhatIsSaved) {
  SaveScheduler scheduler;
  RecordingMessageSink m;
  EXPECT_TRUE(refuseSingleSave(scheduler, SaveOrigin::LeftPane, false, m));
  EXPECT_FALSE(refuseSingleSave(scheduler, SaveOrigin::LeftPane, true, m));
  EXPECT_FALSE(refuseBatchSave(scheduler, SaveOrigin::LeftPane, m));
  EXPECT_TRUE(refuseEmptyDestination("", m));
  ASSERT_EQ(m.messages.size(), 2u);
  EXPECT_EQ(m.messages[0].text + "|" + m.messages[1].text + m.messages[1].caption, "请选择文件|选择保存路径error");

  // An image disk holding a fake volume.
  FakeVolume v(1, 32);
  ExfatFileRecord& a = v.add(v.root(), "a", kStateFile, 3, 300, 4);
  ExfatFileRecord& folder = v.add(v.root(), "dir", kStateFolder, 3, 0, 5);
  v.add(folder, "b", kStateDeletedFile, 3, 200, 6);
  test::TempDir single, batch, source;
  DiskRecord disk;
  test::writeFile(disk.devicePath = source.file("img.bin"), v.bytes);
  std::vector<PlannedRecord> records = {{{&disk, &v.volume, &a}, batch.path(), 1},
                                        {{&disk, &v.volume, &folder}, batch.path(), 2},
                                        {{&disk, &v.volume, nullptr}, batch.path(), 3}};
  ProgressBlock progress;
  m.messages.clear();
  EXPECT_EQ(startSingleSave(scheduler, records[0].found, 1, single.path(), 300, progress, m), SaveStart::Refused);
  EXPECT_EQ(startBatchSave(scheduler, records, 499, progress, m).result, SaveStart::Refused);
  ASSERT_EQ(m.messages.size(), 2u);
  EXPECT_EQ(m.messages[0].text + "|" + m.messages[1].text, std::string("即将保存 0.3 KB,磁盘空间不够！|") + kBatchRoomMessage);
  EXPECT_EQ(startSingleSave(scheduler, records[0].found, 1, single.path(), 301, progress, m), SaveStart::Started);
  scheduler.wait();
  BatchStart started = startBatchSave(scheduler, records, 500, progress, m);
  EXPECT_EQ(started.result, SaveStart::Started);
  EXPECT_EQ(std::tuple(started.jobs, started.step, started.statusText), std::tuple(size_t{2}, uint64_t{5}, "本次保存 500 Byte"s))
      << "the missing record is dropped";
  scheduler.wait();
  EXPECT_EQ(std::tuple(test::readFile(single.file("a")).size(), test::readFile(batch.file("a")).size(),
                       test::readFile(batch.file("dir/b")).size()),
            std::tuple(300u, 300u, 200u));
  // More ticked rows than the process may hold open: each job opens its disk
  // when it starts, so none is dropped and each runs once. A disk gone by
  // the time its job starts makes its files failures, not a silent success.
  test::TempDir wide;
#ifndef _WIN32
  std::vector<PlannedRecord> many(200, {{&disk, &v.volume, &a}, wide.path(), 1});
  rlimit old{};
  getrlimit(RLIMIT_NOFILE, &old);
  rlimit low = old;
  low.rlim_cur = 64;
  setrlimit(RLIMIT_NOFILE, &low);
  started = startBatchSave(scheduler, many, UINT64_MAX, progress, m);
  scheduler.wait();
  setrlimit(RLIMIT_NOFILE, &old);
  EXPECT_EQ(started.jobs, 200u) << "no ticked row is dropped";
  EXPECT_EQ(sumTotals(scheduler.saveQueue()).files, 200u);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(wide.path()), {}), 200);
#endif
  std::vector<SaveJob> gone(1);
  gone[0].devicePath = wide.file("unplugged.img");
  gone[0].record = &folder;
  gone[0].volume = &v.volume;
  gone[0].destination = wide.path();
  gone[0].skip = 0;
  ASSERT_TRUE(scheduler.startBatch(std::move(gone), progress));
  scheduler.wait();
  EXPECT_EQ(scheduler.saveQueue()[0].totals.failed, 1u);
  EXPECT_FALSE(jobSucceeded(scheduler.saveQueue()[0]));
}

}  // namespace
}  // namespace dudorazu
