#pragma once
// The fast path of imaging: a stretch read and written straight through in
// large blocks, one after the other as dd does, on a thread of its own. The
// caller only watches the clock: an operation that outlives its bound is
// left behind (it never touches anything shared again when it returns) and
// the copy goes on without it.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <vector>

#include "core/common/byte_range.h"
#include "core/common/progress_block.h"
#include "platform/sector_device.h"

namespace dudorazu {

struct StraightRun {
  // Failed: a read came back short; Slow: a block was copied but its read
  // took longer than the slow limit; Paused: the time budget ran out.
  enum class End { Finished, Failed, ReadHung, Slow, WriteFailed, WriteHung, Stopped, Paused };
  End end = End::Finished;
  // Bytes from the run's starting edge dealt with: read and written, and in
  // sector mode also the sectors that failed (listed in `bad`).
  uint64_t done = 0;
  uint64_t blockStart = 0, blockEnd = 0;  // Failed, ReadHung: the piece that did not read
};

// One stretch read a sector at a time: what is left of it is [a, e). A trim
// reads each edge (the one `forwards` names first) up to its first bad
// sector; otherwise every sector is read, going on past bad ones.
struct SectorTask {
  uint64_t a = 0, e = 0;
  bool forwards = true;
  bool trim = false;
  bool leading = true, trailing = true;  // a trim's edges still to read
};

struct SectorRun {
  StraightRun::End end = StraightRun::End::Finished;  // never Failed or Slow
  std::vector<SectorTask> tasks;  // as far as they got
  size_t tasksDone = 0;           // the tasks before this one are over
  std::vector<ByteRange> bad;     // the sectors that failed, in the order read
  ByteRange hung;                 // ReadHung: the sector that did not come back
};

struct StraightLimits {
  std::chrono::milliseconds read{2000}, write{3000};
  std::chrono::milliseconds slow{0};      // 0: no read counts as slow
  std::chrono::milliseconds budget{250};  // how long one run may go before it pauses
};

class StraightCopy {
 public:
  // Blocks of `blockSize` are aligned on `alignBase`; the byte at source
  // position p lands at target position p - sourceStart + targetStart.
  // Operations left behind are counted in `hanging`; past a few of them the
  // device is taken as dead and reads fail at once.
  StraightCopy(std::shared_ptr<SectorDevice> source, std::shared_ptr<SectorDevice> target, uint64_t sourceStart,
               uint64_t targetStart, size_t blockSize, std::shared_ptr<std::atomic<int>> hanging)
      : source_(std::move(source)), target_(std::move(target)), sourceStart_(sourceStart), targetStart_(targetStart),
        blockSize_(blockSize), hanging_(std::move(hanging)) {}

  // Copies source bytes [from, to) forwards until the end, a read that
  // comes back short (what it gave is kept), a slow read, a failed write,
  // an operation past its bound, a stop or the end of the budget.
  StraightRun run(uint64_t from, uint64_t to, const StraightLimits& limits, const ProgressBlock& progress);

  // Works through `tasks` in order on one thread, so a pass over many small
  // areas costs no hand-over per area, until they are done or as `run` ends.
  SectorRun runSectors(std::vector<SectorTask> tasks, const StraightLimits& limits, const ProgressBlock& progress);

 private:
  std::shared_ptr<SectorDevice> source_, target_;
  uint64_t sourceStart_, targetStart_;
  size_t blockSize_;
  std::shared_ptr<std::atomic<int>> hanging_;
};

// Each hanging operation pins a thread; past this many the device is taken
// as dead and further operations fail without being tried.
inline constexpr int kMaxHangingOperations = 8;

}  // namespace dudorazu
