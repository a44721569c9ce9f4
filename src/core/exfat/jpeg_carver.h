#pragma once
// Finding the end of a JPEG image that begins at a raw cluster.
#include <cstdint>
#include <optional>
#include <vector>

#include "core/device/sector_device.h"
#include "core/partitions/partition_record.h"

namespace dudorazu {

// The window searched for the end marker; an image reaching it is cut short there.
inline constexpr uint64_t kJpegWindowBytes = 10u << 20;

// True when the cluster starts with a JFIF or Exif JPEG header.
bool looksLikeJpegStart(const uint8_t* cluster);

// Where a carved JPEG ends.
struct JpegCarve {
  uint64_t length = 0;          // bytes from the cluster's start
  bool endMarkerFound = false;  // the carve ends with the end marker that closes the image;
                                // false: it was cut short (damaged data, device end or window limit)
};

// Follows the image's marker segments and scans from the start marker in
// the window at cluster `cluster` (scan arithmetic: 512-byte sectors) to
// the end marker (FF D9) that closes its image data; the carve ends with
// that marker. When the segments before the first scan cannot be followed,
// the carve ends at the first end marker whose sector is padded with zeros
// after it. None when the cluster is no JPEG start. `window` is the
// caller's scratch space, reused between candidates.
std::optional<JpegCarve> carveJpeg(SectorDevice& device, const PartitionRecord& partition, uint32_t cluster,
                                   const uint8_t* clusterData, std::vector<uint8_t>& window);

// The end search alone, over `available` bytes of a window (bytes past them
// count as zeros for the padded-marker test); exposed for tests.
JpegCarve findJpegEnd(const uint8_t* window, uint64_t available, uint32_t bytesPerSector);

}  // namespace dudorazu
