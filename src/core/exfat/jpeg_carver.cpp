#include "core/exfat/jpeg_carver.h"

#include <algorithm>
#include <cstring>

namespace dudorazu {
namespace {

constexpr uint64_t kJpegReadPiece = 256u << 10;

// An end marker counts when the rest of its sector starts with zeros: the
// file ended there and the slack after it was never written. Near the end of
// a sector fewer bytes remain; then one zero among them is enough.
bool endMarkerAccepted(const uint8_t* w, uint64_t available, uint64_t i, uint32_t bytesPerSector) {
  auto at = [&](uint64_t j) -> uint8_t { return j < available ? w[j] : 0; };
  uint64_t r = (i + 4) % bytesPerSector;
  if (r == 0) return true;
  uint64_t rest = bytesPerSector - r;
  if (rest > 8) {
    for (uint64_t j = i + 2; j < i + 10; ++j)
      if (at(j) != 0) return false;
    return true;
  }
  for (uint64_t j = i + 2; j < i + 2 + rest; ++j)
    if (at(j) == 0) return true;
  return false;
}

// The search over a window whose bytes arrive piece by piece: `more(upTo)`
// tries to make bytes up to `upTo` available (updating `w` and `available`)
// and returns false when no byte more came. Markers are only looked for
// in bytes that were read; bytes past them count as zeros for the test that
// follows a marker.
template <typename More>
std::optional<uint64_t> searchEnd(const uint8_t*& w, uint64_t& available, uint32_t bytesPerSector, More&& more) {
  if (bytesPerSector == 0) bytesPerSector = kSectorSize;
  uint64_t i = 0;
  while (i + 3 < kJpegWindowBytes) {
    if (i + 1 >= available) {
      if (available >= kJpegWindowBytes || !more(available + kJpegReadPiece)) return std::nullopt;
      continue;
    }
    const void* hit = std::memchr(w + i, 0xFF, static_cast<size_t>(available - 1 - i));
    if (!hit) {
      i = available - 1;  // a 0xFF here may pair with the next piece's first byte
      continue;
    }
    i = static_cast<uint64_t>(static_cast<const uint8_t*>(hit) - w);
    if (i + 3 >= kJpegWindowBytes) break;
    if (w[i + 1] == 0xD9) {
      more(i + 10);
      if (endMarkerAccepted(w, available, i, bytesPerSector)) {
        uint64_t length = i + 4;
        if (length >= kJpegWindowBytes) return std::nullopt;
        return length;
      }
    }
    ++i;
  }
  return std::nullopt;
}

}  // namespace

bool looksLikeJpegStart(const uint8_t* c) {
  return c[0] == 0xFF && c[1] == 0xD8 && c[2] == 0xFF &&
         (std::memcmp(c + 6, "JFIF", 4) == 0 || std::memcmp(c + 6, "Exif", 4) == 0);
}

std::optional<uint64_t> findJpegEnd(const uint8_t* window, uint64_t available, uint32_t bytesPerSector) {
  available = std::min(available, kJpegWindowBytes);
  return searchEnd(window, available, bytesPerSector, [](uint64_t) { return false; });
}

std::optional<uint64_t> carveJpeg(SectorDevice& device, const PartitionRecord& partition, uint32_t cluster,
                                  const uint8_t* clusterData, std::vector<uint8_t>& window) {
  if (!looksLikeJpegStart(clusterData)) return std::nullopt;
  // The window is read piece by piece as the search moves on: most images
  // end long before 10 MiB, and a bad sector further on no longer hides an
  // end marker before it. The bytes seen are those one whole read would give.
  window.clear();
  const uint64_t base = partition.clusterPosition(cluster);
  const uint8_t* w = window.data();
  uint64_t available = 0;
  bool exhausted = false;
  auto more = [&](uint64_t upTo) {
    const uint64_t before = available;
    while (!exhausted && available < upTo && available < kJpegWindowBytes) {
      size_t n = static_cast<size_t>(std::min<uint64_t>(kJpegReadPiece, kJpegWindowBytes - available));
      window.resize(static_cast<size_t>(available) + n);
      size_t got = device.readAt(base + available, window.data() + available, n);
      w = window.data();
      available += got;
      if (got < n) exhausted = true;
    }
    return available > before;
  };
  more(kJpegReadPiece);
  return searchEnd(w, available, partition.bytesPerSector, more);
}

}  // namespace dudorazu
