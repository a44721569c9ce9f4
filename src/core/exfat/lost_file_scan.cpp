#include "core/exfat/lost_file_scan.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "core/common/io_buffer.h"
#include "core/device/open_device.h"
#include "core/exfat/carve_signatures.h"
#include "core/exfat/directory_detector.h"
#include "core/exfat/directory_walk.h"
#include "core/exfat/exfat_volume.h"
#include "core/exfat/jpeg_carver.h"
#include "core/exfat/live_tree.h"
#include "core/exfat/ole2_carver.h"
#include "core/exfat/structure_carver.h"
#include "core/exfat/tree_loader.h"
#include "core/exfat/upcase_scan.h"

namespace dudorazu {
namespace {

// Cluster numbers start at 2: the heap runs from 2 to ClusterCount + 1.
constexpr uint32_t kFirstScannedCluster = 2;
// The heap is read in batches of this size; each cluster is then examined
// exactly as if it had been read alone. Small enough to stay in the CPU's
// cache between the copy out of the page cache and the examination, which
// measured faster than larger batches.
constexpr size_t kBatchBytes = 2u << 20;
constexpr uint64_t kMaxClusterBytes = 32u << 20;

struct Volume {
  uint32_t clusterCount = 0;
  uint32_t fatOffset = 0;
  uint32_t rootCluster = 0;  // 0: no boot sector was read
};

// Reads the boot sector again when the stored geometry cannot be trusted;
// without one, the up-case table or one cluster per sector stands in.
Volume establishVolume(SectorDevice& device, const DiskRecord& disk, LoadedVolume& lv, ProgressBlock& progress) {
  PartitionRecord& p = lv.partition;
  Volume v;
  if (p.clusterSectors != 0 && p.searchKind != kSearchKindTable) return v;
  VolumeParameters params;
  if (readVolumeParameters(device, p, params)) {
    v.clusterCount = params.clusterCount;
    v.fatOffset = params.fatOffset;
    v.rootCluster = params.rootCluster;
  } else if (locateVolumeByUpcase(disk, p, progress, p.startOffset() / kSectorSize, p.sizeBytes() / kSectorSize)) {
    v.clusterCount =
        static_cast<uint32_t>(std::min<uint64_t>(p.sizeBytes() / kSectorSize / p.clusterSectors, UINT32_MAX));
    p.bytesPerSector = kSectorSize;
  } else {
    p.clusterSectors = 1;
    p.bytesPerSector = kSectorSize;
    p.clusterBase = p.startOffset() / kSectorSize;
    v.clusterCount = static_cast<uint32_t>(std::min<uint64_t>(p.sizeBytes() / kSectorSize, UINT32_MAX));
  }
  if (lv.fatTable.empty() && v.fatOffset != 0) loadFat(device, lv, v.fatOffset, v.clusterCount);
  return v;
}

void prepareRoots(LoadedVolume& p) {
  setTreeTop(p, p.rootRecord, kRootFolderName, 0);
  setTreeTop(p, p.extendedRecord, kExtendedFolderName, 1);
}

ExfatFileRecord& addCarved(LoadedVolume& p, std::string name, uint32_t cluster, uint64_t length, CarveKind carve,
                           CarveFormat format) {
  ExfatFileRecord r;
  r.carve = carve;
  r.carveFormat = static_cast<uint8_t>(format);
  r.name = std::move(name);
  r.state = kStateDeletedFile;
  r.allocationFlags = 3;
  r.dataLength = length;
  r.firstCluster = cluster;
  r.parent = &p.extendedRecord;
  p.extendedRecord.children.push_back(std::move(r));
  p.carvedIndex.insert({cluster, &p.extendedRecord.children.back()});
  return p.extendedRecord.children.back();
}

ExfatFileRecord& addFoundFolder(LoadedVolume& p, uint32_t cluster) {
  ExfatFileRecord r;
  r.name = std::to_string(cluster);
  r.state = kStateFolder;
  r.firstCluster = cluster;
  r.parent = &p.rootRecord;
  p.rootRecord.children.push_front(std::move(r));
  ExfatFileRecord* placed = &p.rootRecord.children.front();
  p.clusterIndex.insert({cluster, placed});
  return *placed;
}

// The first cluster past the heap that the scan reaches: ClusterCount + 2,
// and no further than the partition and the device hold clusters (a boot
// sector may claim billions of them).
uint64_t scanEnd(const PartitionRecord& p, uint32_t clusterCount, uint64_t deviceBytes) {
  const uint64_t clusterBytes = p.clusterBytes();
  const uint64_t heapStart = p.clusterPosition(kFirstScannedCluster);
  // Clusters that begin before `bytes`.
  auto clustersBefore = [&](uint64_t bytes) {
    return bytes > heapStart ? kFirstScannedCluster + (bytes - heapStart - 1) / clusterBytes + 1 : kFirstScannedCluster;
  };
  // Cluster numbers are 32 bits wide whatever the count claims.
  uint64_t end = std::min<uint64_t>(uint64_t{clusterCount} + 2, 1ull << 32);
  if (p.sizeSectors != 0) {
    end = std::min(end, clustersBefore(p.bytesOnDevice(0).end()));
  }
  if (deviceBytes != 0) end = std::min(end, clustersBefore(deviceBytes));
  return end;
}

// Whether the allocation bitmap marks any of the clusters that `length`
// bytes from `cluster` on span as in use.
bool holdsClustersInUse(const LoadedVolume& lv, uint32_t cluster, uint64_t length) {
  if (lv.allocationBitmap.empty()) return false;
  const uint64_t clusters = (length + lv.partition.clusterBytes() - 1) / lv.partition.clusterBytes();
  for (uint64_t c = cluster; c < uint64_t{cluster} + clusters && c <= UINT32_MAX; ++c)
    if (lv.clusterInUse(static_cast<uint32_t>(c))) return true;
  return false;
}

struct PiecesCarve {
  StructureCarve carve;
  std::vector<ClusterRun> runs;
};

// A file whose structure breaks off where it lies in one piece may go on
// past clusters that other files hold now: walked again over the clusters
// the allocation bitmap marks free, it is kept only when the walk then
// reaches its end through more than one piece.
std::optional<PiecesCarve> carveThroughFreeClusters(SectorDevice& device, const LoadedVolume& lv, CarveFormat format,
                                                    uint32_t cluster, uint64_t end, ProgressBlock& progress) {
  if (lv.allocationBitmap.empty() || !lv.clusterMarkedFree(cluster)) return std::nullopt;
  const PartitionRecord& p = lv.partition;
  ClusterChoice choice{cluster, end, p.clusterBytes(), [&p](uint32_t c) { return p.clusterPosition(c); },
                       [&lv](uint32_t c) { return lv.clusterMarkedFree(c); }};
  CarveSource source(device, std::move(choice), (end - cluster) * p.clusterBytes());
  source.stopWhen([&progress] { return progress.cancelled(); });
  auto carve = carveByStructure(format, source);
  if (!carve || !carve->complete) return std::nullopt;
  std::vector<ClusterRun> runs = source.clustersOf(carve->length);
  if (runs.size() < 2) return std::nullopt;
  return PiecesCarve{std::move(*carve), std::move(runs)};
}

// Reads clusters [kFirstScannedCluster, end) and applies the detectors.
void examineHeap(SectorDevice& device, LoadedVolume& lv, ProgressBlock& progress, uint64_t end) {
  const PartitionRecord& p = lv.partition;
  const uint32_t cs = p.clusterSectors;
  const size_t clusterLength = static_cast<size_t>(p.clusterBytes());
  const uint64_t batchClusters =
      std::min<uint64_t>(std::max<uint64_t>(kBatchBytes / clusterLength, 1), end - kFirstScannedCluster);
  IoBuffer batchMemory(static_cast<size_t>(batchClusters) * clusterLength);
  uint8_t* const batch = batchMemory.data();
  std::vector<size_t> lengths(static_cast<size_t>(batchClusters));
  std::vector<uint8_t> folderBuffer(2 * clusterLength, 0);  // the second half stays zero
  std::vector<uint8_t> jpegWindow;
  DirectoryWalk walk(device, lv, progress, folderReadBudget(p, device.size()));
  uint64_t structureEnd = 0;  // the first cluster past the last file carved by its structure
  SearchMemo searches;

  for (uint64_t c = kFirstScannedCluster; c < end;) {
    const uint64_t m = std::min<uint64_t>(batchClusters, end - c);
    const size_t want = static_cast<size_t>(m) * clusterLength;
    size_t got = device.readAt(p.clusterPosition(static_cast<uint32_t>(c)), batch, want);
    for (uint64_t j = 0; j < m; ++j) {
      size_t at = static_cast<size_t>(j) * clusterLength;
      if (got >= at + clusterLength) {
        lengths[j] = clusterLength;
      } else {
        // Past a failed or short read each cluster is asked for alone, so a
        // bad sector costs only the clusters it lies in.
        const uint64_t position = p.clusterPosition(static_cast<uint32_t>(c + j));
        lengths[j] = device.readZeroFilled(position, batch + at, clusterLength);
        const uint64_t wanted = checkedSum(position, clusterLength).value_or(UINT64_MAX);
        const uint64_t end = device.size() != 0 ? std::min(wanted, device.size()) : wanted;
        if (position + lengths[j] < end)
          if (auto lost = ByteRange::between(position + lengths[j], end)) lv.noteUnreadable(*lost);
      }
    }

    for (uint64_t j = 0; j < m; ++j) {
      const uint32_t cluster = static_cast<uint32_t>(c + j);
      if (progress.cancelled()) return;
      progress.stepIt();
      walk.setScannedRange(kFirstScannedCluster, cluster);
      if (walk.isVisited(cluster)) continue;
      const uint8_t* data = batch + static_cast<size_t>(j) * clusterLength;
      switch (const CarveFormat format = matchCarveSignature(data)) {
        case CarveFormat::None: break;
        case CarveFormat::Jpeg:
          // A carve cut short before its end marker (damage, the device end or
          // the window limit) is kept as far as it reached and marked incomplete.
          if (auto carve = carveJpeg(device, lv, cluster, data, jpegWindow)) {
            ExfatFileRecord& r =
                addCarved(lv, std::to_string(cluster) + ".jpg", cluster, carve->length, carve->kind, format);
            if (!carve->runs.empty()) lv.carvedClusters.emplace(&r, std::move(carve->runs));
          }
          break;
        case CarveFormat::Ole2:
          if (auto doc = carveOle2Document(device, cluster, data, p))
            addCarved(lv, doc->name, cluster, doc->length, kCarvedLengthEstimated, format);
          break;
        default:
          // Inside a file already walked to its end a signature is that
          // file's content (a picture stored in an archive), not a file.
          if (cluster < structureEnd) break;
          CarveSource source(device, p.clusterPosition(cluster), (end - cluster) * clusterLength);
          source.useSearchMemo(&searches);
          source.stopWhen([&progress] { return progress.cancelled(); });
          auto carve = carveByStructure(format, source);
          if (progress.cancelled()) return;  // a walk the stop cut short is no carve
          // A walk that breaks off, or that passes clusters other files hold
          // now, is tried again over the free clusters alone.
          if (!carve || !carve->complete || holdsClustersInUse(lv, cluster, carve->length)) {
            auto pieces = carveThroughFreeClusters(device, lv, format, cluster, end, progress);
            if (progress.cancelled()) return;
            if (pieces) {
              ExfatFileRecord& r = addCarved(lv, std::to_string(cluster) + pieces->carve.extension, cluster,
                                             pieces->carve.length, kCarvedThroughFreeClusters, format);
              lv.carvedClusters.emplace(&r, std::move(pieces->runs));
              break;
            }
          }
          if (!carve) break;
          addCarved(lv, std::to_string(cluster) + carve->extension, cluster, carve->length,
                    carve->complete ? kCarvedToStructureEnd : kCarvedIncomplete, format);
          if (carve->complete) structureEnd = cluster + (carve->length + clusterLength - 1) / clusterLength;
          break;
      }
      if (cs != 1 && looksLikeDirectoryCluster(data)) {
        ExfatFileRecord& found = addFoundFolder(lv, cluster);
        std::memcpy(folderBuffer.data(), data, clusterLength);
        walk.setScannedRange(kFirstScannedCluster, cluster + 1);
        walk.decodeDirectoryBuffer(folderBuffer.data(), folderBuffer.size(), lengths[j], found);
      }
    }
    c += m;
  }
}

}  // namespace

bool scanLostFiles(const DiskRecord& disk, LoadedVolume& lv, ProgressBlock& progress) {
  PartitionRecord& p = lv.partition;
  // A table partition's FAT length is taken from its boot sector afresh.
  if (p.searchKind == kSearchKindTable) p.fatSectors = 0;
  lv.emptyResults();
  std::unique_ptr<SectorDevice> device = openDevice(disk.devicePath, OpenMode::Read);
  if (!device) return false;
  Volume volume = establishVolume(*device, disk, lv, progress);
  prepareRoots(lv);
  if (volume.clusterCount == 0) {
    // As many clusters as the FAT has entries for.
    const uint64_t entries = static_cast<uint64_t>(p.fatSectors) * p.bytesPerSector / 4;
    volume.clusterCount = static_cast<uint32_t>(std::min<uint64_t>(entries > 2 ? entries - 2 : 0, UINT32_MAX));
  }
  if (p.clusterSectors == 0 || p.clusterBytes() > kMaxClusterBytes) return true;
  // Which of the deleted files' clusters other files took since: the bitmap
  // and the live tree tell, as after a load. The clusters free in the bitmap
  // are also where a carve looks for the rest of an image whose data breaks off.
  if (volume.rootCluster != 0) loadAllocationBitmap(*device, lv, volume.rootCluster);
  const uint64_t end = scanEnd(p, volume.clusterCount, device->size());
  progress.setRange(end > kFirstScannedCluster ? end - kFirstScannedCluster : 0, 1);
  if (end > kFirstScannedCluster) examineHeap(*device, lv, progress, end);
  markLiveTree(lv, volume.rootCluster, device->size());
  return true;
}

}  // namespace dudorazu
