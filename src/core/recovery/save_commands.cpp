#include "core/recovery/save_commands.h"

#include <cinttypes>

#include "core/common/text.h"
#include "core/exfat/subtree_tally.h"
#include "core/recovery/save_plan.h"

namespace dudorazu {

bool refuseSingleSave(const SaveScheduler& scheduler, SaveOrigin origin, bool rowSelected, MessageSink& messages) {
  return refuseSingleSave(scheduler.singleSaveRunning(), origin, rowSelected, messages);
}

bool refuseSingleSave(bool running, SaveOrigin origin, bool rowSelected, MessageSink& messages) {
  if (running) {
    messages.show(origin == SaveOrigin::RightPane ? kWaitForOperation : kWaitForSave, kCaptionError);
    return true;
  }
  if (!rowSelected) {
    messages.show(kChooseFile, kCaptionError);
    return true;
  }
  return false;
}

bool refuseBatchSave(const SaveScheduler& scheduler, SaveOrigin origin, MessageSink& messages) {
  return refuseBatchSave(scheduler.batchSaveRunning(), origin, messages);
}

bool refuseBatchSave(bool running, SaveOrigin origin, MessageSink& messages) {
  if (!running) return false;
  messages.show(kWaitForOperation, origin == SaveOrigin::LeftPane ? kApplicationTitle : kCaptionError);
  return true;
}

bool refuseEmptyDestination(const std::string& destination, MessageSink& messages) {
  if (!destination.empty()) return false;
  messages.show(kChooseDestination, kCaptionError);
  return true;
}

bool freeBytesForSave(const std::string& destination, uint64_t& freeBytes, MessageSink& messages) {
  if (destinationFreeBytes(destination, freeBytes)) return true;
  messages.show(kFreeSpaceUnknown, kApplicationTitle);
  return false;
}

bool jobSucceeded(const SaveJob& job) {
  const SaveTotals& t = job.totals;
  return t.failed == 0 && t.damaged == 0 && t.shortened == 0 && t.cancelled == 0 && t.overwritten == 0 &&
         t.guessed == 0 &&
         !(job.progress && job.progress->cancelled());
}

SaveStart startSingleSave(SaveScheduler& scheduler, const LocatedRecord& found, uint64_t rowId,
                          const std::string& destination, uint64_t freeBytes, ProgressBlock& progress,
                          MessageSink& messages, SaveJobOptions options, SaveScheduler::JobDone onDone) {
  if (refuseTargetOnSource({{found, destination, rowId}}, messages)) return SaveStart::Refused;
  std::optional<SaveJob> job = prepareSaveJob(found, destination);
  if (!job) return SaveStart::Nothing;
  if (refuseSingleSaveForRoom(plannedBytes(found.record, found.volume, options), freeBytes, messages))
    return SaveStart::Refused;
  job->closeProgressWhenDone = true;
  job->rowId = rowId;
  job->progress = &progress;
  job->options = std::move(options);
  progress.clearCancel();
  return scheduler.startSingleSave(std::move(*job), std::move(onDone)) ? SaveStart::Started : SaveStart::Refused;
}

BatchStart startBatchSave(SaveScheduler& scheduler, const std::vector<PlannedRecord>& records, uint64_t freeBytes,
                          ProgressBlock& progress, MessageSink& messages, const SaveJobOptions& options,
                          SaveScheduler::JobDone onJobDone, SaveScheduler::BatchDone onBatchDone) {
  BatchStart start;
  if (records.empty()) return start;
  SavePlan plan = planBatchSave(records, freeBytes, options, progress, messages);
  start.total = plan.total;
  if (plan.refused) {
    start.result = SaveStart::Refused;
    return start;
  }
  start.statusText = format("本次保存 %" PRIu64 " Byte", start.total);
  start.step = plan.step;
  std::vector<SaveJob> jobs = std::move(plan.jobs);
  start.jobs = jobs.size();
  if (jobs.empty()) return start;
  progress.clearCancel();
  progress.setRange(100, 1);
  if (!scheduler.startBatch(std::move(jobs), progress, std::move(onJobDone), std::move(onBatchDone))) {
    messages.show(kWaitForOperation, kCaptionError);
    start.result = SaveStart::Refused;
    return start;
  }
  start.result = SaveStart::Started;
  return start;
}

}  // namespace dudorazu
