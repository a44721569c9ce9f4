#pragma once
// The exFAT volume's geometry and its first FAT, read raw from the boot
// sector. The geometry lives in the PartitionRecord, the FAT and bitmap in
// the LoadedVolume; these functions fill them.
#include <cstdint>

#include "platform/sector_device.h"
#include "core/exfat/loaded_volume.h"
#include "core/partitions/partition_record.h"

namespace dudorazu {

inline constexpr uint32_t kFatEndOfChain = 0xFFFFFFFFu;
// The backup boot sector lies 12 sectors after the main one.
inline constexpr uint32_t kBackupBootSectorOffset = 12;

// What the boot sector tells the caller beyond the fields it fills.
struct VolumeParameters {
  uint32_t fatOffset = 0;
  uint32_t clusterCount = 0;
  uint32_t rootCluster = 0;
};

// Reads the main boot sector, else the backup 12 volume sectors later, and fills
// bytesPerSector, clusterSectors, fatSectors and clusterBase. A sector is
// used only when it is an exFAT boot sector whose geometry can be real:
// sectors of 512..4096 bytes, clusters of at most 32 MiB, and a FAT no larger
// than the partition or the device. False (fields untouched) otherwise.
bool readVolumeParameters(SectorDevice& device, PartitionRecord& partition, VolumeParameters& params);

// The FAT entries held in memory: as many as FatLength covers, but never more
// than the ClusterCount + 2 the clusters need nor than the device has room
// for, so no single boot-sector field sizes the allocation.
uint64_t fatEntriesHeld(const PartitionRecord& partition, uint32_t clusterCount, uint64_t deviceSize);

// Reads the first FAT (fatEntriesHeld entries from FatOffset on) into
// fatTable. Unreadable parts stay zero. True when every byte was read.
// Throws std::bad_alloc when even the bounded FAT does not fit in memory.
bool loadFat(SectorDevice& device, LoadedVolume& volume, uint32_t fatOffset, uint32_t clusterCount);

// Reads the allocation bitmap that the root folder's bitmap entry points at
// into allocationBitmap (clusterCount bits). False, leaving it empty, when
// the entry is missing or too short, or a part of it cannot be read.
bool loadAllocationBitmap(SectorDevice& device, LoadedVolume& volume, uint32_t rootCluster);

// The FAT entry of `cluster`, or the end mark when the FAT does not reach it
// (or is not in memory).
inline uint32_t nextClusterOf(const LoadedVolume& p, uint32_t cluster) {
  return cluster < p.fatTable.size() ? p.fatTable[cluster] : kFatEndOfChain;
}

// The bound below which a cluster number counts as followable. Without a FAT
// in memory (a lost-file scan on stored geometry) it is the entry count the
// boot sector announced, so a FAT-chained folder still yields its first
// cluster.
inline uint32_t followableClusterLimit(const LoadedVolume& v) {
  if (!v.fatTable.empty()) return v.fatEntryCount();
  uint64_t entries = static_cast<uint64_t>(v.partition.fatSectors) * v.partition.bytesPerSector / 4;
  return entries > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(entries);
}

}  // namespace dudorazu
