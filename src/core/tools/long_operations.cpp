#include "core/tools/long_operations.h"

#include "core/exfat/lost_file_scan.h"
#include "core/exfat/tree_loader.h"
#include "core/present/statistics.h"
#include "core/recovery/assess_recoverability.h"
#include "core/exfat/subtree_tally.h"
#include "core/tools/upcase_scans.h"

namespace dudorazu {

LongOperation treeLoadOperation(DiskRecord& disk, LoadedVolume& volume) {
  return {kTitleExpandPartition, nullptr, false, [&disk, &volume](ProgressBlock& progress, MessageSink&, Questions&) {
            const bool loaded = loadVolumeTree(disk, volume, progress);
            assessRecoverability(volume);
            return loaded;
          }};
}

LongOperation lostFileScanOperation(DiskRecord& disk, LoadedVolume& volume) {
  return {kTitleLostFileScan, nullptr, false, [&disk, &volume](ProgressBlock& progress, MessageSink&, Questions&) {
            const bool scanned = scanLostFiles(disk, volume, progress);
            assessRecoverability(volume);
            return scanned;
          }};
}

LongOperation searchOperation(DiskRecord& disk, SearchMode mode, uint8_t heads, FoundVolumeCallback onFound) {
  return {kTitleSearch, nullptr, true,
          [&disk, mode, heads, onFound = std::move(onFound)](ProgressBlock& progress, MessageSink&, Questions&) {
            return searchPartitions(disk, mode, heads, progress, onFound) && !progress.cancelled();
          }};
}

LongOperation upcaseScanOperation(const DiskRecord& disk, const PartitionRecord* partition, uint64_t& sector) {
  return {partition ? kTitlePartitionScan : kTitleWholeDiskScan, nullptr, true,
          [&disk, partition, &sector](ProgressBlock& progress, MessageSink&, Questions&) {
            return partition ? scanPartition(disk, *partition, progress, &sector)
                             : scanWholeDisk(disk, progress, &sector);
          }};
}

LongOperation batchSaveOperation(SaveScheduler& scheduler, std::vector<SaveJob> jobs, bool dryRun) {
  // A std::function is copied; the jobs are handed over once.
  auto pending = std::make_shared<std::vector<SaveJob>>(std::move(jobs));
  return {dryRun ? kTitleCheckingSave : kTitleSaving, nullptr, true,
          [&scheduler, pending](ProgressBlock& progress, MessageSink&, Questions&) {
            progress.setRange(100, 1);
            bool started = scheduler.startBatch(std::move(*pending), progress);
            scheduler.wait();
            return started;
          }};
}

LongOperation imagingOperation(const ImagingJob& job, ImagingOutcome& outcome,
                               std::function<void(uint64_t ordinal, uint64_t sector)> onBadSector) {
  return {kTitleImaging, nullptr, true,
          [&job, &outcome, onBadSector = std::move(onBadSector)](ProgressBlock& progress, MessageSink& messages,
                                                                 Questions&) {
            outcome = imageDisk(job, progress, messages, onBadSector);
            return outcome.status == ImagingStatus::Completed;
          }};
}

LongOperation statisticsOperation(bool selected, const ExfatFileRecord* record, std::optional<std::string>& text) {
  return {"", nullptr, false, [selected, record, &text](ProgressBlock&, MessageSink&, Questions&) {
            text = statisticsForRow(selected, record);
            return text.has_value();
          }};
}

LongOperation recordSearchOperation(std::vector<ExfatFileRecord*> roots, SearchCriteria criteria,
                                    std::vector<ExfatFileRecord*>& hits) {
  return {"", nullptr, false,
          [roots = std::move(roots), criteria = std::move(criteria), &hits](ProgressBlock&, MessageSink&, Questions&) {
            for (ExfatFileRecord* root : roots) {
              std::vector<ExfatFileRecord*> found = searchRecords(*root, criteria);
              hits.insert(hits.end(), found.begin(), found.end());
            }
            return true;
          }};
}

}  // namespace dudorazu
