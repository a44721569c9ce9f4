#pragma once
// The byte counters of a running batch save. Every job of the batch adds
// its pieces here; the addition, the text written from it, the comparison
// with the step and the reset are one step no other job can interleave.
#include <cstdint>
#include <mutex>

#include "core/common/progress_block.h"

namespace dudorazu {

class BatchCounters {
 public:
  // A new batch: savedBytesTotal and bytesSinceStep back to 0.
  void reset();
  // One written piece: adds it to both counters, writes "%llu BYTE被保存"
  // with savedBytesTotal, and steps the bar once when bytesSinceStep
  // reached `step` (then bytesSinceStep starts again at 0).
  void addPiece(uint64_t bytes, uint64_t step, ProgressBlock& progress);
  uint64_t savedBytesTotal() const;
  uint64_t bytesSinceStep() const;

 private:
  mutable std::mutex mutex_;
  uint64_t savedBytesTotal_ = 0;
  uint64_t bytesSinceStep_ = 0;
};

}  // namespace dudorazu
