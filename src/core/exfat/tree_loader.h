#pragma once
// Loading an exFAT partition's whole folder tree, deleted folders and files
// included, from the raw device.
#include "core/common/progress_block.h"
#include "core/device/disk_record.h"
#include "core/exfat/loaded_volume.h"

namespace dudorazu {

// Record names of the two tree roots.
inline constexpr const char* kRootFolderName = "根目录";
inline constexpr const char* kExtendedFolderName = "扩展目录";

// Makes `top` (the volume's root or carved-files record) the live folder
// `name` at `firstCluster`, a tree's top, and indexes it.
void setTreeTop(LoadedVolume& volume, ExfatFileRecord& top, const char* name, uint32_t firstCluster);

// Reads the boot sector (geometry into the volume's partition) and the FAT,
// then decodes the root folder's chain and descends into every folder
// found, depth first. Earlier
// results (both trees, both indexes, the FAT) are emptied first; a device
// that cannot be opened or a volume without a usable boot sector leaves them
// empty and gives false.
// A stop request (the progress block's cancel flag) ends the descent early:
// what was decoded stays, and the result is false, as the tree is partial.
// Progress: range = the volume's cluster count, one step per folder found.
bool loadVolumeTree(const DiskRecord& disk, LoadedVolume& volume, ProgressBlock& progress);

// Whether the root folder's first cluster can be read. When it cannot, the
// volume was cut off (a truncated image) or the read failed, and a save
// would find nothing while saying so quietly.
bool rootFolderReadable(const DiskRecord& disk, const LoadedVolume& volume);

// How many folder clusters one walk may read: four times the clusters of the
// partition as far as the device holds it, plus 16 MiB worth. Counts that a
// boot sector claims play no part, so a hostile one cannot raise the bound.
uint64_t folderReadBudget(const PartitionRecord& partition, uint64_t deviceBytes);

}  // namespace dudorazu
