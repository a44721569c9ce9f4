#include "core/partitions/exfat_boot_copy.h"

#include "core/common/byte_range.h"
#include "core/partitions/exfat_boot_sector.h"
#include "core/partitions/fs_probes.h"

namespace dudorazu {

BootCopy exfatBootCopyAt(SectorDevice& device, uint64_t startOffset) {
  uint8_t sector[kSectorSize];
  device.readZeroFilled(startOffset, sector, sizeof sector);
  if (isExfatBootSector(sector)) return BootCopy::Main;
  for (uint8_t shift = 9; shift <= 12; ++shift) {
    // Past 64 bits lies past every device: zeros, not the disk's first sectors.
    device.readZeroFilled(checkedSum(startOffset, uint64_t{kBackupDistance} << shift).value_or(UINT64_MAX), sector,
                          sizeof sector);
    if (isExfatBootSector(sector) && sector[exfat_boot::kBytesPerSectorShift] == shift) return BootCopy::Backup;
  }
  return BootCopy::None;
}

}  // namespace dudorazu
