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
  uint64_t blockStart = 0, blockEnd = 0;  // Failed (block mode), ReadHung: the piece that did not read
  std::vector<ByteRange> bad;             // sector mode: the sectors that failed, in the order read
};

// Block mode reads blocks forwards and keeps what a short read gave. Sector
// mode reads one sector at a time, either way, a short read failing the
// sector; it goes on past failures or stops at the first.
struct StraightMode {
  bool sectors = false;
  bool forwards = true;
  bool pastErrors = false;
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
  StraightRun run(uint64_t from, uint64_t to, const StraightLimits& limits, const ProgressBlock& progress,
                  StraightMode mode = {});

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
