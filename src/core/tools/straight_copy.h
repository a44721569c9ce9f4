#pragma once
// The fast path of imaging: whole blocks read and written straight through,
// one after the other as dd does, on a thread of its own. The caller only
// watches the clock: an operation that outlives its bound is left behind
// (it never touches anything shared again when it returns) and the copy
// goes on without it.
#include <chrono>
#include <cstdint>
#include <memory>

#include "core/common/progress_block.h"
#include "platform/sector_device.h"

namespace dudorazu {

struct StraightRun {
  enum class End { Finished, ShortRead, ReadHung, WriteFailed, WriteHung, Stopped };
  End end = End::Finished;
  uint64_t areasDone = 0;   // areas written, from the first one of the run
  uint64_t stoppedAt = 0;   // the area the run ended on (short, hung or failed)
};

class StraightCopy {
 public:
  // Area k covers bytes [k * blockSize, min((k + 1) * blockSize, length))
  // of the window, read at sourceBase + that and written at targetBase + that.
  StraightCopy(std::shared_ptr<SectorDevice> source, std::shared_ptr<SectorDevice> target, uint64_t sourceBase,
               uint64_t targetBase, uint64_t length, size_t blockSize)
      : source_(std::move(source)), target_(std::move(target)), sourceBase_(sourceBase), targetBase_(targetBase),
        length_(length), blockSize_(blockSize) {}

  // Copies from area `first` on until the end, a read that comes back
  // short, a failed write, an operation past its bound, or a stop. Each
  // whole block written steps `progress`.
  StraightRun run(uint64_t first, ProgressBlock& progress, std::chrono::milliseconds readLimit,
                  std::chrono::milliseconds writeLimit);

 private:
  std::shared_ptr<SectorDevice> source_, target_;
  uint64_t sourceBase_, targetBase_, length_;
  size_t blockSize_;
};

}  // namespace dudorazu
