#pragma once
// Recognising a lost exFAT volume at one place of a disk: through its main
// boot sector or through the backup 12 sectors later, where it starts, what
// it is called and how the search window describes it.
#include <cstdint>
#include <string>

#include "platform/sector_device.h"
#include "core/partitions/exfat_boot_copy.h"

namespace dudorazu {

// Sectors read for one cylinder or head candidate: the candidate, the
// twelve after it up to its backup boot sector, and one sector before it.
inline constexpr uint32_t kCandidateSectors = 14;

struct CandidateMatch {
  BootCopy copy = BootCopy::None;
  const uint8_t* bootSector = nullptr;  // points into the candidate buffer
  uint64_t distance = 0;                // 512-byte sectors from the candidate to the copy
};

// `candidate` points at the candidate sector; 13 sectors must be readable
// from there. The main boot sector wins over the backup.
CandidateMatch matchCandidate(const uint8_t* candidate);
// As above, and when neither copy is there, the backup of a volume with
// 1, 2 or 4 KiB sectors (12 of its own sectors after the candidate at sector
// `lba` of `device`), read into `spare` (one sector) when its sector-size
// field agrees with where it stands.
CandidateMatch matchCandidate(const uint8_t* candidate, SectorDevice& device, uint64_t lba, uint8_t* spare);

// Sector mode: the start of the volume whose boot sector (main or backup)
// stands at sector `lba`. The partition-offset field decides when it names
// `lba` or `lba` - 12; otherwise (formatters may leave it 0) the disk does:
// a boot sector of the same volume 12 sectors before, or a root directory
// that only lines up when the volume starts 12 sectors earlier, marks a
// backup.
uint64_t volumeStartFor(SectorDevice& device, uint64_t lba, const uint8_t* bootSector);

// True when the root directory of the volume described by `bootSector`, if
// it started at `start`, begins with an allocation-bitmap (0x81) and an
// up-case table (0x82) entry in its first sector.
bool rootDirectoryLinesUp(SectorDevice& device, uint64_t start, const uint8_t* bootSector);

// The label of a volume starting at `start`. A volume found through its
// backup boot sector has a damaged main one, so the backup's fields locate
// the root directory then.
std::string foundVolumeLabel(SectorDevice& device, uint64_t start, const uint8_t* bootSector, bool viaBackup);

// "exFat;label;c,h,1;size;主;" (or "逻辑;" for entryKind 2).
std::string describeFoundVolume(const std::string& label, const std::string& chs, uint64_t sizeSectors,
                                uint8_t entryKind);
// "c,h,1"
std::string chsText(uint64_t cylinder, uint32_t head);

}  // namespace dudorazu
