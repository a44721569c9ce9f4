#pragma once
// Where a partition table restore may write. A backup file is plain text
// and sector images: its offsets may have been changed by hand, by a tool
// or by damage, and a restore that trusted them would overwrite whatever
// they point at, file data included.
#include <cstdint>
#include <optional>

#include "platform/sector_device.h"
#include "core/tools/partition_table_restore.h"

namespace dudorazu {

enum class StrayKind { PastEnd, OutsideTables };

struct StraySector {
  uint64_t offset = 0;
  StrayKind kind = StrayKind::OutsideTables;
};

// The first offset of `contents` that a restore onto `disk` (`diskBytes`
// long) must not write; none when every one may be written. The tables are
// those the disk will hold once the backup is written back (its sector
// images over the disk as it is now). A sector may be written when it is
// sector 0, an EBR of a chain the MBR reaches, a GPT header or a sector of
// an entry array a header names, the first sector of a partition those
// tables name, or the sector right after one (where a chain of logical
// volumes puts its next EBR, and where the backup looks for it); and never
// when it lies inside a partition they name, past its first sector.
std::optional<StraySector> straySector(SectorDevice& disk, uint64_t diskBytes, const BackupContents& contents);

}  // namespace dudorazu
