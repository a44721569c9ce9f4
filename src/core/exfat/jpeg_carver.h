#pragma once
// Finding the end of a JPEG image that begins at a raw cluster.
#include <cstdint>
#include <optional>
#include <vector>

#include "core/device/sector_device.h"
#include "core/partitions/partition_record.h"

namespace dudorazu {

// The window searched for the end marker; longer images are not carved.
inline constexpr uint64_t kJpegWindowBytes = 10u << 20;

// True when the cluster starts with a JFIF or Exif JPEG header.
bool looksLikeJpegStart(const uint8_t* cluster);

// Searches the window at cluster `cluster` and returns the image length: up
// to the first end marker whose sector is padded with zeros after it. None
// when the cluster is no JPEG start, no marker qualifies or the length would
// reach the window's size. `window` is the caller's scratch space, reused
// between candidates.
std::optional<uint64_t> carveJpeg(SectorDevice& device, const PartitionRecord& partition, uint32_t cluster,
                                  const uint8_t* clusterData, std::vector<uint8_t>& window);

// The end search alone, over `available` bytes of a window (bytes past them
// count as zeros); exposed for tests.
std::optional<uint64_t> findJpegEnd(const uint8_t* window, uint64_t available, uint32_t bytesPerSector);

}  // namespace dudorazu
