#pragma once
// Which records of a loaded volume are live and which clusters they hold,
// worked out once after a load so that a save can tell, cluster by cluster,
// whether a deleted file's data is still its own.
#include <cstdint>

#include "core/exfat/loaded_volume.h"

namespace dudorazu {

// The live tree is the root folder and every live folder and file reached
// from it through live folders. After a lost-file scan its top is the found
// folder at `rootCluster`, joined by every found folder a live folder in it
// names. Marks each record of live state outside it (outsideLiveTree) and
// fills volume.liveClusters with the clusters the live tree holds: folder
// chains and each file's clusters as far as its length reaches. rootCluster
// 0: not known, nothing is live. Each FAT entry is followed at most once, so
// cross-linked or cyclic chains cost no more than the FAT; clusters past
// the device's end (deviceBytes, 0 unknown) are left out. liveClusters
// stays empty when no top was found (a scan that did not find the root).
void markLiveTree(LoadedVolume& volume, uint32_t rootCluster, uint64_t deviceBytes);

// A record whose clusters nothing holds for it any more (deleted, or live
// outside the live tree), so that other files may have taken them. Carves
// have no entry to go by; their content tells.
inline bool clustersReleased(const ExfatFileRecord& r) {
  return r.carve == kNotCarved && (r.isDeleted() || r.outsideLiveTree);
}

}  // namespace dudorazu
