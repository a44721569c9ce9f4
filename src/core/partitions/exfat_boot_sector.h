#pragma once
// Field offsets of the exFAT boot sector (names of the exFAT standard) and the
// one sanity rule every reader applies before trusting its shifts.
#include <cstddef>
#include <cstdint>

#include "core/common/byte_order.h"

namespace dudorazu::exfat_boot {

inline constexpr size_t kPartitionOffset = 0x40;
inline constexpr size_t kVolumeLength = 0x48;
inline constexpr size_t kFatOffset = 0x50;
inline constexpr size_t kFatLength = 0x54;
inline constexpr size_t kClusterHeapOffset = 0x58;
inline constexpr size_t kClusterCount = 0x5C;
inline constexpr size_t kFirstClusterOfRootDirectory = 0x60;
inline constexpr size_t kVolumeSerialNumber = 0x64;
inline constexpr size_t kBytesPerSectorShift = 0x6C;
inline constexpr size_t kSectorsPerClusterShift = 0x6D;

// Sectors of 512 to 4096 bytes and clusters of at most 32 MiB: anything else
// is a damaged boot sector whose numbers must not size a read or a buffer.
inline bool hasPlausibleShifts(const uint8_t* boot) {
  uint32_t sectorShift = boot[kBytesPerSectorShift];
  uint32_t clusterShift = boot[kSectorsPerClusterShift];
  return sectorShift >= 9 && sectorShift <= 12 && sectorShift + clusterShift <= 25;
}

// VolumeLength counts the volume's own sectors; in 512-byte sectors it is
// longer by the sector size's factor (unconverted when the shifts are
// implausible or the product would overflow).
inline uint64_t volumeLength512(const uint8_t* boot) {
  uint64_t length = le64(boot, kVolumeLength);
  if (!hasPlausibleShifts(boot)) return length;
  uint32_t factorShift = boot[kBytesPerSectorShift] - 9u;
  return length <= (UINT64_MAX >> factorShift) ? length << factorShift : length;
}

// Where the backup boot sector lies, in 512-byte sectors after the main one:
// 12 of the volume's own sectors.
inline uint64_t backupDistance512(const uint8_t* boot) {
  return hasPlausibleShifts(boot) ? uint64_t{12} << (boot[kBytesPerSectorShift] - 9u) : 12;
}

}  // namespace dudorazu::exfat_boot
