#pragma once
// Carving a JPEG image that begins at a raw cluster.
#include <cstdint>
#include <optional>
#include <vector>

#include "platform/sector_device.h"
#include "core/exfat/loaded_volume.h"

namespace dudorazu {

// The window searched for the end marker; an image reaching it is cut short there.
inline constexpr uint64_t kJpegWindowBytes = 10u << 20;

// True when the cluster starts with a JFIF or Exif JPEG header.
bool looksLikeJpegStart(const uint8_t* cluster);

// Where the end search alone puts a JPEG's end.
struct JpegEnd {
  uint64_t length = 0;          // bytes from the cluster's start
  bool endMarkerFound = false;  // it ends with an end marker; false: cut short (damaged data, device end or window limit)
};

// A JPEG carved out of the clusters from its first one on.
struct JpegCarve {
  uint64_t length = 0;  // bytes of the image, along `runs` when there are any
  CarveKind kind = kCarvedIncomplete;
  // The clusters in order when they are not the ones from the first on
  // (the carve went on in free clusters after a break); empty otherwise.
  std::vector<ClusterRun> runs;
};

// Carves the image that starts at cluster `cluster` (scan arithmetic:
// 512-byte sectors). Its data is decoded cluster by cluster up to the end
// marker that closes it (kCarvedToEndMarker); where the decode breaks, the
// rest is foreign, and free clusters (allocation bitmap, or any cluster
// without one) that go on decoding are looked for: found all the way to the
// end marker, the carve takes them (kCarvedThroughFreeClusters); not found,
// it stops before the cluster where the data broke (kCarvedIncomplete).
// An image whose coding the decoder does not follow, or whose segments
// before the first scan cannot be followed, ends at an end marker found by
// searching (kCarvedEndGuessed): for such heads the first end marker whose
// sector is padded with zeros after it. None when the cluster is no JPEG
// start. `window` is the caller's scratch space, reused between candidates.
std::optional<JpegCarve> carveJpeg(SectorDevice& device, const LoadedVolume& volume, uint32_t cluster,
                                   const uint8_t* clusterData, std::vector<uint8_t>& window);

// The end search alone, over `available` bytes of a window (bytes past them
// count as zeros for the padded-marker test): the segments are followed and
// the scans passed over to the end marker; heads that cannot be followed end
// at the first end marker with zeros after it in its sector.
JpegEnd findJpegEnd(const uint8_t* window, uint64_t available, uint32_t bytesPerSector);

}  // namespace dudorazu
