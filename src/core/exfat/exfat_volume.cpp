#include "core/exfat/exfat_volume.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "core/common/byte_order.h"
#include "core/partitions/exfat_boot_sector.h"
#include "core/partitions/fs_probes.h"

namespace dudorazu {
namespace {

using namespace exfat_boot;

uint64_t saturatingMul(uint64_t a, uint64_t b) {
  if (a != 0 && b > UINT64_MAX / a) return UINT64_MAX;
  return a * b;
}

// A boot sector whose numbers would overflow the arithmetic or make the FAT
// larger than what holds it describes no volume that can exist; reading it
// would only allocate without bound.
bool geometryIsPlausible(const uint8_t* sector, const PartitionRecord& partition, uint64_t deviceSize) {
  if (!hasPlausibleShifts(sector)) return false;
  uint32_t bytesShift = sector[kBytesPerSectorShift];
  uint64_t fatBytes = static_cast<uint64_t>(le32(sector, kFatLength)) << bytesShift;
  if (fatBytes / 4 > UINT32_MAX) return false;
  if (partition.sizeSectors != 0 && fatBytes > saturatingMul(partition.sizeSectors, kSectorSize)) return false;
  if (deviceSize != 0 && fatBytes > deviceSize) return false;
  return true;
}

bool usableBootSector(const uint8_t* sector, const PartitionRecord& partition, uint64_t deviceSize) {
  return isExfatBootSector(sector) && geometryIsPlausible(sector, partition, deviceSize);
}

}  // namespace

bool readVolumeParameters(SectorDevice& device, PartitionRecord& partition, VolumeParameters& params) {
  uint8_t sector[kSectorSize];
  const uint64_t deviceSize = device.size();
  device.readSectors(partition.startSector, 1, sector);
  if (!usableBootSector(sector, partition, deviceSize)) {
    device.readSectors(static_cast<uint64_t>(partition.startSector) + kBackupBootSectorOffset, 1, sector);
    if (!usableBootSector(sector, partition, deviceSize)) return false;
  }
  partition.bytesPerSector = 1u << sector[kBytesPerSectorShift];
  partition.clusterSectors = 1u << sector[kSectorsPerClusterShift];
  partition.fatSectors = le32(sector, kFatLength);
  // 32-bit on purpose: every sector number of the volume arithmetic wraps.
  partition.clusterBase =
      le32(sector, kClusterHeapOffset) - 2 * partition.clusterSectors + partition.startSector;
  params.fatOffset = le32(sector, kFatOffset);
  params.clusterCount = le32(sector, kClusterCount);
  params.rootCluster = le32(sector, kFirstClusterOfRootDirectory);
  return true;
}

bool loadFat(SectorDevice& device, PartitionRecord& partition, uint32_t fatOffset) {
  const uint64_t fatBytes = static_cast<uint64_t>(partition.fatSectors) * partition.bytesPerSector;
  partition.fatTable.assign(static_cast<size_t>(fatBytes / 4), 0);
  if (partition.fatTable.empty()) return fatBytes == 0;
  const uint64_t position =
      (static_cast<uint64_t>(partition.startSector) + fatOffset) * partition.bytesPerSector;
  auto* bytes = reinterpret_cast<uint8_t*>(partition.fatTable.data());
  const size_t total = partition.fatTable.size() * 4;
  // Large FATs go in pieces so a single request never has to be gigabytes.
  constexpr size_t kPiece = 64u << 20;
  bool complete = true;
  for (size_t done = 0; done < total; done += kPiece) {
    size_t n = std::min(kPiece, total - done);
    if (device.readZeroFilled(position + done, bytes + done, n) != n) complete = false;
  }
  if constexpr (std::endian::native == std::endian::big) {
    for (uint32_t& entry : partition.fatTable) entry = le32(reinterpret_cast<const uint8_t*>(&entry));
  }
  return complete;
}

}  // namespace dudorazu
