#pragma once
// Every long operation of the program in its one shape (see
// core/common/long_operation.h): what it runs and under which title. The
// front end sets the marker it keeps for the operation's kind (the left
// pane's loading mark and busy counter for tree loads and scans, the
// process-wide search, scan, imaging and statistics markers) and runs it.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/common/long_operation.h"
#include "core/device/disk_record.h"
#include "core/recovery/record_search.h"
#include "core/recovery/save_scheduler.h"
#include "core/tools/disk_imaging.h"
#include "core/tools/partition_search.h"

namespace dudorazu {

// The partition's folder tree (loadVolumeTree), each record's
// recoverability assessed (assessRecoverability).
LongOperation treeLoadOperation(DiskRecord& disk, LoadedVolume& volume);
// The lost-file scan (scanLostFiles), assessed the same way.
LongOperation lostFileScanOperation(DiskRecord& disk, LoadedVolume& volume);
// The search for lost volumes; true only when it ran to the disk's end.
LongOperation searchOperation(DiskRecord& disk, SearchMode mode, uint8_t heads, FoundVolumeCallback onFound);
// The up-case table scan of a partition, or of the whole disk when
// `partition` is null; true when a table was found (its sector in `sector`).
LongOperation upcaseScanOperation(const DiskRecord& disk, const PartitionRecord* partition, uint64_t& sector);
// A batch save of `jobs` on `scheduler`, the bar at 0..100; returns when
// every job has ended. True when the batch started.
LongOperation batchSaveOperation(SaveScheduler& scheduler, std::vector<SaveJob> jobs, bool dryRun);
// Imaging; the outcome lands in `outcome`. True when the copy completed.
LongOperation imagingOperation(const ImagingJob& job, ImagingOutcome& outcome,
                               std::function<void(uint64_t ordinal, uint64_t sector)> onBadSector);
// The statistics text of a pane's row into `text` (statisticsForRow: the
// empty count when no row is `selected`, none for a row without a record).
LongOperation statisticsOperation(bool selected, const ExfatFileRecord* record, std::optional<std::string>& text);
// The loaded records below `roots` that match `criteria`, into `hits`.
LongOperation recordSearchOperation(std::vector<ExfatFileRecord*> roots, SearchCriteria criteria,
                                    std::vector<ExfatFileRecord*>& hits);

}  // namespace dudorazu
