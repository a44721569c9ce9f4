#include "core/exfat/carve_source.h"

#include <algorithm>
#include <cstring>

namespace dudorazu {
namespace {
constexpr size_t kBlockBytes = 256u << 10;
}

CarveSource::CarveSource(SectorDevice& device, uint64_t start, uint64_t limit)
    : device_(device), start_(start), limit_(limit) {}

CarveSource::CarveSource(SectorDevice& device, ClusterChoice choice, uint64_t limit)
    : device_(device), limit_(limit), choice_(std::move(choice)) {
  nextCluster_ = choice_->first;
}

bool CarveSource::mapCluster(uint64_t index) {
  // Clusters not to take are passed over once: the search goes on from the
  // last one taken, so mapping a file costs the clusters it spans.
  while (mapped_ <= index) {
    while (nextCluster_ < choice_->end && !choice_->usable(static_cast<uint32_t>(nextCluster_))) ++nextCluster_;
    if (nextCluster_ >= choice_->end) return false;
    const auto c = static_cast<uint32_t>(nextCluster_++);
    if (!runs_.empty() && runs_.back().second.first + runs_.back().second.count == c) ++runs_.back().second.count;
    else runs_.push_back({mapped_, ClusterRun{c, 1}});
    ++mapped_;
  }
  return true;
}

std::optional<std::pair<uint64_t, uint64_t>> CarveSource::locate(uint64_t offset) {
  if (!choice_) return std::pair{start_ + offset, limit_ - offset};
  const uint64_t cb = choice_->clusterBytes;
  const uint64_t index = offset / cb;
  if (!mapCluster(index)) return std::nullopt;
  auto it = std::upper_bound(runs_.begin(), runs_.end(), index,
                             [](uint64_t i, const auto& run) { return i < run.first; });
  const auto& [fileCluster, run] = *std::prev(it);
  const uint64_t within = offset - fileCluster * cb;
  return std::pair{choice_->position(run.first) + within, uint64_t{run.count} * cb - within};
}

std::vector<ClusterRun> CarveSource::clustersOf(uint64_t length) {
  std::vector<ClusterRun> out;
  if (!choice_ || length == 0) return out;
  const uint64_t clusters = (length + choice_->clusterBytes - 1) / choice_->clusterBytes;
  if (!mapCluster(clusters - 1)) return out;
  for (const auto& [fileCluster, run] : runs_) {
    if (fileCluster >= clusters) break;
    out.push_back({run.first, static_cast<uint32_t>(std::min<uint64_t>(run.count, clusters - fileCluster))});
  }
  return out;
}

bool CarveSource::fill(uint64_t offset) {
  if (stop_ && stop_()) {
    blockBytes_ = 0;
    return false;
  }
  if (block_.empty()) block_.resize(kBlockBytes);
  blockOffset_ = offset - offset % 4096;
  // Most candidates are small files or no file at all: the first reads are
  // small, and grow as a walk goes on.
  const size_t want = static_cast<size_t>(std::min<uint64_t>(fillBytes_, limit_ - blockOffset_));
  lastFill_ = fillBytes_;
  fillBytes_ = std::min(fillBytes_ * 2, kBlockBytes);
  blockBytes_ = 0;
  // One read per piece of the file that lies in one place.
  while (blockBytes_ < want) {
    auto at = locate(blockOffset_ + blockBytes_);
    if (!at) break;
    const size_t n = static_cast<size_t>(std::min<uint64_t>(want - blockBytes_, at->second));
    const size_t got = device_.readAt(at->first, block_.data() + blockBytes_, n);
    blockBytes_ += got;
    if (got < n) break;
  }
  return blockBytes_ > offset - blockOffset_;
}

bool CarveSource::read(uint64_t offset, void* out, size_t length) {
  if (offset > limit_ || length > limit_ - offset) return false;
  auto* to = static_cast<uint8_t*>(out);
  while (length != 0) {
    if (offset < blockOffset_ || offset >= blockOffset_ + blockBytes_) {
      if (!fill(offset)) return false;
    }
    const size_t at = static_cast<size_t>(offset - blockOffset_);
    const size_t n = std::min(length, blockBytes_ - at);
    std::memcpy(to, block_.data() + at, n);
    to += n, offset += n, length -= n;
  }
  return true;
}

std::optional<uint8_t> CarveSource::byte(uint64_t offset) {
  uint8_t b = 0;
  if (!read(offset, &b, 1)) return std::nullopt;
  return b;
}

std::optional<uint64_t> CarveSource::find(std::string_view pattern, uint64_t from, uint64_t to) {
  to = std::min(to, limit_);
  if (pattern.empty() || from >= to) return std::nullopt;
  uint64_t searched = from;
  if (!memo_ || choice_) return scan(pattern, from, to, searched);
  // A memo holds the hits of one span of the device; a search that starts
  // outside it begins a new one.
  auto it = memo_->spans.find(pattern);
  if (it == memo_->spans.end()) it = memo_->spans.emplace(std::string(pattern), SearchMemo::Span{}).first;
  SearchMemo::Span& span = it->second;
  const uint64_t deviceFrom = start_ + from, deviceTo = start_ + to;
  if (deviceFrom < span.from || deviceFrom > span.to) span = SearchMemo::Span{deviceFrom, deviceFrom, {}};
  auto hit = std::lower_bound(span.hits.begin(), span.hits.end(), deviceFrom);
  if (hit != span.hits.end() && *hit < std::min(deviceTo, span.to)) return *hit - start_;
  if (deviceTo <= span.to) return std::nullopt;
  auto found = scan(pattern, span.to - start_, to, searched);
  // The memo stays small: a device full of the pattern is searched anew.
  constexpr size_t kMaxHits = 1u << 16;
  if (found && span.hits.size() < kMaxHits) {
    span.hits.push_back(start_ + *found);
    span.to = start_ + *found + 1;
  } else if (!found) {
    span.to = std::max(span.to, start_ + searched);
  }
  return found;
}

std::optional<uint64_t> CarveSource::scan(std::string_view pattern, uint64_t from, uint64_t to, uint64_t& searched) {
  searched = from;
  bool refill = from < blockOffset_ || from >= blockOffset_ + blockBytes_;
  while (from < to) {
    if (refill && !fill(from)) return std::nullopt;
    // The next block is read from where a match crossing this one's end
    // would start.
    refill = true;
    const size_t at = static_cast<size_t>(from - blockOffset_);
    const uint64_t blockEnd = blockOffset_ + blockBytes_;
    const size_t end = static_cast<size_t>(std::min(blockEnd, to + pattern.size() - 1) - blockOffset_);
    const std::string_view hay(reinterpret_cast<const char*>(block_.data()) + at, end > at ? end - at : 0);
    const size_t hit = hay.find(pattern);
    if (hit != std::string_view::npos) {
      const uint64_t found = from + hit;
      searched = std::min(found, to);
      return found < to ? std::optional<uint64_t>(found) : std::nullopt;
    }
    // Matches starting up to here would have been whole in this block.
    searched = std::min(to, blockEnd >= pattern.size() - 1 ? blockEnd - (pattern.size() - 1) : 0);
    // Nothing further: the search's end, the limit, or a short read.
    if (blockEnd >= to + pattern.size() - 1) searched = to;
    if (blockEnd >= to + pattern.size() - 1 || blockEnd >= limit_ ||
        blockBytes_ < std::min<uint64_t>(lastFill_, limit_ - blockOffset_))
      return std::nullopt;
    from = std::max(from, blockEnd - (pattern.size() - 1));
  }
  return std::nullopt;
}

}  // namespace dudorazu
