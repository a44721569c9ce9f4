#include "core/exfat/directory_walk.h"

#include <algorithm>
#include <cstring>

#include "core/exfat/exfat_volume.h"

namespace dudorazu {
namespace {

// Subfolders live at cluster 4 or later: 2 and 3 hold the bitmap and the
// up-case table on every volume the format produces.
constexpr uint32_t kFirstSubfolderCluster = 4;
constexpr uint8_t kFlagsContiguous = 3;
constexpr uint8_t kFlagsFatChain = 1;
constexpr size_t kSmallChain = 16;

}  // namespace

bool DirectoryWalk::ChainGuard::contains(uint32_t c) const {
  if (large_.empty()) return std::find(small_.begin(), small_.end(), c) != small_.end();
  return large_.count(c) != 0;
}

void DirectoryWalk::ChainGuard::add(uint32_t c) {
  if (large_.empty() && small_.size() < kSmallChain) {
    small_.push_back(c);
    return;
  }
  if (large_.empty()) large_.insert(small_.begin(), small_.end());
  large_.insert(c);
}

DirectoryWalk::DirectoryWalk(SectorDevice& device, LoadedVolume& volume, ProgressBlock& progress,
                             uint64_t readBudget)
    : device_(device), volume_(volume), progress_(progress), readBudget_(readBudget),
      deviceSize_(device.size()) {}

void DirectoryWalk::walkRootChain(uint32_t rootCluster, ExfatFileRecord& root) {
  const uint64_t clusterBytes = volume_.clusterBytes();
  if (clusterBytes == 0) return;
  Frame f;
  f.kind = Frame::Kind::Chain;
  f.parent = &root;
  f.half = static_cast<size_t>(clusterBytes);
  f.minNext = 2;
  f.recordVisited = false;
  pushChainFrame(std::move(f), rootCluster);
  run();
}

void DirectoryWalk::decodeDirectoryBuffer(const uint8_t* buffer, size_t bufferSize, size_t length,
                                          ExfatFileRecord& parent) {
  if (length == 0 || bufferSize < 2 * kEntrySize) return;
  Frame f;
  f.kind = Frame::Kind::Buffer;
  f.parent = &parent;
  f.half = bufferSize / 2;
  f.evictable = false;
  f.length = std::min(length, f.half);
  pushFrame(std::move(f));
  std::memcpy(stack_.back().buffer.data(), buffer, bufferSize & ~static_cast<size_t>(1));
  run();
}

void DirectoryWalk::run() {
  while (!stack_.empty()) {
    Frame& f = stack_.back();
    if (f.buffer.empty()) reload(f);
    if (!f.walking) {
      if (!advance(f)) {
        popFrame();
        continue;
      }
      f.walking = true;
      f.offset = 0;
    }
    walkSlots(f);
  }
}

// Readies the next cluster of the folder in the first half; false when the
// folder has no more.
bool DirectoryWalk::advance(Frame& f) {
  switch (f.kind) {
    case Frame::Kind::Buffer:
      if (f.started) return false;
      f.started = true;
      return true;
    case Frame::Kind::Contiguous:
      if (f.k >= f.n) return false;
      ++f.k;
      copySecondToFirst(f);
      if (f.k < f.n) {
        // Past the end of the device there is nothing to read: a length of
        // exabytes ends there instead of reading zeros for ever.
        const uint64_t next = f.basePosition + f.k * f.half;
        if (budgetExhausted() || (deviceSize_ != 0 && next >= deviceSize_)) f.n = f.k;
        else readInto(f, next);
      }
      f.length = f.first.length;
      return true;
    case Frame::Kind::Chain:
      if (!f.started) {
        f.started = true;
        f.length = f.first.length;
        return true;
      }
      if (f.last) return false;
      if (f.recordVisited) visitedClusters.insert(f.pending);
      copySecondToFirst(f);
      prepareChainNext(f, nextClusterOf(volume_, f.pending));
      f.length = f.first.length;
      return true;
  }
  return false;
}

void DirectoryWalk::walkSlots(Frame& f) {
  const uint8_t* buffer = f.buffer.data();
  const size_t size = f.buffer.size();
  while (f.offset < f.length) {
    size_t offset = f.offset;
    if (!isEntrySetStart(buffer, offset)) {
      f.offset += kEntrySize;
      continue;
    }
    DecodedSet set = decodeEntrySet(buffer, size, offset, *f.parent, volume_, progress_, directoryCounter);
    f.offset += kEntrySize * set.slots;
    // A pushed subfolder runs first; this folder resumes at f.offset.
    if (descend(set)) return;
  }
  f.walking = false;
}

bool DirectoryWalk::descend(const DecodedSet& set) {
  const ExfatFileRecord& record = *set.record;
  const uint32_t first = record.firstCluster;
  if (!record.isFolder() || first < kFirstSubfolderCluster || budgetExhausted()) return false;
  if (isVisited(first)) return false;
  const uint64_t clusterBytes = volume_.clusterBytes();
  if (clusterBytes == 0) return false;
  Frame f;
  f.parent = set.record;
  f.half = static_cast<size_t>(clusterBytes);
  if (set.secondaryFlags == kFlagsContiguous) {
    visitedClusters.insert(first);
    f.kind = Frame::Kind::Contiguous;
    f.n = record.dataLength / volume_.partition.bytesPerSector / volume_.partition.clusterSectors;
    f.basePosition = volume_.clusterPosition(first);
    pushFrame(std::move(f));
    Frame& top = stack_.back();
    readInto(top, top.basePosition);
    return true;
  }
  if (set.secondaryFlags == kFlagsFatChain && first < followableClusterLimit(volume_)) {
    visitedClusters.insert(first);
    f.kind = Frame::Kind::Chain;
    pushChainFrame(std::move(f), first);
    return true;
  }
  return false;
}

void DirectoryWalk::prepareChainNext(Frame& f, uint32_t next) {
  if (next == kFatEndOfChain || next < f.minNext || next >= followableClusterLimit(volume_) ||
      f.guard.contains(next) || budgetExhausted()) {
    f.last = true;
    return;
  }
  f.guard.add(next);
  readInto(f, volume_.clusterPosition(next));
  f.pending = next;
}

void DirectoryWalk::readInto(Frame& f, uint64_t position) {
  f.second.fromDevice = true;
  f.second.position = position;
  f.second.length = device_.readZeroFilled(position, f.buffer.data() + f.half, f.half);
  ++reads_;
  // What the device holds but would not give: the records it held are lost
  // and whatever claims these bytes is damaged. Past its end is another
  // matter (a cut-off image), not a read error.
  const uint64_t wanted = checkedSum(position, f.half).value_or(UINT64_MAX);
  const uint64_t end = deviceSize_ != 0 ? std::min(deviceSize_, wanted) : wanted;
  if (position + f.second.length < end)
    if (auto lost = ByteRange::between(position + f.second.length, end)) volume_.noteUnreadable(*lost);
}

void DirectoryWalk::copySecondToFirst(Frame& f) {
  std::memcpy(f.buffer.data(), f.buffer.data() + f.half, f.half);
  f.first = f.second;
}

// A FAT-chained folder starts with its first cluster read and its next one
// looked up, so the first decode already sees what follows the boundary.
void DirectoryWalk::pushChainFrame(Frame&& f, uint32_t first) {
  pushFrame(std::move(f));
  Frame& top = stack_.back();
  readInto(top, volume_.clusterPosition(first));
  copySecondToFirst(top);
  top.guard.add(first);
  prepareChainNext(top, nextClusterOf(volume_, first));
}

void DirectoryWalk::pushFrame(Frame&& f) {
  const size_t bytes = 2 * f.half;
  evictForRoom(bytes);
  f.buffer.assign(bytes, 0);
  buffered_ += bytes;
  stack_.push_back(std::move(f));
}

void DirectoryWalk::popFrame() {
  buffered_ -= stack_.back().buffer.size();
  stack_.pop_back();
  evictedBelow_ = std::min(evictedBelow_, stack_.size());
}

// Frames at the bottom of the stack resume last, so they give up their
// buffers first.
void DirectoryWalk::evictForRoom(size_t incoming) {
  while (buffered_ + incoming > kBufferedBytesLimit && evictedBelow_ < stack_.size()) {
    Frame& e = stack_[evictedBelow_++];
    if (!e.evictable || e.buffer.empty()) continue;
    buffered_ -= e.buffer.size();
    e.buffer.clear();
    e.buffer.shrink_to_fit();
  }
}

void DirectoryWalk::reload(Frame& f) {
  const size_t bytes = 2 * f.half;
  evictedBelow_ = std::min(evictedBelow_, stack_.size() - 1);
  evictForRoom(bytes);
  f.buffer.assign(bytes, 0);
  buffered_ += bytes;
  if (f.first.fromDevice) device_.readZeroFilled(f.first.position, f.buffer.data(), f.half);
  if (f.second.fromDevice) device_.readZeroFilled(f.second.position, f.buffer.data() + f.half, f.half);
}

}  // namespace dudorazu
