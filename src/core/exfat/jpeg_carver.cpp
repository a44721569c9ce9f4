#include "core/exfat/jpeg_carver.h"

#include <algorithm>
#include <cstring>

#include "core/exfat/jpeg_clusters.h"

namespace dudorazu {
namespace {

constexpr uint64_t kJpegReadPiece = 256u << 10;

// Marker codes that the walk treats specially.
constexpr uint8_t kStartOfImage = 0xD8;
constexpr uint8_t kEndOfImage = 0xD9;
constexpr uint8_t kStartOfScan = 0xDA;
constexpr uint8_t kTemporary = 0x01;
constexpr uint8_t kFirstRestart = 0xD0;
constexpr uint8_t kLastRestart = 0xD7;

bool isRestart(uint8_t code) { return code >= kFirstRestart && code <= kLastRestart; }

// Codes of the segments that carry a two-byte length: frames, tables,
// restart interval, application data, comments and the JPEG extensions.
bool hasLength(uint8_t code) {
  return (code >= 0xC0 && code <= 0xCF) || (code >= 0xDA && code <= 0xDF) || code >= 0xE0;
}

// The window's bytes as they arrive piece by piece: `more(upTo)` tries to
// make bytes up to `upTo` available (updating `w` and `available`) and
// returns false when no byte more came.
template <typename More>
struct Window {
  const uint8_t*& w;
  uint64_t& available;
  More& more;
  // True when bytes [0, end) can be looked at, within the window's limit.
  bool has(uint64_t end) {
    if (end > kJpegWindowBytes) return false;
    while (available < end)
      if (!more(end)) return false;
    return true;
  }
};

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

// The search for the first end marker with zeros after it, for images whose
// segments cannot be followed. Markers are only looked for in bytes that
// were read; bytes past them count as zeros for the test that follows a
// marker.
template <typename More>
JpegEnd searchPaddedEnd(Window<More> view, uint32_t bytesPerSector) {
  if (bytesPerSector == 0) bytesPerSector = kSectorSize;
  const uint8_t*& w = view.w;
  uint64_t& available = view.available;
  uint64_t i = 0;
  while (i + 3 < kJpegWindowBytes) {
    if (i + 1 >= available) {
      if (available >= kJpegWindowBytes || !view.more(available + kJpegReadPiece)) break;
      continue;
    }
    const void* hit = std::memchr(w + i, 0xFF, static_cast<size_t>(available - 1 - i));
    if (!hit) {
      i = available - 1;  // a 0xFF here may pair with the next piece's first byte
      continue;
    }
    i = static_cast<uint64_t>(static_cast<const uint8_t*>(hit) - w);
    if (i + 3 >= kJpegWindowBytes) break;
    if (w[i + 1] == kEndOfImage) {
      view.more(i + 10);
      if (endMarkerAccepted(w, available, i, bytesPerSector)) return {i + 2, true};
    }
    ++i;
  }
  return {std::min(available, kJpegWindowBytes), false};
}

enum class Walk { End, Broken, OutOfBytes };

// Skips entropy-coded data from `p` to the next marker: a 0xFF followed by
// 0x00 (a stuffed data byte), a restart marker or another 0xFF (fill) is
// part of the scan. Leaves `p` on the marker's 0xFF.
template <typename More>
bool skipScanData(Window<More>& view, uint64_t& p) {
  for (;;) {
    if (!view.has(p + 2)) return false;
    const uint8_t* hit = static_cast<const uint8_t*>(std::memchr(view.w + p, 0xFF, view.available - 1 - p));
    if (!hit) {
      p = view.available - 1;
      continue;
    }
    p = static_cast<uint64_t>(hit - view.w);
    uint8_t next = view.w[p + 1];
    if (next == 0x00 || isRestart(next)) p += 2;
    else if (next == 0xFF) p += 1;
    else return true;
  }
}

// Follows the image's segments from after the start marker to the end
// marker that closes its image data. Segments are stepped over by their
// lengths, so a thumbnail inside an application segment never ends the
// outer image. `end` is the length up to and including the end marker, or
// where the walk stopped.
template <typename More>
Walk walkSegments(Window<More>& view, uint64_t& end, bool& sawScan) {
  uint64_t p = 2;
  for (;;) {
    end = p;
    if (!view.has(p + 2)) return Walk::OutOfBytes;
    if (view.w[p] != 0xFF) return Walk::Broken;
    while (view.w[p + 1] == 0xFF) {  // fill bytes before a marker
      ++p;
      if (!view.has(p + 2)) return Walk::OutOfBytes;
    }
    const uint8_t code = view.w[p + 1];
    if (code == kEndOfImage) {
      end = p + 2;
      // An image as long as the window may go on past it.
      if (end >= kJpegWindowBytes) return Walk::OutOfBytes;
      return sawScan ? Walk::End : Walk::Broken;
    }
    if (code == kTemporary || isRestart(code)) {
      p += 2;
      continue;
    }
    if (code == kStartOfImage || !hasLength(code)) return Walk::Broken;
    if (!view.has(p + 4)) return Walk::OutOfBytes;
    const uint32_t length = (static_cast<uint32_t>(view.w[p + 2]) << 8) | view.w[p + 3];
    if (length < 2) return Walk::Broken;
    p += 2 + length;
    if (code == kStartOfScan) {
      sawScan = true;
      if (!skipScanData(view, p)) {
        end = std::min(view.available, kJpegWindowBytes);
        return Walk::OutOfBytes;
      }
    }
  }
}

template <typename More>
JpegEnd carveFromWindow(const uint8_t*& w, uint64_t& available, uint32_t bytesPerSector, More&& more) {
  Window<More> view{w, available, more};
  uint64_t end = 0;
  bool sawScan = false;
  switch (walkSegments(view, end, sawScan)) {
    case Walk::End: return {end, true};
    case Walk::OutOfBytes: return {std::min(end, available), false};  // a segment may claim more than was read
    case Walk::Broken:
      // Damage inside the image data: the image is cut short there. A head
      // whose segments this walk does not know is still looked through for
      // an end marker the way images were carved before.
      if (sawScan) return {end, false};
      return searchPaddedEnd(view, bytesPerSector);
  }
  return {end, false};
}

}  // namespace

bool looksLikeJpegStart(const uint8_t* c) {
  return c[0] == 0xFF && c[1] == 0xD8 && c[2] == 0xFF &&
         (std::memcmp(c + 6, "JFIF", 4) == 0 || std::memcmp(c + 6, "Exif", 4) == 0);
}

JpegEnd findJpegEnd(const uint8_t* window, uint64_t available, uint32_t bytesPerSector) {
  available = std::min(available, kJpegWindowBytes);
  return carveFromWindow(window, available, bytesPerSector, [](uint64_t) { return false; });
}

namespace {

// The end search over the window from the cluster on, read piece by piece
// as the search moves on: a bad sector further on no longer hides an end
// marker before it. The bytes seen are those one whole read would give.
JpegEnd searchEnd(SectorDevice& device, const LoadedVolume& volume, uint32_t cluster,
                  std::vector<uint8_t>& window) {
  window.clear();
  const uint64_t base = volume.clusterPosition(cluster);
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
  return carveFromWindow(w, available, volume.partition.bytesPerSector, more);
}

}  // namespace

std::optional<JpegCarve> carveJpeg(SectorDevice& device, const LoadedVolume& volume, uint32_t cluster,
                                   const uint8_t* clusterData, std::vector<uint8_t>& window) {
  if (!looksLikeJpegStart(clusterData)) return std::nullopt;
  JpegClusterRules rules;
  rules.next = [](uint32_t last) -> std::optional<uint32_t> {
    if (last == UINT32_MAX) return std::nullopt;
    return last + 1;
  };
  const bool haveBitmap = !volume.allocationBitmap.empty();
  rules.mayContinue = [&](uint32_t c) { return !haveBitmap || volume.clusterMarkedFree(c); };
  rules.maxBytes = kJpegWindowBytes;
  JpegClusters follow = followJpegClusters(device, volume, cluster, rules);
  JpegCarve carve;
  carve.length = follow.length;
  const bool oneRun = follow.runs.size() <= 1;
  switch (follow.outcome) {
    case JpegFollow::Decoded:
    case JpegFollow::Continued:
      carve.kind = follow.outcome == JpegFollow::Decoded && oneRun ? kCarvedToEndMarker : kCarvedThroughFreeClusters;
      break;
    case JpegFollow::CutShort:
      carve.kind = kCarvedIncomplete;
      break;
    case JpegFollow::Broken:
      carve.kind = kCarvedIncomplete;
      if (follow.sawImageData) break;
      [[fallthrough]];
    case JpegFollow::Unverifiable: {
      // No verdict from the data: the end is where a search finds one.
      const JpegEnd end = searchEnd(device, volume, cluster, window);
      return JpegCarve{end.length, end.endMarkerFound ? kCarvedEndGuessed : kCarvedIncomplete, {}};
    }
  }
  if (!oneRun) carve.runs = std::move(follow.runs);
  return carve;
}

}  // namespace dudorazu
