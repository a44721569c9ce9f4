#include "core/recovery/save_plan.h"

#include <map>
#include <set>
#include <tuple>

#include "core/common/tree_walk.h"
#include "core/device/command_paths.h"
#include "core/device/open_device.h"
#include "core/exfat/subtree_tally.h"
#include "core/recovery/save_room.h"

namespace dudorazu {
namespace {

uint64_t saturatingAdd(uint64_t a, uint64_t b) { return a + b < a ? UINT64_MAX : a + b; }

}  // namespace

bool refuseTargetOnSource(const std::vector<PlannedRecord>& records, MessageSink& messages) {
  // A batch names one folder and one volume for thousands of rows; each
  // pair is asked once.
  std::set<std::tuple<std::string, std::string, uint64_t, uint64_t>> asked;
  for (const PlannedRecord& r : records) {
    if (!r.found.disk || !r.found.volume) continue;
    const CommandPath source = partitionInput(r.found.disk->devicePath, r.found.volume->partition, "SOURCE");
    if (!asked.emplace(r.destination, source.path, source.bytes.start(), source.bytes.length()).second) continue;
    if (folderOnSource(r.destination, source)) {
      messages.show(kTargetOnSource, kCaptionError);
      return true;
    }
  }
  return false;
}

std::optional<SaveJob> prepareSaveJob(const LocatedRecord& found, const std::string& destination) {
  if (!found.record || !found.volume || !found.disk) return std::nullopt;
  SaveJob job;
  job.device = openDevice(found.disk->devicePath, OpenMode::Read);
  if (!job.device) return std::nullopt;
  job.destination = destination;
  job.record = found.record;
  job.volume = found.volume;
  job.skip = 0;
  return job;
}

uint64_t plannedBytes(const ExfatFileRecord* record, const LoadedVolume* volume, const SaveJobOptions& options) {
  if (!volume || !record) return subtreeBytes(record);
  uint64_t total = 0;
  walkTree(*record, [&](const ExfatFileRecord& r, size_t) {
    if (r.isFolder()) return WalkStep::Descend;
    if (r.isFile() && (!options.fileFilter || options.fileFilter(r)))
      total = saturatingAdd(total, reachableLength(r, *volume));
    return WalkStep::Skip;
  });
  return total;
}

SavePlan planBatchSave(const std::vector<PlannedRecord>& records, std::optional<uint64_t> freeBytes,
                       const SaveJobOptions& options, ProgressBlock& progress, MessageSink& messages) {
  SavePlan plan;
  if (refuseTargetOnSource(records, messages)) {
    plan.refused = true;
    return plan;
  }
  for (const PlannedRecord& r : records)
    plan.total = saturatingAdd(plan.total, plannedBytes(r.found.record, r.found.volume, options));
  if (freeBytes && refuseBatchForRoom(plan.total, *freeBytes, messages)) {
    plan.refused = true;
    return plan;
  }
  plan.step = batchStepFor(plan.total);
  // Each disk is tried once here; a job opens its own when it starts.
  std::map<std::string, bool> opens;
  auto opensFine = [&opens](const std::string& path) {
    auto it = opens.find(path);
    if (it == opens.end()) it = opens.emplace(path, openDevice(path, OpenMode::Read) != nullptr).first;
    return it->second;
  };
  for (size_t i = 0; i < records.size(); ++i) {
    const LocatedRecord& found = records[i].found;
    if (!found.record || !found.volume || !found.disk || !opensFine(found.disk->devicePath)) {
      plan.dropped.push_back(i);
      continue;
    }
    SaveJob& job = plan.jobs.emplace_back();
    job.devicePath = found.disk->devicePath;
    job.destination = records[i].destination;
    job.record = found.record;
    job.volume = found.volume;
    job.skip = 0;
    job.started = false;
    job.batchStep = plan.step;
    job.rowId = records[i].rowId;
    job.progress = &progress;
    job.options = options;
  }
  return plan;
}

SaveTotals sumTotals(const std::deque<SaveJob>& jobs) {
  SaveTotals sum;
  for (const SaveJob& job : jobs) {
    const SaveTotals& t = job.totals;
    sum.files = saturatingAdd(sum.files, t.files);
    sum.bytes = saturatingAdd(sum.bytes, t.bytes);
    sum.failed = saturatingAdd(sum.failed, t.failed);
    sum.damaged = saturatingAdd(sum.damaged, t.damaged);
    sum.shortened = saturatingAdd(sum.shortened, t.shortened);
    sum.cancelled = saturatingAdd(sum.cancelled, t.cancelled);
    sum.guessed = saturatingAdd(sum.guessed, t.guessed);
    sum.overwritten = saturatingAdd(sum.overwritten, t.overwritten);
  }
  return sum;
}

}  // namespace dudorazu
