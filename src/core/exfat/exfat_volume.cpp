#include "core/exfat/exfat_volume.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "core/common/byte_order.h"
#include "core/common/byte_range.h"
#include "core/common/io_buffer.h"
#include "core/partitions/exfat_boot_sector.h"
#include "core/partitions/fs_probes.h"

namespace dudorazu {
namespace {

using namespace exfat_boot;

constexpr uint8_t kBitmapEntryType = 0x81;
constexpr size_t kBitmapFirstCluster = 20;
constexpr size_t kBitmapDataLength = 24;

// A boot sector whose numbers would overflow the arithmetic or make the FAT
// larger than what holds it describes no volume that can exist; reading it
// would only allocate without bound.
bool geometryIsPlausible(const uint8_t* sector, const PartitionRecord& partition, uint64_t deviceSize) {
  if (!hasPlausibleShifts(sector)) return false;
  uint32_t bytesShift = sector[kBytesPerSectorShift];
  uint64_t fatBytes = static_cast<uint64_t>(le32(sector, kFatLength)) << bytesShift;
  if (fatBytes / 4 > UINT32_MAX) return false;
  if (partition.sizeSectors != 0 && fatBytes > partition.sizeBytes()) return false;
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
  const uint64_t start = partition.startOffset();
  device.readZeroFilled(start, sector, sizeof sector);
  if (!usableBootSector(sector, partition, deviceSize)) {
    // The backup lies 12 of the volume's own sectors on, whose size only the
    // backup itself can tell: each size is tried and must agree with it.
    bool found = false;
    for (uint32_t shift = 9; shift <= 12 && !found; ++shift) {
      // A position past 64 bits lies past every device and reads as zeros;
      // wrapped, it would read the disk's first sectors as this volume's.
      device.readZeroFilled(checkedSum(start, uint64_t{kBackupBootSectorOffset} << shift).value_or(UINT64_MAX), sector,
                            sizeof sector);
      found = usableBootSector(sector, partition, deviceSize) && sector[kBytesPerSectorShift] == shift;
    }
    if (!found) return false;
  }
  partition.bytesPerSector = 1u << sector[kBytesPerSectorShift];
  partition.clusterSectors = 1u << sector[kSectorsPerClusterShift];
  partition.fatSectors = le32(sector, kFatLength);
  // In 512-byte units of the disk, modulo 2^64: the partition's start in the
  // disk's sectors and the heap's in the volume's are kept apart.
  const uint64_t unitsPerSector = partition.bytesPerSector / kSectorSize;
  partition.clusterBase = start / kSectorSize + (le32(sector, kClusterHeapOffset) -
                                                 uint64_t{2} * partition.clusterSectors) * unitsPerSector;
  params.fatOffset = le32(sector, kFatOffset);
  params.clusterCount = le32(sector, kClusterCount);
  partition.clusterCount = params.clusterCount;
  params.rootCluster = le32(sector, kFirstClusterOfRootDirectory);
  return true;
}

uint64_t fatEntriesHeld(const PartitionRecord& partition, uint32_t clusterCount, uint64_t deviceSize) {
  uint64_t entries = static_cast<uint64_t>(partition.fatSectors) * partition.bytesPerSector / 4;
  // Entries 0 and 1 are reserved; a cluster number beyond ClusterCount + 1
  // names no cluster (a count of 0 is damage and tells nothing), and no more
  // clusters fit than the device holds.
  if (clusterCount != 0) entries = std::min<uint64_t>(entries, uint64_t{clusterCount} + 2);
  const uint64_t clusterBytes = std::max<uint64_t>(partition.clusterBytes(), 1);
  if (deviceSize != 0) entries = std::min<uint64_t>(entries, deviceSize / clusterBytes + 2);
  return entries;
}

bool loadFat(SectorDevice& device, LoadedVolume& volume, uint32_t fatOffset, uint32_t clusterCount) {
  const PartitionRecord& partition = volume.partition;
  const uint64_t entries = fatEntriesHeld(partition, clusterCount, device.size());
  volume.fatTable.clear();
  if (entries == 0) return true;
  const uint64_t position =
      checkedSum(partition.startOffset(), uint64_t{fatOffset} * partition.bytesPerSector).value_or(UINT64_MAX);
  // Read in pieces, each kept as FatTable keeps it, so the whole FAT is never
  // in memory at once.
  constexpr size_t kPieceEntries = 1024 * FatTable::kPageEntries;
  IoBuffer piece(kPieceEntries * 4);
  std::vector<uint32_t> page(FatTable::kPageEntries);
  bool complete = true;
  for (uint64_t done = 0; done < entries; done += kPieceEntries) {
    const size_t n = static_cast<size_t>(std::min<uint64_t>(kPieceEntries, entries - done));
    if (device.readZeroFilled(checkedSum(position, done * 4).value_or(UINT64_MAX), piece.data(), n * 4) != n * 4)
      complete = false;
    for (size_t first = 0; first < n; first += FatTable::kPageEntries) {
      const size_t count = std::min(FatTable::kPageEntries, n - first);
      for (size_t i = 0; i < count; ++i) page[i] = le32(piece.data(), 4 * (first + i));
      volume.fatTable.appendPage(page.data(), count);
    }
  }
  return complete;
}

bool loadAllocationBitmap(SectorDevice& device, LoadedVolume& volume, uint32_t rootCluster) {
  const PartitionRecord& partition = volume.partition;
  volume.allocationBitmap.clear();
  const uint64_t clusterBytes = partition.clusterBytes();
  if (clusterBytes == 0 || partition.clusterCount == 0 || rootCluster < 2 || rootCluster >= volume.heapEnd())
    return false;
  // The bitmap's entry is among the first entries of the root folder.
  std::vector<uint8_t> root(static_cast<size_t>(clusterBytes));
  if (device.readAt(partition.clusterPosition(rootCluster), root.data(), root.size()) != root.size()) return false;
  const uint8_t* entry = nullptr;
  for (size_t at = 0; at + 32 <= root.size() && root[at] != 0; at += 32) {
    // The first bitmap (flags bit 0 clear); a second one belongs to TexFAT.
    if (root[at] == kBitmapEntryType && (root[at + 1] & 1) == 0) {
      entry = &root[at];
      break;
    }
  }
  if (!entry) return false;
  const uint64_t needed = (static_cast<uint64_t>(partition.clusterCount) + 7) / 8;
  if (le64(entry, kBitmapDataLength) < needed || needed > device.size()) return false;
  std::vector<uint8_t> bitmap(static_cast<size_t>(needed));
  // Along its FAT chain; where the FAT cannot be followed, the clusters run on.
  uint32_t cluster = le32(entry, kBitmapFirstCluster);
  for (uint64_t done = 0; done < needed;) {
    if (cluster < 2 || cluster >= volume.heapEnd()) return false;
    size_t n = static_cast<size_t>(std::min(clusterBytes, needed - done));
    if (device.readAt(partition.clusterPosition(cluster), bitmap.data() + done, n) != n) return false;
    done += n;
    uint32_t next = nextClusterOf(volume, cluster);
    cluster = next >= 2 && next < volume.heapEnd() ? next : cluster + 1;
  }
  volume.allocationBitmap = std::move(bitmap);
  return true;
}

}  // namespace dudorazu
