#pragma once
// The lost-file scan: every cluster of the volume is examined for folders
// that no directory reaches any more, and for files by their content:
// JPEG images, Office documents and the formats carve_signatures.h lists.
#include "core/common/progress_block.h"
#include "core/device/disk_record.h"
#include "core/exfat/loaded_volume.h"

namespace dudorazu {

// Empties the volume's earlier results, then reads every cluster of the
// heap, 2 to ClusterCount + 1, as far as the partition and the device reach.
// With a boot sector it reads the allocation bitmap too; the live tree is
// marked as after a load (see markLiveTree). Found folders go to the front
// of rootRecord's children (named after their cluster, with what they hold
// decoded below them); carved files go to the back of extendedRecord's
// children and into carvedIndex, named by their first cluster and
// extension (Office documents by their title first). Without a boot sector
// the volume is located by its up-case table, or every sector is taken as a
// cluster. The cancel flag is tested before each cluster and by walks
// through a file's structure; what was found until then stays. False only
// when the device cannot be opened.
bool scanLostFiles(const DiskRecord& disk, LoadedVolume& volume, ProgressBlock& progress);

}  // namespace dudorazu
