#include "core/partitions/exfat_boot_copy.h"

#include "core/partitions/fs_probes.h"

namespace dudorazu {

BootCopy exfatBootCopyAt(SectorDevice& device, uint64_t startSector) {
  uint8_t sector[kSectorSize];
  device.readSectors(startSector, 1, sector);
  if (isExfatBootSector(sector)) return BootCopy::Main;
  device.readSectors(startSector + kBackupDistance, 1, sector);
  return isExfatBootSector(sector) ? BootCopy::Backup : BootCopy::None;
}

}  // namespace dudorazu
