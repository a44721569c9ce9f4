#include "core/recovery/batch_counters.h"

#include <string>

namespace dudorazu {

void BatchCounters::reset() {
  std::lock_guard<std::mutex> lock(mutex_);
  savedBytesTotal_ = 0;
  bytesSinceStep_ = 0;
}

void BatchCounters::addPiece(uint64_t bytes, uint64_t step, ProgressBlock& progress) {
  std::lock_guard<std::mutex> lock(mutex_);
  savedBytesTotal_ += bytes;
  bytesSinceStep_ += bytes;
  // Once per file of a batch of small files: no format string to parse each time.
  progress.setText(std::to_string(savedBytesTotal_) + " BYTE被保存");
  if (bytesSinceStep_ >= step) {
    progress.stepIt();
    bytesSinceStep_ = 0;
  }
}

uint64_t BatchCounters::savedBytesTotal() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return savedBytesTotal_;
}

uint64_t BatchCounters::bytesSinceStep() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return bytesSinceStep_;
}

}  // namespace dudorazu
