#pragma once
// Runs save jobs on worker threads: one single save at a time, and batches
// of which at most ten jobs run at once, each on its own thread with its own
// device. A job that ends hands its slot to the next waiting job.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/recovery/save_engine.h"

namespace dudorazu {

// How a job saves, beyond what it saves (see SaveContext).
struct SaveJobOptions {
  std::function<bool(const ExfatFileRecord&)> fileFilter;
  bool dryRun = false;
  bool collectRuns = false;
  bool hashData = false;
  bool keepTimes = true;
  bool guessFreeClusters = true;
  // Called for every file the job reaches, on the job's thread.
  std::function<void(const SavedFile&)> onFile;
  // Called for every folder made without a file filter, on the job's thread.
  std::function<void(const std::string&)> onFolder;
};

struct SaveJob {
  std::unique_ptr<SectorDevice> device;  // opened for this job alone, read-only
  // Without a device: the path opened read-only when the job starts, so a
  // batch of a million ticked files holds ten devices open, not a million.
  std::string devicePath;
  std::string destination;               // target folder, no trailing "/"
  const ExfatFileRecord* record = nullptr;
  // Owned by whoever loaded it, who waits for the job before releasing it.
  const LoadedVolume* volume = nullptr;
  uint64_t rowId = 0;   // the front end's row, whose check mark goes when the job ends
  int skip = -1;        // -1 while being prepared; a job saves only when 0
  bool closeProgressWhenDone = false;
  bool started = false;
  uint32_t slot = 0;
  uint64_t batchStep = 0;  // 0: per-file progress
  ProgressBlock* progress = nullptr;
  SaveJobOptions options;
  SaveTotals totals;  // filled when the job has run
};

class SaveScheduler {
 public:
  static constexpr size_t kMaxRunningJobs = 10;
  // Both run on the worker thread that ended the job; a GUI hands them to
  // its own thread.
  using JobDone = std::function<void(const SaveJob&)>;
  using BatchDone = std::function<void()>;

  SaveScheduler() = default;
  ~SaveScheduler();  // waits for every job
  SaveScheduler(const SaveScheduler&) = delete;
  SaveScheduler& operator=(const SaveScheduler&) = delete;

  bool singleSaveRunning() const { return singleSaveRunning_.load(); }
  bool batchSaveRunning() const { return batchSaveRunning_.load(); }
  size_t runningBatchThreads() const;

  // Starts one job in per-file progress mode. False, with the job left
  // untouched, while another single save runs. `onDone` runs at its end
  // (the progress window closes there when closeProgressWhenDone is set).
  bool startSingleSave(SaveJob&& job, JobDone onDone = nullptr);

  // Takes the jobs as the new queue and starts the first ten. False, with
  // nothing changed, while a batch runs: a running queue is never emptied.
  // The batch counters start at 0. Once the progress block is cancelled no
  // waiting job starts; the running ones stop at their next test.
  bool startBatch(std::vector<SaveJob>&& jobs, ProgressBlock& progress, JobDone onJobDone = nullptr,
                  BatchDone onBatchDone = nullptr);

  // Blocks until no single save and no batch runs, end callbacks included.
  void wait();

  const BatchCounters& batchCounters() const { return counters_; }
  // The last batch's jobs with their results; read it only once the batch
  // has ended (wait(), or from onBatchDone).
  const std::deque<SaveJob>& saveQueue() const { return saveQueue_; }

 private:
  struct Worker {
    std::thread thread;
    std::shared_ptr<std::atomic<bool>> exited;
  };
  void runJob(SaveJob& job, SaveNamespace* sharedNames);
  void batchSlot(uint32_t slot, SaveJob* job, std::shared_ptr<std::atomic<bool>> exited);
  void reapExited();

  mutable std::mutex mutex_;
  std::condition_variable idle_;
  std::atomic<bool> singleSaveRunning_{false};
  std::atomic<bool> batchSaveRunning_{false};
  size_t runningBatchThreads_ = 0;
  size_t endingBatches_ = 0;  // batches whose end callback still runs
  std::deque<SaveJob> saveQueue_;
  size_t nextJob_ = 0;  // jobs start in order: the first not started
  SaveJob singleJob_;
  ProgressBlock* batchProgress_ = nullptr;
  JobDone onJobDone_;
  BatchDone onBatchDone_;
  BatchCounters counters_;
  std::unique_ptr<SaveNamespace> batchNames_;
  std::vector<Worker> workers_;
};

}  // namespace dudorazu
