#include "core/exfat/tree_loader.h"

#include <algorithm>

#include "core/device/open_device.h"
#include "core/exfat/directory_walk.h"
#include "core/exfat/exfat_volume.h"
#include "core/exfat/live_tree.h"

namespace dudorazu {

uint64_t folderReadBudget(const PartitionRecord& partition, uint64_t deviceBytes) {
  // Every folder cluster of a sound volume is read once; folders on a
  // damaged volume may share clusters now and then. Four reads per cluster
  // leaves all of that alone and still ends a hostile image that cross-links
  // every folder with every other, or gives a folder a length of exabytes.
  const uint64_t clusterBytes = std::max<uint64_t>(partition.clusterBytes(), 1);
  const uint64_t bytes = std::min<uint64_t>(partition.bytesOnDevice(deviceBytes).length(), UINT64_MAX / 8);
  return (4 * bytes + (16ull << 20)) / clusterBytes + 16;
}

void setTreeTop(LoadedVolume& volume, ExfatFileRecord& top, const char* name, uint32_t firstCluster) {
  top.name = name;
  top.state = kStateFolder;
  top.firstCluster = firstCluster;
  top.dataLength = 0;
  top.parent = nullptr;
  volume.clusterIndex.insert({firstCluster, &top});
}

bool loadVolumeTree(const DiskRecord& disk, LoadedVolume& volume, ProgressBlock& progress) {
  PartitionRecord& partition = volume.partition;
  volume.emptyResults();
  std::unique_ptr<SectorDevice> device = openDevice(disk.devicePath, OpenMode::Read);
  if (!device) return false;
  VolumeParameters params;
  if (!readVolumeParameters(*device, partition, params)) return false;
  progress.clearText();
  progress.setRange(params.clusterCount, 1);
  loadFat(*device, volume, params.fatOffset, params.clusterCount);
  loadAllocationBitmap(*device, volume, params.rootCluster);

  ExfatFileRecord& root = volume.rootRecord;
  setTreeTop(volume, root, kRootFolderName, params.rootCluster);

  DirectoryWalk walk(*device, volume, progress, folderReadBudget(partition, device->size()));
  walk.walkRootChain(params.rootCluster, root);
  markLiveTree(volume, params.rootCluster, device->size());
  return !progress.cancelled();
}

bool rootFolderReadable(const DiskRecord& disk, const LoadedVolume& volume) {
  std::unique_ptr<SectorDevice> device = openDevice(disk.devicePath, OpenMode::Read);
  const uint64_t bytes = volume.clusterBytes();
  if (!device || bytes == 0) return false;
  std::vector<uint8_t> cluster(static_cast<size_t>(bytes));
  return device->readAt(volume.clusterPosition(volume.rootRecord.firstCluster), cluster.data(), cluster.size()) ==
         cluster.size();
}

}  // namespace dudorazu
