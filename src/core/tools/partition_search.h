#pragma once
// The lost-partition search: walks a disk by its CHS grid or sector by
// sector, recognises exFAT boot sectors and appends each new volume to the
// disk's partition list as a found record (searchKind 2).
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "core/common/progress_block.h"
#include "core/device/disk_record.h"

namespace dudorazu {

// Aligned: every 1 MiB boundary and the cylinder mode's candidates, each
// with its backup boot sector; fast, and it meets the volumes of today's
// partitioning tools, which the cylinder grid misses.
enum class SearchMode : uint8_t { Cylinder = 0, Head = 1, Sector = 2, Aligned = 3 };

// Sector mode reads the disk in pieces of this many sectors (10 MiB).
inline constexpr uint32_t kSearchChunkSectors = 20480;
// The aligned mode's step: 1 MiB.
inline constexpr uint32_t kAlignedStepSectors = 2048;

// One volume met by the search, as the search window shows it.
struct FoundVolume {
  std::string description;  // "exFat;label;c,h,1;size;主;"
  std::string label;
  std::string chs;          // "c,h,1"
  uint64_t sizeSectors = 0;
  uint64_t startSector = 0;
  uint8_t entryKind = 1;
  bool viaBackup = false;   // recognised by its backup boot sector
  bool appended = false;    // false when an earlier search had listed it already
};

using FoundVolumeCallback = std::function<void(const FoundVolume&)>;

// Runs the search. `heads` 0 means the disk's tracksPerCylinder. Every
// volume is reported through `onFound` (once per run) and its description
// is also left in `progress`'s text. The disk's cylinders field is
// recomputed from the heads used. Returns false when the device cannot be
// opened or when a sector-mode or aligned search is stopped; a stop is
// honoured per cylinder (cylinder and head modes), per 10 MiB piece (sector
// mode, whose last piece is the disk's tail) or per candidate (aligned), and
// volumes appended before it stay.
bool searchPartitions(DiskRecord& disk, SearchMode mode, uint8_t heads, ProgressBlock& progress,
                      const FoundVolumeCallback& onFound = {});

}  // namespace dudorazu

namespace dudorazu {

// A found volume lives only as long as the catalogue the search filled; a
// command given later names it by where it starts: "@2048" (512-byte
// sectors, as the search lists starts).
std::string foundVolumeAddress(uint64_t startSector);
std::optional<uint64_t> parseFoundVolumeAddress(const std::string& text);

// The found record of the exFAT volume whose main boot sector, or backup
// boot sector, makes it start at 512-byte sector `startSector`: the one
// already listed, else appended as the search appends it. Null when no exFAT
// boot sector stands there or the disk cannot be opened.
PartitionRecord* foundVolumeAt(DiskRecord& disk, uint64_t startSector);

// The partition named `text`: by its name or drive letter (findPartition),
// else the found volume a "@SECTOR" address names.
PartitionRecord* findPartitionOrFoundVolume(DiskRecord& disk, const std::string& text);

}  // namespace dudorazu
