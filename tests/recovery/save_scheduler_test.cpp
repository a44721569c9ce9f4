// Names carry "Scheduler" or "Batch": `make tsan` runs these under ThreadSanitizer.
#include "core/recovery/save_scheduler.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>

#include "fake_volume.h"
#include "support/faulty_device.h"
#include "support/memory_device.h"
#include "support/temp_dir.h"
#include "core/common/text.h"

namespace dudorazu {
namespace {

using namespace std::chrono_literals;
using namespace test;

// Holds every read until opened, and counts the reads that came.
struct Gate {
  std::mutex mutex;
  std::condition_variable changed;
  bool open = false;
  int arrivals = 0;

  void pass() {
    std::unique_lock<std::mutex> lock(mutex);
    ++arrivals;
    changed.notify_all();
    changed.wait(lock, [this] { return open; });
  }
  // Waits for `n` reads; then, after a pause, how many came in all.
  int arrivalsAfter(int n) {
    std::unique_lock<std::mutex> lock(mutex);
    if (!changed.wait_for(lock, 10s, [&] { return arrivals >= n; })) return arrivals;
    lock.unlock();
    std::this_thread::sleep_for(50ms);
    lock.lock();
    return arrivals;
  }
  void release() {
    std::lock_guard<std::mutex> lock(mutex);
    open = true;
    changed.notify_all();
  }
};

// A device of `bytes` whose every read passes `gate` first.
std::unique_ptr<SectorDevice> gatedDevice(const std::string& bytes, Gate& gate) {
  auto plan = std::make_shared<test::FaultPlan>();
  plan->onRead = [&gate](uint64_t) { gate.pass(); };
  return std::make_unique<test::FaultyDevice>(std::make_unique<test::MemoryDevice>(bytes), plan);
}

struct Batch {
  explicit Batch(int files) : volume(8, 4 + 2 * files) {
    for (int i = 0; i < files; ++i) {
      uint32_t c = 4 + 2 * i;
      volume.stamp(c);
      volume.stamp(c + 1);
      records.push_back(&volume.add(volume.root(), format("f%d", i), kStateFile, 3, 4096 + 100 * i, c));
    }
  }
  std::vector<SaveJob> jobs(Gate& gate, uint64_t step) {
    std::vector<SaveJob> out;
    for (size_t i = 0; i < records.size(); ++i) {
      SaveJob job;
      job.device = gatedDevice(volume.bytes, gate);
      job.destination = dir.path();
      job.record = records[i];
      job.volume = &volume.volume;
      job.rowId = i;
      job.skip = 0;
      job.batchStep = step;
      job.progress = &progress;
      out.push_back(std::move(job));
    }
    return out;
  }
  std::string expected(size_t i) {
    return (volume.cluster(records[i]->firstCluster) + volume.cluster(records[i]->firstCluster + 1))
        .substr(0, records[i]->dataLength);
  }
  FakeVolume volume;
  std::vector<ExfatFileRecord*> records;
  TempDir dir;
  ProgressBlock progress;
};

TEST(SaveScheduler, BatchCancelledWithTenRunningNeverStartsTheOtherTen) {
  Batch b(20);
  Gate gate;
  std::mutex doneMutex;
  std::vector<uint64_t> ended;
  SaveScheduler scheduler;
  ASSERT_TRUE(scheduler.startBatch(b.jobs(gate, 1), b.progress, [&](const SaveJob& job) {
    std::lock_guard<std::mutex> lock(doneMutex);
    ended.push_back(job.rowId);
  }));
  EXPECT_TRUE(scheduler.batchSaveRunning());
  ASSERT_EQ(gate.arrivalsAfter(10), 10) << "ten jobs at most run at once";
  EXPECT_EQ(scheduler.runningBatchThreads(), 10u);
  b.progress.cancel();
  gate.release();
  scheduler.wait();
  EXPECT_TRUE(!scheduler.batchSaveRunning() && scheduler.runningBatchThreads() == 0);
  for (size_t i = 0; i < 20; ++i) {
    const bool partial = std::filesystem::exists(b.dir.file(format("f%zu.partial", i)));
    EXPECT_TRUE(partial == (i < 10) && scheduler.saveQueue()[i].started == (i < 10)) << i << ": the running ones stay, named as partial";
    EXPECT_FALSE(std::filesystem::exists(b.dir.file(format("f%zu", i)))) << "file " << i;
  }
  EXPECT_EQ(ended.size(), 10u);
}

TEST(SaveScheduler, BatchHandsSlotsOnAndCountsEveryByteOnce) {
  Batch b(25);
  Gate gate;
  gate.release();
  uint64_t total = 0;
  for (ExfatFileRecord* r : b.records) total += r->dataLength;
  std::atomic<int> jobsEnded{0}, batchesEnded{0};
  SaveScheduler scheduler;
  b.progress.setRange(100, 1);
  ASSERT_TRUE(scheduler.startBatch(
      b.jobs(gate, total / 100), b.progress, [&](const SaveJob&) { ++jobsEnded; }, [&] { ++batchesEnded; }));
  scheduler.wait();
  EXPECT_EQ(std::tuple(jobsEnded.load(), batchesEnded.load(), scheduler.batchCounters().savedBytesTotal()),
            std::tuple(25, 1, total));
  EXPECT_EQ(b.progress.text(), std::to_string(total) + " BYTE被保存");
  EXPECT_EQ(b.progress.position(), 25u) << "one step at most per written piece, and each file is one piece";
  for (size_t i = 0; i < 25; ++i) {
    EXPECT_EQ(readFile(b.dir.file(format("f%zu", i))), b.expected(i)) << i;
    EXPECT_TRUE(scheduler.saveQueue()[i].slot < 10 && scheduler.saveQueue()[i].totals.files == 1) << i;
    EXPECT_FALSE(scheduler.saveQueue()[i].device) << "a job's device is closed when it ends";
  }
}

// A second save of a kind is refused and leaves the first alone; a batch runs beside a single save.
TEST(SaveScheduler, SecondSavesAreRefusedUntilTheFirstEndsAndABatchRunsBesideASingleSave) {
  Batch b(2);
  Gate gate;
  std::vector<SaveJob> jobs = b.jobs(gate, 0);
  SaveScheduler scheduler;
  std::atomic<bool> done{false};
  ASSERT_TRUE(scheduler.startSingleSave(std::move(jobs[0]), [&](const SaveJob&) { done = true; }));
  EXPECT_TRUE(scheduler.singleSaveRunning()) << "the flag is up before the thread runs";
  EXPECT_FALSE(scheduler.startSingleSave(std::move(jobs[1])));
  EXPECT_TRUE(jobs[1].device) << "a refused job is left as it was";
  gate.release();
  scheduler.wait();
  EXPECT_TRUE(done.load() && !scheduler.singleSaveRunning());
  EXPECT_EQ(readFile(b.dir.file("f0")), b.expected(0));
  EXPECT_EQ(b.progress.position(), 100u) << "a single save reports in percent of the file";

  Batch twelve(12);
  Gate first, other;
  ASSERT_TRUE(scheduler.startBatch(twelve.jobs(first, 1), twelve.progress));
  EXPECT_FALSE(scheduler.startBatch(twelve.jobs(other, 1), twelve.progress));
  EXPECT_EQ(scheduler.saveQueue().size(), 12u);
  first.release();
  scheduler.wait();
  for (size_t i = 0; i < 12; ++i) EXPECT_EQ(readFile(twelve.dir.file(format("f%zu", i))), twelve.expected(i));
  other.release();
  ASSERT_TRUE(scheduler.startBatch(twelve.jobs(other, 1), twelve.progress));
  scheduler.wait();
  EXPECT_EQ(readFile(twelve.dir.file("f3" "0")), twelve.expected(3)) << "f3 existed, so the second copy is f30";

  Batch c(3);
  Gate open;
  std::vector<SaveJob> more = c.jobs(open, 0);
  ASSERT_TRUE(scheduler.startSingleSave(std::move(more[0])));
  more.erase(more.begin());
  ProgressBlock batchProgress;
  for (SaveJob& j : more) j.progress = &batchProgress;
  ASSERT_TRUE(scheduler.startBatch(std::move(more), batchProgress));
  open.release();
  scheduler.wait();
  for (size_t i = 0; i < 3; ++i) EXPECT_EQ(readFile(c.dir.file(format("f%zu", i))), c.expected(i));
}

}  // namespace
}  // namespace dudorazu
