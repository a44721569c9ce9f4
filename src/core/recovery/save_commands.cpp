#include "core/recovery/save_commands.h"

#include <cinttypes>

#include "core/common/text.h"
#include "core/exfat/subtree_tally.h"
#include "core/recovery/save_plan.h"

namespace dudorazu {

bool refuseSingleSave(const SaveScheduler& scheduler, SaveOrigin origin, bool rowSelected, MessageSink& messages) {
  if (scheduler.singleSaveRunning()) {
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
  if (!scheduler.batchSaveRunning()) return false;
  messages.show(kWaitForOperation, origin == SaveOrigin::LeftPane ? kApplicationTitle : kCaptionError);
  return true;
}

bool refuseEmptyDestination(const std::string& destination, MessageSink& messages) {
  if (!destination.empty()) return false;
  messages.show(kChooseDestination, kCaptionError);
  return true;
}

SaveStart startSingleSave(SaveScheduler& scheduler, DiskCatalogue& catalogue, const PaneKeys& keys,
                          const CheckRow& row, const std::string& destination, uint64_t freeBytes,
                          ProgressBlock& progress, MessageSink& messages, SaveJobOptions options,
                          SaveScheduler::JobDone onDone) {
  LocatedRecord found = locateRecordIn(catalogue, keys.diskKey, keys.partitionKey, row.fileNumber, row.name,
                                       row.createdText);
  std::optional<SaveJob> job = prepareSaveJob(found, destination);
  if (!job) return SaveStart::Nothing;
  if (refuseSingleSaveForRoom(tallySubtree(found.record).bytes, freeBytes, messages)) return SaveStart::Refused;
  job->closeProgressWhenDone = true;
  job->rowId = row.rowId;
  job->progress = &progress;
  job->options = std::move(options);
  progress.clearCancel();
  return scheduler.startSingleSave(std::move(*job), std::move(onDone)) ? SaveStart::Started : SaveStart::Refused;
}

BatchStart startBatchSave(SaveScheduler& scheduler, DiskCatalogue& catalogue,
                          const std::vector<SaveRequest>& requests, uint64_t freeBytes, ProgressBlock& progress,
                          MessageSink& messages, const SaveJobOptions& options, SaveScheduler::JobDone onJobDone,
                          SaveScheduler::BatchDone onBatchDone) {
  BatchStart start;
  if (requests.empty()) return start;
  std::vector<PlannedRecord> records;
  for (const SaveRequest& r : requests)
    records.push_back({locateRecordIn(catalogue, r.diskKey, r.partitionKey, r.fileNumber, r.name, r.createdText),
                       r.destination, r.rowId});
  SavePlan plan = planBatchSave(records, freeBytes, RoomRule::RecordedLength, options, progress, messages);
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
