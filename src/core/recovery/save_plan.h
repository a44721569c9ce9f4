#pragma once
// The plan of a batch save, one for every front end: what the batch will
// write, the room test, one job per record, and the totals once it ran.
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "core/common/messages.h"
#include "core/device/disk_record.h"
#include "core/recovery/save_scheduler.h"

namespace dudorazu {

// A record the front end holds, with the disk it is read from and the
// loaded volume it belongs to (which names its partition).
struct LocatedRecord {
  DiskRecord* disk = nullptr;
  LoadedVolume* volume = nullptr;
  ExfatFileRecord* record = nullptr;  // null: nothing to save
};

// One record of a batch and the folder it is saved into.
struct PlannedRecord {
  LocatedRecord found;
  std::string destination;
  uint64_t rowId = 0;
};

inline constexpr const char* kTargetOnSource = "目标文件夹位于正在恢复的分区上，请选择其他磁盘";

// True (after showing kTargetOnSource) when the folder of a record lies on
// the volume the record is read from: every folder and file saved there
// could overwrite the clusters being recovered. Every save start asks this
// before a job is made, so before any folder is.
bool refuseTargetOnSource(const std::vector<PlannedRecord>& records, MessageSink& messages);

// A job for `found` with its own read-only device; none when the record is
// missing or the disk cannot be opened (the row is dropped silently).
std::optional<SaveJob> prepareSaveJob(const LocatedRecord& found, const std::string& destination);

// The bytes a save of `record`'s subtree is planned to write, the total of
// every room test: only folders are descended, as the save does; only files
// the jobs' filter takes count, each as far as the volume reaches (a length
// recorded beyond the volume cannot be written, and must not refuse a save
// for room it will never use). Saturates instead of wrapping. 0 for null.
uint64_t plannedBytes(const ExfatFileRecord* record, const LoadedVolume* volume, const SaveJobOptions& options);

struct SavePlan {
  uint64_t total = 0;           // of every record found
  uint64_t step = 0;            // batchStepFor(total)
  bool refused = false;         // too little room: the message was shown, no job made
  std::vector<SaveJob> jobs;    // in the order of the records, not yet started
  std::vector<size_t> dropped;  // records (by index) not found or whose disk would not open
};

// Refuses a target on the source (refuseTargetOnSource), totals `records`,
// tests the room when `freeBytes` is given (a total equal to the free bytes
// fits) and makes one job per record with the step, its
// row id, `progress` and `options`. Each disk is opened once here to try
// it; a job opens its own only when it starts.
SavePlan planBatchSave(const std::vector<PlannedRecord>& records, std::optional<uint64_t> freeBytes,
                       const SaveJobOptions& options, ProgressBlock& progress, MessageSink& messages);

// What the jobs of a batch did, summed once they ran. Saturates.
SaveTotals sumTotals(const std::deque<SaveJob>& jobs);

}  // namespace dudorazu
