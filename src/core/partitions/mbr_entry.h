#pragma once
// MBR and EBR entries as the table walks read them, and the record made for
// a data entry. Shared by the primary pass, the extended pass and the chain.
#include <cstdint>

#include "core/common/byte_order.h"
#include "core/device/disk_record.h"
#include "platform/sector_device.h"

namespace dudorazu {

inline constexpr size_t kMbrEntryOffset = 446;
inline constexpr uint8_t kTypeExtendedChs = 0x05;
inline constexpr uint8_t kTypeExtendedLba = 0x0F;
inline constexpr uint8_t kTypeExtendedLinux = 0x85;
inline constexpr uint8_t kTypeGptProtective = 0xEE;

// Entries whose space holds other partitions or a volume manager's pieces,
// never a file system of their own: the extended kinds, the GPT's
// protective entry, LVM, Linux RAID and Windows dynamic disks. A stale boot
// sector at their start must not make them look like a volume.
inline bool isContainerType(uint8_t type) {
  switch (type) {
    case kTypeExtendedChs:
    case kTypeExtendedLba:
    case kTypeExtendedLinux:
    case kTypeGptProtective:
    case 0x42:  // Windows dynamic disk
    case 0x8E:  // Linux LVM
    case 0xFD:  // Linux RAID
      return true;
    default:
      return false;
  }
}

struct MbrEntry {
  uint8_t type = 0;
  uint32_t start = 0;
  uint32_t count = 0;

  bool empty() const { return type == 0 || count == 0; }
  bool isLink() const { return type == kTypeExtendedChs || type == kTypeExtendedLba || type == kTypeExtendedLinux; }
};

inline MbrEntry mbrEntry(const uint8_t* sector, int index) {
  const uint8_t* e = sector + kMbrEntryOffset + 16 * static_cast<size_t>(index);
  return MbrEntry{e[4], le32(e, 8), le32(e, 12)};
}

inline bool hasBootSignature(const uint8_t* sector) { return le16(sector, 510) == 0xAA55; }

// The first 512 bytes of the disk's sector `lba`, counted in the disk's own
// sectors of `sectorSize` bytes.
inline void readTableSector(SectorDevice& device, uint64_t lba, uint32_t sectorSize, uint8_t* out) {
  device.readZeroFilled(lba * sectorSize, out, kSectorSize);
}

// A record for an MBR or EBR data entry (start and count in the disk's
// sectors). Whatever the type byte says, a partition that is no container
// is probed: the file system found gives the type code (exFAT 5; NTFS,
// FAT32 and FAT16 keep a type byte that already names them), the type byte
// stays in tableType, and the label is read for the final type code.
PartitionRecord makeTableRecord(SectorDevice& device, const DiskRecord& disk, int number, uint64_t startSector,
                                uint32_t count, uint8_t type, uint8_t entryKind);

}  // namespace dudorazu
