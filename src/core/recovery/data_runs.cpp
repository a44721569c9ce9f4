#include "core/recovery/data_runs.h"

#include <algorithm>

namespace dudorazu {
namespace {

// Above this many separate pieces the interval map would cost more than
// one bit per FAT entry.
constexpr size_t kMaxIntervals = 4096;

constexpr uint32_t kFat32EndMark = 0x0FFFFFFF;

}  // namespace

bool VisitedClusters::contains(uint32_t cluster) const {
  if (!bits_.empty()) return cluster < bits_.size() && bits_[cluster];
  auto it = runs_.upper_bound(cluster);
  if (it == runs_.begin()) return false;
  --it;
  return cluster <= it->second;
}

void VisitedClusters::add(uint32_t cluster) {
  if (!bits_.empty()) {
    if (cluster < bits_.size()) bits_[cluster] = true;
    return;
  }
  auto it = runs_.upper_bound(cluster);
  if (it != runs_.begin()) {
    auto prev = std::prev(it);
    if (prev->second + 1 == cluster) {
      prev->second = cluster;
      return;
    }
  }
  runs_.emplace(cluster, cluster);
  if (runs_.size() > kMaxIntervals) {
    bits_.assign(entryCount_, false);
    for (const auto& [first, last] : runs_)
      for (uint64_t c = first; c <= last && c < entryCount_; ++c) bits_[c] = true;
    runs_.clear();
  }
}

uint64_t heapCapacityFor(const ExfatFileRecord& record, const PartitionRecord& partition) {
  const uint8_t flags = record.allocationFlags & 3;
  const uint64_t end = partition.heapEnd();
  if ((flags & kAllocationPossible) == 0 || record.firstCluster < 2 || record.firstCluster >= end) return 0;
  const uint64_t clusters = end - (flags & kNoFatChain ? record.firstCluster : 2);
  const uint64_t bytes = partition.clusterBytes();
  return bytes != 0 && clusters > UINT64_MAX / bytes ? UINT64_MAX : clusters * bytes;
}

DataRunWalker::DataRunWalker(const ExfatFileRecord& record, const PartitionRecord& partition,
                             uint64_t maxRunBytes, bool guessFreeClusters)
    : partition_(partition),
      maxRun_(std::max<uint64_t>(maxRunBytes, 1)),
      length_(record.dataLength),
      clusterBytes_(partition.clusterBytes()),
      flags_(record.allocationFlags & 3),
      cursor_(record.firstCluster),
      heapEnd_(partition.heapEnd()),
      limit_(reachableLength(record, partition)),
      visited_(partition.fatEntryCount()) {
  // A volume with no cluster size has no clusters at all; data must start
  // at a cluster of the heap.
  if ((flags_ & kAllocationPossible) == 0 || clusterBytes_ == 0 || cursor_ < 2 || cursor_ >= heapEnd_) {
    ended_ = true;
    return;
  }
  beyondVolume_ = length_ > limit_;
  canGuess_ = guessFreeClusters && flags_ == kAllocationPossible && record.isDeleted() &&
              !partition.allocationBitmap.empty();
}

void DataRunWalker::useClusters(const std::vector<ClusterRun>& runs, bool guessed) {
  chosen_ = &runs;
  guessed_ = guessed;
}

std::optional<DataRun> DataRunWalker::nextChosen() {
  for (; chosenRun_ < chosen_->size(); ++chosenRun_, chosenDone_ = 0) {
    const ClusterRun& r = (*chosen_)[chosenRun_];
    if (chosenDone_ >= r.count) continue;
    const uint64_t c = uint64_t{r.first} + chosenDone_;
    if (c < 2 || c >= heapEnd_) break;
    const uint64_t clusters = std::min({uint64_t{r.count} - chosenDone_, std::max<uint64_t>(maxRun_ / clusterBytes_, 1),
                                        heapEnd_ - c});
    DataRun run;
    run.fileOffset = covered_;
    run.deviceOffset = partition_.clusterPosition(static_cast<uint32_t>(c));
    run.length = std::min(clusters * clusterBytes_, limit_ - covered_);
    covered_ += run.length;
    chosenDone_ += clusters;
    return run;
  }
  ended_ = true;
  return std::nullopt;
}

std::optional<DataRun> DataRunWalker::next() {
  if (ended_ || covered_ >= limit_) return std::nullopt;
  if (chosen_) return nextChosen();
  return flags_ == (kAllocationPossible | kNoFatChain) ? nextContiguous() : nextChained();
}

std::optional<DataRun> DataRunWalker::nextContiguous() {
  DataRun run;
  run.fileOffset = covered_;
  run.deviceOffset = partition_.clusterPosition(cursor_) + covered_;
  run.length = std::min(maxRun_, limit_ - covered_);
  covered_ += run.length;
  return run;
}

std::optional<uint32_t> DataRunWalker::follow(uint32_t cluster) const {
  if (cluster >= partition_.fatEntryCount()) return std::nullopt;
  uint32_t next = partition_.fatTable[cluster];
  if (next == kFat32EndMark || next < 2 || next >= partition_.fatEntryCount() || next >= heapEnd_) return std::nullopt;
  return next;
}

std::optional<uint32_t> DataRunWalker::nextFree(uint32_t cluster) const {
  for (uint64_t c = static_cast<uint64_t>(cluster) + 1; c < heapEnd_; ++c)
    if (partition_.clusterMarkedFree(static_cast<uint32_t>(c)) && !visited_.contains(static_cast<uint32_t>(c)))
      return static_cast<uint32_t>(c);
  return std::nullopt;
}

std::optional<DataRun> DataRunWalker::nextChained() {
  uint32_t first = cursor_;
  uint32_t last = first;
  visited_.add(first);
  uint64_t start = partition_.clusterPosition(first);
  uint64_t bytes = clusterBytes_;
  uint64_t remaining = limit_ - covered_;
  while (bytes < remaining) {
    std::optional<uint32_t> next = guessed_ ? nextFree(last) : follow(last);
    if (!next && canGuess_ && !guessed_) {
      next = nextFree(last);
      guessed_ = next.has_value();
    }
    if (!next) {
      ended_ = true;
      break;
    }
    if (visited_.contains(*next)) {
      cycle_ = true;
      ended_ = true;
      break;
    }
    // One read may take the next cluster when it lies right behind this
    // one on the device (the sector arithmetic may wrap, so compare
    // positions, not cluster numbers).
    if (*next == last + 1 && partition_.clusterPosition(*next) == start + bytes && bytes + clusterBytes_ <= maxRun_) {
      last = *next;
      visited_.add(last);
      bytes += clusterBytes_;
      continue;
    }
    cursor_ = *next;
    break;
  }
  DataRun run;
  run.fileOffset = covered_;
  run.deviceOffset = start;
  run.length = std::min(bytes, remaining);
  covered_ += run.length;
  return run;
}

}  // namespace dudorazu
