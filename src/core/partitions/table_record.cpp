#include "core/common/text.h"
#include "core/partitions/exfat_boot_copy.h"
#include "core/partitions/fs_probes.h"
#include "core/partitions/mbr_entry.h"

namespace dudorazu {

PartitionRecord makeTableRecord(SectorDevice& device, const DiskRecord& disk, int number, uint64_t startSector,
                                uint32_t count, uint8_t type, uint8_t entryKind) {
  PartitionRecord p;
  p.name = format("Partition%d", number);
  p.startSector = startSector;
  p.deviceSectorSize = disk.bytesPerSector;
  p.sizeSectors = count;
  p.typeCode = type;
  p.entryKind = entryKind;
  // Some tools still mark exFAT with the NTFS type byte. With its main boot
  // sector destroyed the volume keeps the type byte's name and is marked.
  if (type == kTypeNtfs) {
    BootCopy copy = exfatBootCopyAt(device, p.startOffset());
    if (copy == BootCopy::Main) p.typeCode = kTypeExfat;
    p.exfatFromBackupBootSector = copy == BootCopy::Backup;
  }
  p.label = readVolumeLabel(device, p.startOffset(), p.typeCode);
  return p;
}

}  // namespace dudorazu
