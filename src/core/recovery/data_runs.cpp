#include "core/recovery/data_runs.h"

#include <algorithm>
#include <bit>

namespace dudorazu {
namespace {

// Above this many separate pieces the interval map would cost more than
// one bit per FAT entry.
constexpr size_t kMaxIntervals = 4096;

constexpr uint32_t kFat32EndMark = 0x0FFFFFFF;

// In use now: held by the live tree, or, with `bitmap`, marked in the
// allocation bitmap.
bool inUse(const LoadedVolume& p, uint64_t c, bool bitmap) {
  if (c >= (1ull << 32)) return false;
  return bitmap ? p.clusterInUse(static_cast<uint32_t>(c)) : p.clusterLive(static_cast<uint32_t>(c));
}

// Clusters in use among [first, end), eight at a time where the maps allow.
uint64_t countInUse(const LoadedVolume& p, uint64_t first, uint64_t end, bool bitmap) {
  end = std::min(end, p.heapEnd());
  uint64_t n = 0, c = std::max<uint64_t>(first, 2);
  for (; c < end && (c - 2) % 8 != 0; ++c) n += inUse(p, c, bitmap);
  for (; c + 8 <= end; c += 8) {
    const uint64_t i = (c - 2) / 8;
    uint8_t b = bitmap && i < p.allocationBitmap.size() ? p.allocationBitmap[i] : 0;
    if (i < p.liveClusters.size()) b |= p.liveClusters[i];
    n += std::popcount(b);
  }
  for (; c < end; ++c) n += inUse(p, c, bitmap);
  return n;
}

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

uint64_t heapCapacityFor(const ExfatFileRecord& record, const LoadedVolume& volume) {
  const uint8_t flags = record.allocationFlags & 3;
  const uint64_t end = volume.heapEnd();
  if ((flags & kAllocationPossible) == 0 || record.firstCluster < 2 || record.firstCluster >= end) return 0;
  const uint64_t clusters = end - (flags & kNoFatChain ? record.firstCluster : 2);
  const uint64_t bytes = volume.clusterBytes();
  return bytes != 0 && clusters > UINT64_MAX / bytes ? UINT64_MAX : clusters * bytes;
}

DataRunWalker::DataRunWalker(const ExfatFileRecord& record, const LoadedVolume& volume,
                             uint64_t maxRunBytes, bool guessFreeClusters)
    : volume_(volume),
      maxRun_(std::max<uint64_t>(maxRunBytes, 1)),
      length_(record.dataLength),
      clusterBytes_(volume.clusterBytes()),
      flags_(record.allocationFlags & 3),
      firstCluster_(record.firstCluster),
      cursor_(record.firstCluster),
      heapEnd_(volume.heapEnd()),
      limit_(reachableLength(record, volume)),
      visited_(volume.fatEntryCount()) {
  // A volume with no cluster size has no clusters at all; data must start
  // at a cluster of the heap.
  if ((flags_ & kAllocationPossible) == 0 || clusterBytes_ == 0 || cursor_ < 2 || cursor_ >= heapEnd_) {
    ended_ = true;
    return;
  }
  beyondVolume_ = length_ > limit_;
  // A driver frees a file's clusters as it deletes it, so a deleted file's
  // cluster that the bitmap marks has been given out again. A live entry
  // outside the live tree is most often in a folder whose own entry was
  // lost, not deleted: the bitmap still marks its clusters for it, and only
  // the live tree tells that another file took them.
  bitmapTells_ = record.isDeleted() && !volume.allocationBitmap.empty();
  released_ = clustersReleased(record) && (bitmapTells_ || !volume.liveClusters.empty());
  canGuess_ = guessFreeClusters && flags_ == kAllocationPossible && clustersReleased(record) &&
              !volume.allocationBitmap.empty();
}

bool DataRunWalker::countsInUse(uint64_t cluster) const { return released_ && inUse(volume_, cluster, bitmapTells_); }

uint64_t DataRunWalker::bytesInUseFrom(uint64_t first, uint64_t offset, uint64_t length) const {
  if (!released_ || length == 0) return 0;
  const uint64_t end = offset + length;
  const uint64_t head = first + offset / clusterBytes_, tail = first + (end - 1) / clusterBytes_;
  if (head == tail) return inUse(volume_, head, bitmapTells_) ? length : 0;
  uint64_t bytes = countInUse(volume_, head + 1, tail, bitmapTells_) * clusterBytes_;
  if (inUse(volume_, head, bitmapTells_)) bytes += clusterBytes_ - offset % clusterBytes_;
  if (inUse(volume_, tail, bitmapTells_)) bytes += end - (tail - first) * clusterBytes_;
  return bytes;
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
    run.deviceOffset = volume_.clusterPosition(static_cast<uint32_t>(c));
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
  run.deviceOffset = volume_.clusterPosition(cursor_) + covered_;
  run.length = std::min(maxRun_, limit_ - covered_);
  inUse_ += bytesInUseFrom(firstCluster_, covered_, run.length);
  covered_ += run.length;
  return run;
}

std::optional<uint32_t> DataRunWalker::follow(uint32_t cluster) const {
  if (cluster >= volume_.fatEntryCount()) return std::nullopt;
  uint32_t next = volume_.fatTable[cluster];
  if (next == kFat32EndMark || next < 2 || next >= volume_.fatEntryCount() || next >= heapEnd_) return std::nullopt;
  return next;
}

std::optional<uint32_t> DataRunWalker::nextFreeCluster(uint32_t cluster) const {
  for (uint64_t c = static_cast<uint64_t>(cluster) + 1; c < heapEnd_; ++c)
    if (canTake(static_cast<uint32_t>(c))) return static_cast<uint32_t>(c);
  return std::nullopt;
}

std::optional<uint32_t> DataRunWalker::continueGuess(uint32_t last) const {
  if (!continuation_) return nextFreeCluster(last);
  std::optional<uint32_t> next = continuation_(*this, last);
  return next && canTake(*next) ? next : std::nullopt;
}

std::optional<DataRun> DataRunWalker::nextChained() {
  uint32_t first = cursor_;
  uint32_t last = first;
  visited_.add(first);
  uint64_t start = volume_.clusterPosition(first);
  uint64_t bytes = clusterBytes_;
  uint64_t remaining = limit_ - covered_;
  while (bytes < remaining) {
    std::optional<uint32_t> next = guessed_ ? continueGuess(last) : follow(last);
    if (!next && canGuess_ && !guessed_) {
      next = continueGuess(last);
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
    if (*next == last + 1 && volume_.clusterPosition(*next) == start + bytes && bytes + clusterBytes_ <= maxRun_) {
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
  inUse_ += bytesInUseFrom(first, 0, run.length);
  covered_ += run.length;
  return run;
}

}  // namespace dudorazu
