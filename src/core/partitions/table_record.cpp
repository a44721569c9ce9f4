#include <cstring>

#include "core/common/text.h"
#include "core/partitions/exfat_boot_copy.h"
#include "core/partitions/fs_probes.h"
#include "core/partitions/mbr_entry.h"

namespace dudorazu {
namespace {

// The type code for the file system found: the entry's own type byte when
// it already names that file system (FAT32 over 0x0B stays 0x0B), else the
// file system's usual code.
uint8_t codeFor(uint8_t tableType, uint8_t usual) {
  return std::strcmp(fileSystemName(tableType), fileSystemName(usual)) == 0 ? tableType : usual;
}

// Cards formatted over an older partition (FAT32, Linux, EFI) keep the old
// type byte: the volume itself says what it is.
void recogniseVolume(SectorDevice& device, PartitionRecord& p) {
  uint8_t head[kVolumeHeadBytes];
  device.readZeroFilled(p.startOffset(), head, sizeof head);
  switch (classifyVolumeHead(head)) {
    case VolumeHead::Exfat: p.typeCode = kTypeExfat; return;
    case VolumeHead::Ntfs: p.typeCode = codeFor(p.tableType, kTypeNtfs); return;
    case VolumeHead::Fat32: p.typeCode = codeFor(p.tableType, kTypeFat32); return;
    case VolumeHead::Fat16: p.typeCode = codeFor(p.tableType, kTypeFat16); return;
    case VolumeHead::Ext:
      p.typeCode = kTypeExt;
      p.extVersion = extVersionOf(head + 1024);
      p.label = extVolumeName(head + 1024);
      return;
    case VolumeHead::None:
      // With its main boot sector destroyed the volume keeps the type byte's
      // name and is marked.
      p.exfatFromBackupBootSector = exfatBootCopyAt(device, p.startOffset()) == BootCopy::Backup;
      return;
  }
}

}  // namespace

PartitionRecord makeTableRecord(SectorDevice& device, const DiskRecord& disk, int number, uint64_t startSector,
                                uint32_t count, uint8_t type, uint8_t entryKind) {
  PartitionRecord p;
  p.name = format("Partition%d", number);
  p.startSector = startSector;
  p.deviceSectorSize = disk.bytesPerSector;
  p.sizeSectors = count;
  p.typeCode = type;
  p.tableType = type;
  p.entryKind = entryKind;
  if (!isContainerType(type)) recogniseVolume(device, p);
  if (p.typeCode == kTypeExfat) p.label = readVolumeLabel(device, p.startOffset(), p.typeCode);
  return p;
}

}  // namespace dudorazu
