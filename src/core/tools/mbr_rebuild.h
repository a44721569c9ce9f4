#pragma once
// The partition-table rebuild: the list of volumes offered for a new MBR and
// the MBR written from up to four of them.
#include <cstdint>
#include <string>
#include <vector>

#include "core/common/messages.h"
#include "core/device/disk_record.h"
#include "core/tools/system_disk_guard.h"

namespace dudorazu {

// One row of the rebuild list.
struct RebuildRow {
  std::string system;     // "NTFS", "FAT32", "FAT16" or "exFat"
  std::string label;
  std::string startText;  // start sector, unsigned decimal
  std::string sizeText;   // "%.1f GB" / " MB" / " KB"
  std::string kindText;   // "主", "逻辑" or ""
  size_t recordIndex = 0; // the PartitionRecord in disk.partitions
};

// The family text of a type code; nullptr for codes the rebuild never offers.
const char* rebuildFamily(uint8_t typeCode);

// The size column for a volume of `sizeSectors` sectors.
std::string rebuildSizeText(uint64_t sizeSectors);

// The rows offered for `disk`: records with a family, without the found
// ones already present in the table with the same start and family.
std::vector<RebuildRow> rebuildRows(const DiskRecord& disk);

// Shows "不能更改当前系统所在的硬盘分区信息！" and returns false when `disk`
// must not be changed (see diskHasMountedVolume).
bool rebuildAllowed(const DiskRecord& disk, MessageSink& messages);

enum class RebuildResult { Written, NothingChosen, Refused, Failed };

// The entry a record gets, in the disk's sectors: its start and size, the
// size cut at the disk's end when the volume claims more than the disk
// holds (a truncated image, or a damaged boot sector).
struct RebuiltEntry {
  uint64_t firstSector = 0;
  uint64_t sectors = 0;
  bool cut = false;
};
RebuiltEntry rebuiltEntry(const DiskRecord& disk, const PartitionRecord& record);

// True, after a message, when the ticked records cannot make a table: more
// than four ("选择错误，请从新选择"), a volume that starts past the disk's end,
// a start or size an MBR cannot hold, or two volumes whose entries would
// overlap (both named). Front ends ask it before their question;
// writeRebuiltMbr asks it again.
bool refuseRebuild(const DiskRecord& disk, const std::vector<size_t>& tickedRecords, MessageSink& messages);

// Fills the four entries of `sector` (sector 0 as read) from the ticked
// records, top to bottom; status and CHS bytes and the boot code stay.
void fillMbrEntries(uint8_t* sector, const DiskRecord& disk, const std::vector<size_t>& tickedRecords);

// Writes sector 0 of the disk from the ticked rows' records. None: nothing
// happens. What refuseRebuild refuses, a disk that holds a mounted volume,
// or a failed read, write or open is reported and returns Refused or
// Failed, with nothing written.
RebuildResult writeRebuiltMbr(const DiskRecord& disk, const std::vector<size_t>& tickedRecords, MessageSink& messages);

}  // namespace dudorazu
