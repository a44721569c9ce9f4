#pragma once
// The recoverability of every record of a loaded volume (see Recoverability),
// worked out after a load or a lost-file scan from what is in memory: the
// allocation bitmap, the live tree's clusters, the FAT, the clusters chosen
// for carves and the unreadable areas. No file data is read.
#include <vector>

#include "core/common/byte_range.h"
#include "core/exfat/loaded_volume.h"

namespace dudorazu {

// The unreadable areas given and met, sorted, with overlapping and touching
// ones merged.
std::vector<ByteRange> unreadableAreas(const LoadedVolume& volume);

// Sets recoverability, recoverMarks and the cluster counts of every record
// of both trees. A file's clusters are those a save reads (the same walk,
// free clusters guessed after a cleared chain); each is tested against the
// bitmap of clusters in use and the unreadable areas once, so the cost is
// one pass over the clusters the records claim. A folder takes on
// everything below it; a folder or carve the scan found that the live tree
// holds too is marked kAlsoInTree, with all below it.
void assessRecoverability(LoadedVolume& volume);

}  // namespace dudorazu
