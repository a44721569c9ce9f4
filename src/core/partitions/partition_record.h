#pragma once
// One partition, whole-disk volume, found volume or user-defined region, and
// (once opened) the exFAT volume it holds.
#include <algorithm>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "core/common/byte_range.h"
#include "platform/sector_device.h"
#include "core/exfat/exfat_file_record.h"

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

  // exFAT volume results. An empty fatTable means "no FAT in memory".
  std::vector<uint32_t> fatTable;
  // The allocation bitmap: bit n (LSB first) set when cluster n + 2 is in
  // use. Empty when it was not read.
  std::vector<uint8_t> allocationBitmap;
  // The clusters the live tree holds, in the bitmap's layout: what a load
  // found in the root folder's chain and in every live folder and file below
  // it (see markLiveTree). Empty until then.
  std::vector<uint8_t> liveClusters;
  uint32_t fatSectors = 0;
  ExfatFileRecord rootRecord;
  ExfatFileRecord extendedRecord;
  std::multimap<uint32_t, ExfatFileRecord*> clusterIndex;  // not owning
  std::multimap<uint32_t, ExfatFileRecord*> carvedIndex;   // not owning
  // The clusters of carved records that do not lie one after the other
  // from their first cluster on, in order.
  std::map<const ExfatFileRecord*, std::vector<ClusterRun>> carvedClusters;

  PartitionRecord() = default;
  // The loaded results (FAT, bitmap, trees, indexes) belong to the one record
  // that loaded them. A record is never copied behind anyone's back: a copy
  // would either lose them or share pointers into the original's trees. Take
  // the description alone with description(); move a record to hand its
  // results over.
  PartitionRecord(const PartitionRecord&) = delete;
  PartitionRecord& operator=(const PartitionRecord&) = delete;
  PartitionRecord(PartitionRecord&& other) noexcept { take(other); }
  PartitionRecord& operator=(PartitionRecord&& other) noexcept {
    if (this != &other) {
      emptyResults();
      take(other);
    }
    return *this;
  }
  ~PartitionRecord() { emptyResults(); }

  // Releases both trees, both indexes and the FAT (before a new load or scan,
  // and when the partition's window closes).
  void emptyResults() {
    clusterIndex.clear();
    carvedIndex.clear();
    carvedClusters.clear();
    clearChildren(rootRecord);
    clearChildren(extendedRecord);
    fatTable.clear();
    fatTable.shrink_to_fit();
    allocationBitmap.clear();
    allocationBitmap.shrink_to_fit();
    liveClusters.clear();
    liveClusters.shrink_to_fit();
  }

  // Number of FAT entries that may be followed. Counts only what is in memory.
  uint32_t fatEntryCount() const { return static_cast<uint32_t>(fatTable.size()); }
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
  // One past the last cluster number of the heap: the boot sector's count,
  // and no further than the FAT in memory reaches. Unknown without a count.
  uint64_t heapEnd() const {
    if (clusterCount == 0) return 1ull << 32;
    return fatTable.empty() ? clusterCount + 2ull : std::min<uint64_t>(fatTable.size(), clusterCount + 2ull);
  }
  // True only when the bitmap was read and marks cluster c free, and no
  // live file or folder holds it.
  bool clusterMarkedFree(uint32_t c) const {
    uint64_t bit = static_cast<uint64_t>(c) - 2;
    return c >= 2 && c < heapEnd() && bit / 8 < allocationBitmap.size() &&
           !((allocationBitmap[bit / 8] >> (bit % 8)) & 1) && !clusterLive(c);
  }
  // In use now: the bitmap marks it or the live tree holds it.
  bool clusterInUse(uint32_t c) const {
    uint64_t bit = static_cast<uint64_t>(c) - 2;
    return c >= 2 && c < heapEnd() &&
           ((bit / 8 < allocationBitmap.size() && ((allocationBitmap[bit / 8] >> (bit % 8)) & 1)) || clusterLive(c));
  }
  bool clusterLive(uint32_t c) const {
    uint64_t bit = static_cast<uint64_t>(c) - 2;
    return c >= 2 && bit / 8 < liveClusters.size() && ((liveClusters[bit / 8] >> (bit % 8)) & 1);
  }
  uint64_t clusterPosition(uint32_t cluster) const {
    return clusterBase * kSectorSize + cluster * clusterBytes();
  }

  // A record with this one's description and volume geometry and none of
  // its loaded results.
  PartitionRecord description() const {
    PartitionRecord copy;
    copy.copyDescription(*this);
    return copy;
  }
  bool hasResults() const {
    return !fatTable.empty() || !allocationBitmap.empty() || !liveClusters.empty() || !rootRecord.children.empty() ||
           !extendedRecord.children.empty() || !clusterIndex.empty() || !carvedIndex.empty() || !carvedClusters.empty();
  }

 private:
  // Moves the description and the results. The lists keep their elements
  // where they are, so only what points at the two top records is re-aimed.
  void take(PartitionRecord& o) {
    copyDescription(o);
    fatTable = std::move(o.fatTable);
    allocationBitmap = std::move(o.allocationBitmap);
    liveClusters = std::move(o.liveClusters);
    rootRecord = std::move(o.rootRecord);
    extendedRecord = std::move(o.extendedRecord);
    clusterIndex = std::move(o.clusterIndex);
    carvedIndex = std::move(o.carvedIndex);
    carvedClusters = std::move(o.carvedClusters);  // keyed by carved records, which never move
    for (ExfatFileRecord* top : {&rootRecord, &extendedRecord})
      for (ExfatFileRecord& child : top->children) child.parent = top;
    for (auto* index : {&clusterIndex, &carvedIndex})
      for (auto& entry : *index) {
        if (entry.second == &o.rootRecord) entry.second = &rootRecord;
        else if (entry.second == &o.extendedRecord) entry.second = &extendedRecord;
      }
    o.emptyResults();
  }

  void copyDescription(const PartitionRecord& o) {
    devicePath = o.devicePath;
    hfsKindText = o.hfsKindText;
    hfsKind = o.hfsKind;
    extVersion = o.extVersion;
    label = o.label;
    driveLetter = o.driveLetter;
    name = o.name;
    sizeSectors = o.sizeSectors;
    startSector = o.startSector;
    deviceSectorSize = o.deviceSectorSize;
    entryKind = o.entryKind;
    clusterSectors = o.clusterSectors;
    clusterBase = o.clusterBase;
    typeCode = o.typeCode;
    tableType = o.tableType;
    bytesPerSector = o.bytesPerSector;
    searchKind = o.searchKind;
    exfatFromBackupBootSector = o.exfatFromBackupBootSector;
    fatSectors = o.fatSectors;
    clusterCount = o.clusterCount;
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
