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
constexpr uint8_t kBasicData[16] = {0xA2, 0xA0, 0xD0, 0xEB, 0xE5, 0xB9, 0x33, 0x44,
                                    0x87, 0xC0, 0x68, 0xB6, 0xB7, 0x26, 0x99, 0xC7};
constexpr uint8_t kAppleHfsPlus[16] = {0x00, 0x53, 0x46, 0x48, 0x00, 0x00, 0xAA, 0x11,
                                       0xAA, 0x11, 0x00, 0x30, 0x65, 0x43, 0xEC, 0xAC};
constexpr uint8_t kEfiSystem[16] = {0x28, 0x73, 0x2A, 0xC1, 0x1F, 0xF8, 0xD2, 0x11,
                                    0xBA, 0x4B, 0x00, 0xA0, 0xC9, 0x3E, 0xC9, 0x3B};

bool isProbedType(const uint8_t* guid) {
  return std::memcmp(guid, kBasicData, 16) == 0 || std::memcmp(guid, kAppleHfsPlus, 16) == 0 ||
         std::memcmp(guid, kEfiSystem, 16) == 0;
}

void probeGptVolume(SectorDevice& device, DiskRecord& disk, PartitionRecord& p, int counter) {
  uint8_t head[4 * kSectorSize];
  device.readZeroFilled(p.startOffset(), head, sizeof head);
  const uint8_t* superblock = head + 1024;
  if (isFat32BootSector(head)) {
    p.typeCode = kTypeFat32Gpt;
    p.name += "(fat)";
  } else if (isFat16BootSector(head)) {
    p.typeCode = kTypeFat16;
    p.name += "(fat)";
  } else if (isNtfsBootSector(head)) {
    p.typeCode = kTypeNtfs;
    p.name += "(NTFS)";
  } else if (isExfatBootSector(head)) {
    p.typeCode = kTypeExfat;
    p.name += "(exFat)";
  } else if (isExtSuperblock(superblock)) {
    p.name += format("Partition%d", counter);
    p.typeCode = kTypeExt;
    p.extVersion = extVersionOf(superblock);
    p.sizeSectors = extSizeSectors(superblock, p.deviceSectorSize);
    p.label = extVolumeName(superblock);
    return;
  } else if (exfatBootCopyAt(device, p.startOffset()) == BootCopy::Backup) {
    // Named as an exFAT volume is, so that the row keeps a name to be
    // chosen by even when the entry's own name is empty.
    p.name += "(exFat)";
    p.exfatFromBackupBootSector = true;
    return;
  } else {
    applyGptHfs(p, head + 1024, disk.devicePath);
    return;
  }
  p.label = readVolumeLabel(device, p.startOffset(), p.typeCode);
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
    if (isProbedType(e) && first <= UINT64_MAX / sectorSize) probeGptVolume(device, disk, p, counter);
    disk.partitions.push_back(std::move(p));
    ++counter;
  }
  return true;
}

}  // namespace dudorazu
