#include "core/recovery/save_scheduler.h"

#include "core/common/tree_walk.h"
#include "core/device/open_device.h"

namespace dudorazu {
namespace {

// The files a job would have saved, each a failure when its disk would not open.
uint64_t filesBelow(const ExfatFileRecord* record, const SaveJobOptions& options) {
  uint64_t files = 0;
  if (record)
    walkTree(*record, [&](const ExfatFileRecord& r, size_t) {
      if (r.isFolder()) return WalkStep::Descend;
      if (r.isFile() && (!options.fileFilter || options.fileFilter(r))) ++files;
      return WalkStep::Skip;
    });
  return files;
}

}  // namespace

SaveScheduler::~SaveScheduler() {
  wait();
  std::vector<Worker> left;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    left.swap(workers_);
  }
  for (Worker& w : left)
    if (w.thread.joinable()) {
      if (w.thread.get_id() == std::this_thread::get_id()) w.thread.detach();
      else w.thread.join();
    }
}

size_t SaveScheduler::runningBatchThreads() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return runningBatchThreads_;
}

void SaveScheduler::runJob(SaveJob& job, SaveNamespace* sharedNames) {
  if (job.skip != 0 || !job.volume) return;
  if (!job.device && !job.devicePath.empty()) job.device = openDevice(job.devicePath, OpenMode::Read);
  if (!job.device) {
    // Unplugged since the batch was planned: nothing below is saved, and the
    // job says so instead of passing for one that saved all.
    job.totals.failed = filesBelow(job.record, job.options);
    return;
  }
  SaveContext context;
  context.device = job.device.get();
  context.volume = job.volume;
  context.progress = job.progress;
  context.batchStep = job.batchStep;
  context.batch = &counters_;
  context.fileFilter = job.options.fileFilter;
  context.dryRun = job.options.dryRun;
  context.collectRuns = job.options.collectRuns;
  context.hashData = job.options.hashData;
  context.keepTimes = job.options.keepTimes;
  context.guessFreeClusters = job.options.guessFreeClusters;
  context.onFile = job.options.onFile;
  context.onFolder = job.options.onFolder;
  SaveNamespace ownNames;
  context.names = sharedNames ? sharedNames : &ownNames;
  saveNode(context, job.destination, job.record);
  job.totals = context.totals;
}

// Threads are joined once they have said they are past their last use of
// the scheduler, so a callback may start the next batch without joining its
// own thread.
void SaveScheduler::reapExited() {
  for (auto it = workers_.begin(); it != workers_.end();) {
    if (it->exited->load()) {
      it->thread.join();
      it = workers_.erase(it);
    } else {
      ++it;
    }
  }
}

bool SaveScheduler::startSingleSave(SaveJob&& job, JobDone onDone) {
  std::lock_guard<std::mutex> lock(mutex_);
  // The flag is set here, before the thread exists, so a second command
  // arriving before the thread begins is refused too.
  if (singleSaveRunning_.exchange(true)) return false;
  reapExited();
  singleJob_ = std::move(job);
  singleJob_.batchStep = 0;
  singleJob_.started = true;
  auto exited = std::make_shared<std::atomic<bool>>(false);
  workers_.push_back({std::thread([this, onDone, exited] {
                        runJob(singleJob_, nullptr);
                        singleJob_.device.reset();
                        if (onDone) onDone(singleJob_);
                        {
                          std::lock_guard<std::mutex> lock(mutex_);
                          singleSaveRunning_ = false;
                        }
                        idle_.notify_all();
                        exited->store(true);
                      }),
                      exited});
  return true;
}

bool SaveScheduler::startBatch(std::vector<SaveJob>&& jobs, ProgressBlock& progress, JobDone onJobDone,
                               BatchDone onBatchDone) {
  std::vector<std::pair<uint32_t, SaveJob*>> first;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (batchSaveRunning_) return false;
    reapExited();
    batchSaveRunning_ = true;
    saveQueue_.clear();
    for (SaveJob& j : jobs) {
      j.started = false;
      saveQueue_.push_back(std::move(j));
    }
    jobs.clear();
    batchProgress_ = &progress;
    onJobDone_ = std::move(onJobDone);
    onBatchDone_ = std::move(onBatchDone);
    counters_.reset();
    batchNames_ = std::make_unique<SaveNamespace>();
    for (nextJob_ = 0; nextJob_ < saveQueue_.size() && first.size() < kMaxRunningJobs; ++nextJob_) {
      SaveJob& j = saveQueue_[nextJob_];
      j.slot = static_cast<uint32_t>(first.size());
      j.started = true;
      first.emplace_back(j.slot, &j);
    }
    runningBatchThreads_ = first.size();
    if (first.empty()) batchSaveRunning_ = false;
    for (auto& [slot, job] : first) {
      auto exited = std::make_shared<std::atomic<bool>>(false);
      workers_.push_back({std::thread(&SaveScheduler::batchSlot, this, slot, job, exited), exited});
    }
  }
  if (first.empty()) {
    idle_.notify_all();
    if (onBatchDone) onBatchDone();
  }
  return true;
}

void SaveScheduler::batchSlot(uint32_t slot, SaveJob* job, std::shared_ptr<std::atomic<bool>> exited) {
  while (job) {
    runJob(*job, batchNames_.get());
    // The next job of this slot on the same disk reads through this device:
    // a batch of single files opens its disk per slot, not per file.
    std::unique_ptr<SectorDevice> spare = std::move(job->device);
    if (onJobDone_) onJobDone_(*job);
    SaveJob* next = nullptr;
    BatchDone batchEnded;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      // From where the last start left off: a batch of a million jobs is
      // not searched from its head a million times.
      if (!batchProgress_->cancelled() && nextJob_ < saveQueue_.size()) {
        next = &saveQueue_[nextJob_++];
        next->started = true;
        next->slot = slot;
        if (!next->device && !next->devicePath.empty() && next->devicePath == job->devicePath)
          next->device = std::move(spare);
      }
      if (!next) {
        --runningBatchThreads_;
        if (runningBatchThreads_ == 0) {
          batchSaveRunning_ = false;
          // Taken under the lock: once the flag is down a new batch may
          // replace the callbacks.
          batchEnded = onBatchDone_ ? onBatchDone_ : [] {};
          ++endingBatches_;
        }
      }
    }
    if (batchEnded) {
      batchEnded();
      {
        std::lock_guard<std::mutex> lock(mutex_);
        --endingBatches_;
      }
      idle_.notify_all();
    }
    job = next;
  }
  exited->store(true);
}

void SaveScheduler::wait() {
  std::unique_lock<std::mutex> lock(mutex_);
  idle_.wait(lock, [this] { return !singleSaveRunning_ && !batchSaveRunning_ && endingBatches_ == 0; });
}

}  // namespace dudorazu
