// Disks without a partition table: one volume from sector 0.
#include "core/common/byte_order.h"
#include "core/partitions/discovery_steps.h"
#include "core/partitions/exfat_boot_sector.h"
#include "core/partitions/fs_probes.h"

namespace dudorazu {

bool isVolumeBootSector(const uint8_t* s) {
  // 0xEB 0x48 0x90 is the jump of some boot loaders' MBR, not of a volume.
  return (s[0] == 0xEB && s[2] == 0x90 && s[1] != 0x48) || (s[0] == 0xE9 && s[11] == 0x00 && s[12] == 0x02);
}

void appendWholeDiskVolume(SectorDevice& device, DiskRecord& disk, const uint8_t* s) {
  PartitionRecord p;
  p.name = "Partition0";
  if (isNtfsBootSector(s)) {
    p.typeCode = kTypeNtfs;
    p.sizeSectors = le64(s, 0x28);
  } else if (isFat32BootSector(s)) {
    p.typeCode = kTypeFat32;
    p.sizeSectors = le32(s, 0x20);
  } else if (isFat16BootSector(s)) {
    p.typeCode = kTypeFat16;
    uint32_t total = le32(s, 0x20);
    p.sizeSectors = total != 0 ? total : le16(s, 0x13);
  } else if (isExfatBootSector(s)) {
    p.typeCode = kTypeExfat;
    p.sizeSectors = exfat_boot::volumeLength512(s);
  }
  p.label = readVolumeLabel(device, 0, p.typeCode);
  disk.partitions.push_back(std::move(p));
}

void appendWholeDiskExt(DiskRecord& disk, const uint8_t* superblock) {
  PartitionRecord p;
  p.name = "Partition0";
  p.typeCode = kTypeExt;
  p.sizeSectors = extSizeSectors(superblock, disk.bytesPerSector);
  p.deviceSectorSize = disk.bytesPerSector;
  p.extVersion = extVersionOf(superblock);
  p.label = extVolumeName(superblock);
  disk.partitions.push_back(std::move(p));
}

}  // namespace dudorazu
