#pragma once
// Copies records of an exFAT volume, with everything below them, out of the
// raw device into a target folder. Deleted records are saved like live ones.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/common/progress_block.h"
#include "platform/sector_device.h"
#include "core/exfat/exfat_file_record.h"
#include "core/partitions/partition_record.h"
#include "core/recovery/batch_counters.h"
#include "core/recovery/data_runs.h"
#include "core/recovery/name_repair.h"
#include "core/recovery/output_file.h"

namespace dudorazu {

// What became of one file that a save reached.
struct SavedFile {
  const ExfatFileRecord* record = nullptr;
  std::string outputPath;   // the file written (planned, in a dry run)
  bool created = false;     // an output file exists for it
  bool failed = false;      // not created, or a write to it failed
  bool cancelled = false;   // the save was cancelled while it was written
  bool partial = false;     // failed or cancelled midway: outputPath ends in ".partial"
  bool damaged = false;     // some runs could not be read and hold zeros, or beyondVolume
  bool beyondVolume = false;// the length is more than the volume can hold; saved up to the heap's end
  bool shortened = false;   // the data ended before dataLength bytes
  bool guessed = false;     // clusters after the chain's end taken from the free ones
  bool decodedGuess = false;  // of them, those where its JPEG data decodes on (not the next in order)
  // Bytes of a deleted file read from clusters that are in use now (by the
  // allocation bitmap or the live tree): another file's, or likely so.
  uint64_t overwrittenBytes = 0;
  // Bytes of the record in clusters known to be unreadable before the save
  // (read errors met by the load or scan, areas an imaging run did not
  // finish): what the device gives there is not the file's, even where it
  // reads. Sets `damaged`.
  uint64_t damagedBeforeBytes = 0;
  // The record's bytes at risk as assessed (bytesAtRisk).
  uint64_t bytesAtRisk = 0;
  uint64_t bytesWritten = 0;
  std::vector<DataRun> runs;        // with SaveContext::collectRuns
  std::vector<DataRun> unreadable;  // runs written as zeros
  std::string sha256;               // hex, with SaveContext::hashData
};

struct SaveTotals {
  uint64_t files = 0;      // output files made and written to their end
  uint64_t bytes = 0;      // bytes written (or planned in a dry run)
  uint64_t failed = 0;
  uint64_t damaged = 0;
  uint64_t shortened = 0;
  uint64_t cancelled = 0;
  uint64_t guessed = 0;
  uint64_t overwritten = 0;
};

// Everything a save needs besides the record and the destination. One per
// job; only `batch` and `names` are shared between the jobs of a batch.
struct SaveContext {
  SectorDevice* device = nullptr;
  const LoadedVolume* volume = nullptr;
  ProgressBlock* progress = nullptr;
  // 0: per-file progress (percent of the file). Otherwise bytes per step of
  // the batch bar, counted in `batch`.
  uint64_t batchStep = 0;
  BatchCounters* batch = nullptr;
  NameOptions nameOptions = saveNameOptions();
  SaveNamespace* names = nullptr;  // null: the save keeps its own
  // Files it rejects are passed over; folders then come into being only
  // when something below them is saved.
  std::function<bool(const ExfatFileRecord&)> fileFilter;
  bool dryRun = false;       // plan names and runs, read and write nothing
  bool collectRuns = false;  // fill SavedFile::runs
  bool hashData = false;     // fill SavedFile::sha256
  bool keepTimes = true;     // give files and folders made their record's time
  // Deleted files whose chain ends early go on through the free clusters
  // that follow (see DataRunWalker); off: the chain alone.
  bool guessFreeClusters = true;
  // Called once per file reached (in the thread running the save).
  std::function<void(const SavedFile&)> onFile;
  // Called once per folder made (planned, in a dry run) without a file
  // filter: empty folders are recreated too.
  std::function<void(const std::string&)> onFolder;

  SaveTotals totals;
  std::vector<uint8_t> buffer;  // reused from run to run
};

// Reads of a run that keep failing are tried this many times before the
// run is read piece by piece and what stays unreadable becomes zeros.
inline constexpr int kReadAttempts = 3;
inline constexpr size_t kSalvageBytes = 64 * 1024;

// Saves `record` and its subtree below `destination` ("/" separated, no
// trailing slash). Folders are rebuilt by name; empty ones too, unless a file
// filter is set: then a folder comes into being only with its first file.
// Stops before the next record once cancelled.
void saveNode(SaveContext& context, const std::string& destination, const ExfatFileRecord* record);

// Where saveFileData puts a file: `name` in the folder held by `folder`,
// shown under `folderPath`. No folder: the one it belongs in could not be
// made, and the file is reported as not created.
struct OutputPlace {
  const platform::FolderHandle* folder = nullptr;
  std::string_view folderPath;
  std::string_view name;
  std::string path() const { return std::string(folderPath) + "/" + std::string(name); }
};

// Copies one file's data to a new file at `place` (or a derived name); an
// empty file is created empty. True when the file was written to its end;
// false when it could not be created, a write failed, or the save was
// cancelled (a file left partial is renamed to end in ".partial").
bool saveFileData(SaveContext& context, const OutputPlace& place, const ExfatFileRecord& record);
// The same at a path; missing folders above it are made.
bool saveFileData(SaveContext& context, const std::string& outputPath, const ExfatFileRecord& record);

}  // namespace dudorazu
