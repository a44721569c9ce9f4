#include "core/recovery/decoded_jpeg_clusters.h"

#include <unordered_map>

#include "core/exfat/jpeg_clusters.h"
#include "core/recovery/data_runs.h"

namespace dudorazu {
namespace {

constexpr uint32_t kFat32EndMark = 0x0FFFFFFF;
// The decode holds the image's bytes in memory, once for each save running;
// a photo is far smaller. A longer file keeps the plain guess.
constexpr uint64_t kMaxImageBytes = 32u << 20;

// Whether the save would take clusters from the free ones: the walk of the
// record alone, nothing read.
bool saveWouldGuess(const ExfatFileRecord& record, const LoadedVolume& volume) {
  DataRunWalker probe(record, volume, kRunBytes, true);
  while (probe.next()) {
  }
  return probe.guessed();
}

}  // namespace

std::optional<std::vector<ClusterRun>> decodedJpegClusters(SectorDevice& device, const LoadedVolume& volume,
                                                           const ExfatFileRecord& record) {
  const uint64_t cb = volume.clusterBytes();
  const uint64_t heapEnd = volume.heapEnd();
  // A length the heap cannot hold is damage the plain walk reports.
  if (!record.isFile() || !record.isDeleted() || record.carve != kNotCarved || record.dataLength == 0 || cb == 0 ||
      record.firstCluster < 2 || record.firstCluster >= heapEnd || record.dataLength / cb >= heapEnd - 2 ||
      record.dataLength > kMaxImageBytes)
    return std::nullopt;
  uint8_t head[3] = {};
  if (device.readAt(volume.clusterPosition(record.firstCluster), head, 3) != 3 || head[0] != 0xFF ||
      head[1] != 0xD8 || head[2] != 0xFF || !saveWouldGuess(record, volume))
    return std::nullopt;

  const uint64_t clustersNeeded = (record.dataLength + cb - 1) / cb;
  // What is left of its chain, as the save follows it; after that, the free
  // clusters in order, as the save guesses them.
  std::unordered_map<uint32_t, uint32_t> chain;
  for (uint32_t c = record.firstCluster; chain.size() + 1 < clustersNeeded;) {
    const uint32_t next = c < volume.fatEntryCount() ? volume.fatTable[c] : kFat32EndMark;
    if (next == kFat32EndMark || next < 2 || next >= volume.fatEntryCount() || next >= heapEnd ||
        next == record.firstCluster || chain.count(next))
      break;
    chain.emplace(c, next);
    c = next;
  }
  JpegClusterRules rules;
  rules.next = [&](uint32_t last) -> std::optional<uint32_t> {
    if (auto it = chain.find(last); it != chain.end()) return it->second;
    for (uint64_t c = uint64_t{last} + 1; c < heapEnd; ++c)
      if (volume.clusterMarkedFree(static_cast<uint32_t>(c))) return static_cast<uint32_t>(c);
    return std::nullopt;
  };
  rules.mayContinue = [&](uint32_t c) { return volume.clusterMarkedFree(c); };
  rules.maxBytes = clustersNeeded * cb;
  rules.fillTo = record.dataLength;
  JpegClusters found = followJpegClusters(device, volume, record.firstCluster, rules);
  if (found.outcome != JpegFollow::Decoded && found.outcome != JpegFollow::Continued) return std::nullopt;
  return std::move(found.runs);
}

}  // namespace dudorazu
