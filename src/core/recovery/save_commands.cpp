#include "core/recovery/save_commands.h"

#include <cinttypes>

#include "core/common/text.h"
#include "core/recovery/subtree_tally.h"

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

std::optional<SaveJob> prepareSaveJob(const LocatedRecord& found, const std::string& destination) {
  if (!found.record || !found.partition || !found.disk) return std::nullopt;
  SaveJob job;
  job.device = openDevice(found.disk->devicePath, OpenMode::Read);
  if (!job.device) return std::nullopt;
  job.destination = destination;
  job.record = found.record;
  job.partition = found.partition;
  job.skip = 0;
  return job;
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
  start.total = batchTotal(catalogue, requests);
  if (refuseBatchForRoom(start.total, freeBytes, messages)) {
    start.result = SaveStart::Refused;
    return start;
  }
  start.statusText = format("本次保存 %" PRIu64 " Byte", start.total);
  start.step = batchStepFor(start.total);
  std::vector<SaveJob> jobs;
  for (const SaveRequest& r : requests) {
    LocatedRecord found = locateRecordIn(catalogue, r.diskKey, r.partitionKey, r.fileNumber, r.name, r.createdText);
    std::optional<SaveJob> job = prepareSaveJob(found, r.destination);
    if (!job) continue;
    job->started = false;
    job->batchStep = start.step;
    job->rowId = r.rowId;
    job->progress = &progress;
    job->options = options;
    jobs.push_back(std::move(*job));
  }
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
