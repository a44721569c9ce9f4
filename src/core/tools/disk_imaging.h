#pragma once
// Disk imaging: a disk or partition copied sector for sector into an image
// file or onto another disk or partition, going on past unreadable sectors.
// The image file is a raw copy: byte k is byte (copy start + k) of the
// source; an unreadable sector is present as 512 bytes of 0x20.
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/common/messages.h"
#include "core/common/progress_block.h"
#include "core/tools/imaging_endpoint.h"
#include "core/tools/rescue_passes.h"

namespace dudorazu {

inline constexpr size_t kImagingBlock = 1048576;
// Past this many the bad-sector list stops growing; the count goes on.
inline constexpr size_t kMaxListedBadSectors = 1u << 20;

using ImagingWaits = RescueWaits;

struct ImagingJob {
  ImagingEndpoint source;
  uint64_t sourceStartSector = 0;  // moves the window forward and shortens it
  bool toDisk = false;
  ImagingEndpoint target;          // disk mode
  uint64_t targetStartSector = 0;  // disk mode
  std::string targetFile;          // file mode: created anew, unless the copy resumes
  std::string mapfile;             // when set, a ddrescue mapfile is written there
  ImagingWaits waits;
  // How the failing areas are read (see rescue_passes.h).
  int retryPasses = 0;
  bool reverse = false;
  bool scrape = true;
  size_t blockSize = kImagingBlock;
  // Go on from the existing target and `mapfile` instead of starting anew:
  // what the map calls finished is never read again.
  bool resume = false;
  std::shared_ptr<RescueMonitor> monitor;             // polled by a window; may be null
  std::function<void(const RescueSnapshot&)> onPass;  // each pass's start and the end
};

enum class ImagingStatus { Completed, Stopped, SourceNotOpened, TargetNotOpened, Refused, WriteFailed };

struct ImagingOutcome {
  ImagingStatus status = ImagingStatus::Refused;
  uint64_t bytesDone = 0;            // bytes of the window tried and written (read, or filled)
  std::vector<uint64_t> badSectors;  // absolute sector numbers on the source left bad, ascending (capped)
  uint64_t unreadableSectors = 0;    // every sector left bad
  RescueSnapshot summary;            // the map's counts and the run's reads at its end
  bool mapfileSaved = false;
  bool whole() const { return status == ImagingStatus::Completed && summary.counts.unfinished() == 0; }
};

// "第%d个坏扇区" for the row with 1-based ordinal `ordinal`.
std::string badSectorRowText(uint64_t ordinal);

// Bytes the copy covers: the source's length less what the start sector
// skips, so the window ends at the source's end.
uint64_t imagingLength(const ImagingJob& job);

// The bytes the copy reads on the source's device: the source's range less
// what the start sector skips. Nullopt when the start sector names a byte
// past 64 bits.
std::optional<ByteRange> sourceWindow(const ImagingJob& job);
// Where the copy lands on the target's device (0 in an image file), in
// bytes; nullopt when the target's start sector names a byte past 64 bits.
std::optional<uint64_t> targetStartOffset(const ImagingJob& job);

// Sectors the copy covers; a last part of a sector counts as one.
uint64_t imagingSectors(const ImagingJob& job);

// The GNU ddrescue command line that goes on from the mapfile of a copy that
// stopped or met unreadable sectors: the map holds positions on the source
// device, so ddrescue is given the same window and where it lies in the
// target. Empty when the mapfile was not saved or the copy is whole.
std::string ddrescueContinuation(const ImagingJob& job, const ImagingOutcome& outcome);

// True when the job writes onto a disk that has a mounted file system (the
// system's own disk among them): such a disk is never a target.
bool imagingTargetInUse(const ImagingJob& job);

// Why the job must not start, found before anything is opened; empty when
// it may. A file target that is a device (an image "file" written over a
// disk would skip every check a disk target gets), a source that lies wholly
// past its disk's end, a start sector at or past the source's end, a target
// start sector past any device.
std::string imagingJobProblem(const ImagingJob& job);

// When the source partition's table entry claims more than lies on its disk:
// how much is copied and that the copy is incomplete. Empty otherwise.
std::string imagingCutShortText(const ImagingJob& job);

// What a run that ended left undone, for its end message: the unreadable
// sectors filled with the marker pattern, or how much a stop kept and where
// the map of the rest is, and a source cut at its disk's end. Empty for a
// whole, clean copy.
std::string imagingShortfallText(const ImagingJob& job, const ImagingOutcome& outcome);

// Runs the copy in passes (rescue_passes.h). Progress: range = whole 1 MiB
// blocks, position and text (sectors) = what no pass has left to do; the
// cancel flag stops it after the current read (the bar goes back to 0; what
// was written stays, and the map says what is left). Each sector found
// unreadable goes to `onBadSector` (ordinal, sector) as met. A resumed run
// refuses a map it cannot read and an image shorter than what its map
// calls finished.
// Messages: "镜像完毕" at the end of a whole copy; "打开失败" when the source
// or target cannot be opened; "磁盘有坏道，请重新选择目标文件" when a write fails;
// a refusal when the job has an imagingJobProblem, or the target is too
// small, overlaps the source or is in use.
ImagingOutcome imageDisk(const ImagingJob& job, ProgressBlock& progress, MessageSink& messages,
                         const std::function<void(uint64_t ordinal, uint64_t sector)>& onBadSector = {});

}  // namespace dudorazu
