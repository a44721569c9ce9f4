#pragma once
// Writing a partition table backup (see partition_table_backup.h) back to
// the disk it was made from.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/common/messages.h"
#include "core/device/disk_record.h"

namespace dudorazu {

struct BackupContents {
  std::vector<uint64_t> offsets;  // byte offsets, one per sector image
  std::string sectors;            // the sector images, 512 bytes each
  std::string devicePath;
  std::string displayName;
};

enum class RestoreResult { Restored, BadFile, Mismatch, Refused, DiskNotOpened, WriteFailed };

// Splits a trailer into offsets, devicePath and display name. False when it
// holds no "^" or an offset that is not a sector-aligned decimal number.
bool parseBackupTrailer(std::string_view trailer, BackupContents& contents);

// A whole backup file held in memory. False for a damaged or foreign file:
// no trailer, a bad offset, or a count of offsets that differs from the
// number of sector images.
bool parseBackupFile(std::string_view bytes, BackupContents& contents);

// Reads a backup file, reading the data part only once the trailer has
// vouched for its size. Nullopt when it cannot be read or is not valid.
std::optional<BackupContents> readBackupFile(const std::string& path);

// True (after showing "备份信息与磁盘不对应") when `contents` was made from
// another disk: its stored devicePath or display name differs from the
// disk's. A front end may ask it before its confirmation; the restore asks
// it again.
bool refuseForeignBackup(const DiskRecord& selected, const BackupContents& contents, MessageSink& messages);

// Writes `contents` to `selected` when the stored devicePath and display
// name both equal the disk's ("备份信息与磁盘不对应", Mismatch), every
// sector lies inside the disk (Mismatch) and every sector is one of the
// tables the backup restores (see straySector; Refused); a refusal names
// the offset and nothing is written. Shows "恢复成功" only when every write
// succeeded.
RestoreResult restoreFromBackup(const DiskRecord& selected, const BackupContents& contents, MessageSink& messages);

// The restore command on a file: a file that is not a valid backup shows a
// message and writes nothing.
RestoreResult restorePartitionTable(const DiskRecord& selected, const std::string& filePath, MessageSink& messages);

}  // namespace dudorazu
