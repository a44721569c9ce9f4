// GPT partition entries behind a protective MBR entry.
#include <cstring>
#include <vector>

#include "core/common/byte_order.h"
#include "core/common/text.h"
#include "core/partitions/apple_map.h"
#include "core/partitions/discovery_steps.h"
#include "core/partitions/exfat_boot_copy.h"
#include "core/partitions/fs_probes.h"
#include "core/partitions/mbr_entry.h"

namespace dudorazu {
namespace {

constexpr uint32_t kMaxGptEntries = 128;
// An entry must hold the name at 56..127; entries beyond 4 KiB exist in no
// GPT and would let a damaged header size a huge read.
constexpr uint32_t kMinEntrySize = 128;
constexpr uint32_t kMaxEntrySize = 4096;
constexpr size_t kNameUnits = 36;

// Type GUIDs as stored on disk (the first three fields little-endian).
using TypeGuid = uint8_t[16];
constexpr TypeGuid kBasicData = {0xA2, 0xA0, 0xD0, 0xEB, 0xE5, 0xB9, 0x33, 0x44,
                                 0x87, 0xC0, 0x68, 0xB6, 0xB7, 0x26, 0x99, 0xC7};
constexpr TypeGuid kAppleHfsPlus = {0x00, 0x53, 0x46, 0x48, 0x00, 0x00, 0xAA, 0x11,
                                    0xAA, 0x11, 0x00, 0x30, 0x65, 0x43, 0xEC, 0xAC};
constexpr TypeGuid kEfiSystem = {0x28, 0x73, 0x2A, 0xC1, 0x1F, 0xF8, 0xD2, 0x11,
                                 0xBA, 0x4B, 0x00, 0xA0, 0xC9, 0x3E, 0xC9, 0x3B};
// Containers: a volume manager's pieces, never a file system of their own.
constexpr TypeGuid kContainers[] = {
    {0x79, 0xD3, 0xD6, 0xE6, 0x07, 0xF5, 0xC2, 0x44, 0xA2, 0x3C, 0x23, 0x8F, 0x2A, 0x3D, 0xF9, 0x28},  // Linux LVM
    {0x0F, 0x88, 0x9D, 0xA1, 0xFC, 0x05, 0x3B, 0x4D, 0xA0, 0x06, 0x74, 0x3F, 0x0F, 0x84, 0x91, 0x1E},  // Linux RAID
    {0xAA, 0xC8, 0x08, 0x58, 0x8F, 0x7E, 0xE0, 0x42, 0x85, 0xD2, 0xE1, 0xE9, 0x04, 0x34, 0xCF, 0xB3},  // LDM metadata
    {0xA0, 0x60, 0x9B, 0xAF, 0x31, 0x14, 0x62, 0x4F, 0xBC, 0x68, 0x33, 0x11, 0x71, 0x4A, 0x69, 0xAD},  // LDM data
};

bool isType(const uint8_t* guid, const TypeGuid& type) { return std::memcmp(guid, type, 16) == 0; }

bool isContainer(const uint8_t* guid) {
  for (const TypeGuid& type : kContainers)
    if (isType(guid, type)) return true;
  return false;
}

// The HFS family is looked for only where an Apple or a generic data
// volume belongs: its two-byte signatures are too weak to trust elsewhere.
bool mayHoldHfs(const uint8_t* guid) {
  return isType(guid, kBasicData) || isType(guid, kAppleHfsPlus) || isType(guid, kEfiSystem);
}

// Whatever the type GUID says (tools format exFAT over a Linux or Windows
// entry alike), the volume's first sectors tell the file system.
void probeGptVolume(SectorDevice& device, DiskRecord& disk, PartitionRecord& p, int counter, bool hfsToo) {
  uint8_t head[kVolumeHeadBytes];
  device.readZeroFilled(p.startOffset(), head, sizeof head);
  const uint8_t* superblock = head + 1024;
  switch (classifyVolumeHead(head)) {
    case VolumeHead::Fat32:
      p.typeCode = kTypeFat32Gpt;
      p.name += "(fat)";
      return;
    case VolumeHead::Fat16:
      p.typeCode = kTypeFat16;
      p.name += "(fat)";
      return;
    case VolumeHead::Ntfs:
      p.typeCode = kTypeNtfs;
      p.name += "(NTFS)";
      return;
    case VolumeHead::Exfat:
      p.typeCode = kTypeExfat;
      p.name += "(exFat)";
      p.label = readVolumeLabel(device, p.startOffset(), p.typeCode);
      return;
    case VolumeHead::Ext:
      p.name += format("Partition%d", counter);
      p.typeCode = kTypeExt;
      p.extVersion = extVersionOf(superblock);
      p.sizeSectors = extSizeSectors(superblock, p.deviceSectorSize);
      p.label = extVolumeName(superblock);
      return;
    case VolumeHead::None: break;
  }
  if (exfatBootCopyAt(device, p.startOffset()) == BootCopy::Backup) {
    // Named as an exFAT volume is, so that the row keeps a name to be
    // chosen by even when the entry's own name is empty.
    p.name += "(exFat)";
    p.exfatFromBackupBootSector = true;
  } else if (hfsToo) {
    applyGptHfs(p, superblock, disk.devicePath);
  }
}

}  // namespace

bool readGpt(SectorDevice& device, DiskRecord& disk, uint8_t* sector0, int& counter) {
  // The header is looked for where entry 0 points, as protective MBRs have it.
  const uint32_t sectorSize = disk.bytesPerSector;
  readTableSector(device, mbrEntry(sector0, 0).start, sectorSize, sector0);
  uint64_t arrayLba = le64(sector0, 72);
  uint32_t entryCount = le32(sector0, 80);
  uint32_t entrySize = le32(sector0, 84);
  if (entryCount > kMaxGptEntries) return false;
  if (entryCount == 0 || entrySize < kMinEntrySize || entrySize > kMaxEntrySize) return true;

  std::vector<uint8_t> entries(static_cast<size_t>(entryCount) * entrySize);
  if (arrayLba > UINT64_MAX / sectorSize) return true;
  device.readZeroFilled(arrayLba * sectorSize, entries.data(), entries.size());
  for (uint32_t i = 0; i < entryCount; ++i) {
    const uint8_t* e = entries.data() + static_cast<size_t>(i) * entrySize;
    uint64_t first = le64(e, 32);
    if (first == 0) break;
    PartitionRecord p;
    p.name = utf16leToUtf8(e + 56, utf16leLength(e + 56, kNameUnits));
    p.startSector = first;
    p.deviceSectorSize = sectorSize;
    p.sizeSectors = le64(e, 40) - first + 1;
    if (!isContainer(e) && first <= UINT64_MAX / sectorSize) probeGptVolume(device, disk, p, counter, mayHoldHfs(e));
    disk.partitions.push_back(std::move(p));
    ++counter;
  }
  return true;
}

}  // namespace dudorazu
