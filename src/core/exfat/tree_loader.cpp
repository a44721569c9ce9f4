#include "core/exfat/tree_loader.h"

#include <algorithm>

#include "core/exfat/directory_walk.h"
#include "core/exfat/exfat_volume.h"

namespace dudorazu {

uint64_t folderReadBudget(const PartitionRecord& partition, uint64_t clusterCount) {
  // Every folder cluster of a sound volume is read once; folders on a
  // damaged volume may share clusters now and then. Four reads per cluster of
  // the volume (and at least a generous floor) leaves all of that alone and
  // still ends a hostile image that cross-links every folder with every other.
  uint64_t clusterBytes = std::max<uint64_t>(partition.clusterBytes(), 1);
  uint64_t partitionClusters = partition.sizeSectors / std::max<uint64_t>(clusterBytes / kSectorSize, 1);
  uint64_t clusters = std::max(partitionClusters, clusterCount);
  return 4 * clusters + (1u << 16);
}

bool loadVolumeTree(const DiskRecord& disk, PartitionRecord& partition, ProgressBlock& progress) {
  partition.emptyResults();
  std::unique_ptr<SectorDevice> device = openDevice(disk.devicePath, OpenMode::Read);
  if (!device) return false;
  VolumeParameters params;
  if (!readVolumeParameters(*device, partition, params)) return false;
  progress.clearText();
  progress.setRange(params.clusterCount, 1);
  loadFat(*device, partition, params.fatOffset);

  ExfatFileRecord& root = partition.rootRecord;
  root.name = kRootFolderName;
  root.state = kStateFolder;
  root.dataLength = 0;
  root.parent = nullptr;
  root.firstCluster = params.rootCluster;
  partition.clusterIndex.insert({params.rootCluster, &root});

  DirectoryWalk walk(*device, partition, progress, folderReadBudget(partition, params.clusterCount));
  walk.walkRootChain(params.rootCluster, root);
  return true;
}

}  // namespace dudorazu
