#pragma once
// Finding an exFAT volume by the first sector of its up-case table, for disks
// whose boot sectors are gone. The table's first 512 bytes are the same on
// every volume formatted with the standard table, and a default format puts
// it right behind the allocation bitmap, so its position gives the volume's
// cluster geometry back.
#include <cstdint>
#include <optional>

#include "core/common/progress_block.h"
#include "core/device/disk_record.h"

namespace dudorazu {

// Where a default format of a volume of `sectorCount` sectors puts things.
struct DefaultExfatLayout {
  uint32_t sectorsPerCluster = 0;
  uint64_t fatSectors = 0;      // rounded up to whole clusters
  uint32_t bitmapClusters = 0;  // kept to 8 bits, as the layout guess always has
  uint64_t searchRange = 0;     // sectors read from the start before giving up
};

// None for volumes of 16 x 2^32 sectors or more.
std::optional<DefaultExfatLayout> defaultExfatLayout(uint64_t sectorCount);

// True when `sector` holds the first 512 bytes of the standard up-case table.
bool isUpcaseTableStart(const uint8_t* sector);

// Reads the sectors from `firstSector` on (at most the layout's search range)
// and reports whether one other than the first matches the up-case pattern;
// `foundSector` receives the first such sector. Progress goes to `progress`
// (range = sectors to read); a cancel ends the scan with false.
bool scanForUpcaseTable(const DiskRecord& disk, ProgressBlock& progress, uint64_t firstSector,
                        uint64_t sectorCount, uint64_t* foundSector = nullptr);

// The volume locator of the lost-file scan: when the up-case table is found
// at sector k (k > 0) of the range, the table is taken to begin at cluster
// B + 2, right behind the bitmap, which fixes clusterSectors and clusterBase
// of `partition`. False (fields untouched) when nothing is found.
bool locateVolumeByUpcase(const DiskRecord& disk, PartitionRecord& partition, ProgressBlock& progress,
                          uint64_t firstSector, uint64_t sectorCount);

}  // namespace dudorazu
