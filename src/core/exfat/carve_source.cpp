#include "core/exfat/carve_source.h"

#include <algorithm>
#include <cstring>

namespace dudorazu {
namespace {
constexpr size_t kBlockBytes = 256u << 10;
}

CarveSource::CarveSource(SectorDevice& device, uint64_t start, uint64_t limit)
    : device_(device), start_(start), limit_(limit) {}

bool CarveSource::fill(uint64_t offset) {
  if (block_.empty()) block_.resize(kBlockBytes);
  blockOffset_ = offset - offset % 4096;
  const size_t want = static_cast<size_t>(std::min<uint64_t>(kBlockBytes, limit_ - blockOffset_));
  blockBytes_ = device_.readAt(start_ + blockOffset_, block_.data(), want);
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
  if (pattern.empty()) return std::nullopt;
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
      return found < to ? std::optional<uint64_t>(found) : std::nullopt;
    }
    // Nothing further: the search's end, the limit, or a short read.
    if (blockEnd >= to + pattern.size() - 1 || blockEnd >= limit_ ||
        blockBytes_ < std::min<uint64_t>(kBlockBytes, limit_ - blockOffset_))
      return std::nullopt;
    from = std::max(from, blockEnd - (pattern.size() - 1));
  }
  return std::nullopt;
}

}  // namespace dudorazu
