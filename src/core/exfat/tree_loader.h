#pragma once
// Loading an exFAT partition's whole folder tree, deleted folders and files
// included, from the raw device.
#include "core/common/progress_block.h"
#include "core/device/disk_record.h"

namespace dudorazu {

// Record names of the two tree roots.
inline constexpr const char* kRootFolderName = "根目录";
inline constexpr const char* kExtendedFolderName = "扩展目录";

// Reads the boot sector and the FAT into `partition`, then decodes the root
// folder's chain and descends into every folder found, depth first. Earlier
// results (both trees, both indexes, the FAT) are emptied first; a device
// that cannot be opened or a volume without a usable boot sector leaves them
// empty and gives false.
// Progress: range = the volume's cluster count, one step per folder found.
bool loadVolumeTree(const DiskRecord& disk, PartitionRecord& partition, ProgressBlock& progress);

// Clusters of the partition (at the volume's cluster size): the bound on how
// many folder clusters a walk may read, times a small factor.
uint64_t folderReadBudget(const PartitionRecord& partition, uint64_t clusterCount);

}  // namespace dudorazu
