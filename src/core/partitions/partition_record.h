#pragma once
// One partition, whole-disk volume, found volume or user-defined region: a
// plain description, copied freely. What a load reads of its exFAT volume
// is a LoadedVolume (core/exfat/loaded_volume.h) owned by whoever loaded it.
#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/common/byte_range.h"
#include "platform/sector_device.h"

namespace dudorazu {

// Type codes given when a file system is recognised.
inline constexpr uint8_t kTypeExfat = 5;
inline constexpr uint8_t kTypeFat16 = 6;
inline constexpr uint8_t kTypeNtfs = 7;
inline constexpr uint8_t kTypeFat32Gpt = 0x0B;
inline constexpr uint8_t kTypeFat32 = 0x0C;
inline constexpr uint8_t kTypeExt = 0x83;
inline constexpr uint8_t kTypeHfs = 0x19;

inline constexpr uint8_t kEntryPrimary = 1;
inline constexpr uint8_t kEntryLogical = 2;

inline constexpr uint32_t kSearchKindTable = 0;
inline constexpr uint32_t kSearchKindFound = 2;

struct PartitionRecord {
  std::string devicePath;   // HFS records only
  std::string hfsKindText;
  uint32_t hfsKind = 0;     // 0 none, 1 HFS, 2 HFS+, 3 HFSX, 4 HFS+ in HFS
  std::string extVersion;   // "EXT2", "EXT3", "EXT4"
  std::string label;
  std::string driveLetter;  // on Linux: the mount point of the partition
  std::string name;
  // startSector and sizeSectors count the disk's own sectors, of
  // deviceSectorSize bytes (4096 on disks with 4 KiB logical sectors), never
  // the volume's.
  uint64_t sizeSectors = 0;
  uint64_t startSector = 0;
  uint32_t deviceSectorSize = kSectorSize;
  uint8_t entryKind = kEntryPrimary;
  uint32_t clusterSectors = 0;  // in the volume's sectors of bytesPerSector bytes
  // The 512-byte unit of the disk at which cluster 0 would begin; kept modulo
  // 2^64 so a heap that starts before two clusters still places cluster 2.
  uint64_t clusterBase = 0;
  uint8_t typeCode = 0;
  // The type byte of the MBR or EBR entry as read, kept when the file
  // system found replaces it in typeCode; 0 for every other record.
  uint8_t tableType = 0;
  uint32_t bytesPerSector = 512;
  uint32_t searchKind = kSearchKindTable;
  // Listed under its table's type, yet its main boot sector is not exFAT and
  // its backup is: the volume is read through the backup.
  bool exfatFromBackupBootSector = false;

  uint32_t clusterCount = 0;  // clusters in the heap, from the boot sector; 0 unknown

  uint32_t fatSectors = 0;  // FAT length in the volume's sectors, from the boot sector

  uint64_t clusterBytes() const { return static_cast<uint64_t>(bytesPerSector) * clusterSectors; }
  // Byte positions on the disk, all in 64 bits. A number past them shows as
  // UINT64_MAX; arithmetic on the two goes through claimedBytes or
  // bytesOnDevice instead.
  uint64_t startOffset() const { return checkedProduct(startSector, deviceSectorSize).value_or(UINT64_MAX); }
  uint64_t sizeBytes() const { return checkedProduct(sizeSectors, deviceSectorSize).value_or(UINT64_MAX); }
  // The bytes the table gives; nullopt when they end past 64 bits (a damaged
  // or hostile entry).
  std::optional<ByteRange> claimedBytes() const {
    std::optional<SectorRange> sectors = SectorRange::of(startSector, sizeSectors);
    return sectors ? bytesOf(*sectors, deviceSectorSize) : std::nullopt;
  }
  // What of the claim lies on a device of `deviceBytes` (0: size unknown).
  // A claim past 64 bits is cut like one past the disk's end: from its start
  // to the end of what exists, or nothing when even the start is past it.
  ByteRange bytesOnDevice(uint64_t deviceBytes) const {
    std::optional<ByteRange> bytes = claimedBytes();
    if (!bytes) bytes = ByteRange::from(startOffset());
    return deviceBytes != 0 ? bytes->before(deviceBytes) : *bytes;
  }
  uint64_t clusterPosition(uint32_t cluster) const {
    return clusterBase * kSectorSize + cluster * clusterBytes();
  }
};

// True when the partition is opened as an exFAT volume: listed as exFAT,
// or holding one behind a destroyed main boot sector.
inline bool holdsExfatVolume(const PartitionRecord& p) {
  return p.typeCode == kTypeExfat || p.exfatFromBackupBootSector;
}

// The text by which a partition is shown and found: its drive letter (mount
// point) when it has one, else its name.
inline const std::string& partitionText(const PartitionRecord& p) {
  return p.driveLetter.empty() ? p.name : p.driveLetter;
}

}  // namespace dudorazu
