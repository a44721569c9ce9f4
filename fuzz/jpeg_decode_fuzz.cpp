// The JPEG decoder over hostile bytes, whole and in pieces as clusters come,
// and the carver's search for the clusters that continue an image, over a
// small volume whose clusters are the input.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/sector_device.h"
#include "core/exfat/jpeg_clusters.h"
#include "core/exfat/loaded_volume.h"
#include "core/exfat/jpeg_decode.h"
#include "core/partitions/partition_record.h"
#include "support/memory_device.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 20)) return 0;
  dudorazu::JpegDecoder whole;
  const dudorazu::JpegDecodeStep step = whole.decode(data, size);
  if (step == dudorazu::JpegDecodeStep::Complete && whole.endOffset() > size) std::abort();
  if (step == dudorazu::JpegDecodeStep::Broken && whole.breakOffset() > size) std::abort();

  // Fed 512 bytes at a time, an image that decodes whole ends at the same byte.
  dudorazu::JpegDecoder pieces;
  dudorazu::JpegDecodeStep last = dudorazu::JpegDecodeStep::NeedBytes;
  for (size_t given = 0; last == dudorazu::JpegDecodeStep::NeedBytes && given < size;) {
    given = std::min<size_t>(given + 512, size);
    last = pieces.decode(data, given);
  }
  if (step == dudorazu::JpegDecodeStep::Complete &&
      (last != step || pieces.endOffset() != whole.endOffset()))
    std::abort();

  // Clusters of 512 bytes from cluster 2 at byte 0, no bitmap: every cluster
  // may continue the image.
  dudorazu::test::MemoryDevice device(std::string(reinterpret_cast<const char*>(data), size));
  dudorazu::PartitionRecord p;
  p.clusterSectors = 1;
  p.clusterBase = 0 - 2ull;
  p.sizeSectors = (size + 511) / 512;
  p.clusterCount = static_cast<uint32_t>(p.sizeSectors);
  dudorazu::JpegClusterRules rules;
  rules.next = [](uint32_t last) -> std::optional<uint32_t> { return last + 1; };
  rules.mayContinue = [](uint32_t) { return true; };
  rules.maxBytes = size;
  dudorazu::LoadedVolume volume(p);
  const dudorazu::JpegClusters found = dudorazu::followJpegClusters(device, volume, 2, rules);
  uint64_t covered = 0;
  for (const dudorazu::ClusterRun& r : found.runs) covered += uint64_t{r.count} * 512;
  if (found.length > covered + 512 && !found.runs.empty()) std::abort();
  return 0;
}
