#pragma once
// Follows a JPEG image through the clusters that hold it. Its data is decoded
// cluster after cluster; where the decode breaks, the data after the break
// belongs to something else, and the free clusters after the last one that
// fitted are tried, in order, for the one that goes on decoding. Bounded:
// a few dozen tries at each of a few dozen breaks, and a few MiB read for
// them in all.
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "platform/sector_device.h"
#include "core/exfat/exfat_file_record.h"
#include "core/exfat/loaded_volume.h"

namespace dudorazu {

struct JpegClusterRules {
  // The cluster taken after `last` while the data decodes: the next one for
  // a carve, the chain's or the next free one for a deleted file; none ends
  // the data.
  std::function<std::optional<uint32_t>(uint32_t last)> next;
  // Whether a cluster may continue the image after a break (free in the
  // allocation bitmap, or any cluster when there is none).
  std::function<bool(uint32_t cluster)> mayContinue;
  // The image is not followed past this many bytes.
  uint64_t maxBytes = 0;
  // Once the image ends, clusters given by `next` are added until this many
  // bytes are covered (a deleted file's recorded length); 0: none.
  uint64_t fillTo = 0;
};

enum class JpegFollow : uint8_t {
  Decoded,       // decoded to its end marker through the clusters `next` gave
  Continued,     // decoded to its end marker after free clusters were chosen at breaks
  Broken,        // the decode breaks and no free cluster continues it
  CutShort,      // the clusters or the bytes ran out first (device end, maxBytes)
  Unverifiable,  // a coding the decoder does not follow: no verdict
};

struct JpegClusters {
  JpegFollow outcome = JpegFollow::CutShort;
  // Decoded, Continued: up to and including the end marker. Broken: the
  // bytes before the cluster where the data stopped decoding (the break's
  // own offset when that is the first cluster). CutShort: all that was read.
  uint64_t length = 0;
  std::vector<ClusterRun> runs;  // the clusters in order, covering `length` (and fillTo)
  bool sawImageData = false;     // the decode reached a scan (false: the head could not be followed)
};

JpegClusters followJpegClusters(SectorDevice& device, const LoadedVolume& volume, uint32_t firstCluster,
                                const JpegClusterRules& rules);

}  // namespace dudorazu
