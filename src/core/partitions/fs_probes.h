#pragma once
// File-system recognition on a volume's first sectors, and the exFAT label.
// The probes are pure functions of a buffer.
#include <cstdint>
#include <string>

#include "platform/sector_device.h"

namespace dudorazu {

// 512-byte boot sector probes (each requires 0x55 0xAA at 510).
bool isExfatBootSector(const uint8_t* sector);
bool isFat16BootSector(const uint8_t* sector);
bool isFat32BootSector(const uint8_t* sector);
bool isNtfsBootSector(const uint8_t* sector);

// What the first 2048 bytes of a volume hold, by its boot sector or (EXT)
// its superblock at byte 1024. The boot sector probes exclude one another
// except FAT32 and FAT16, where FAT32 is asked first.
enum class VolumeHead { None, Fat32, Fat16, Ntfs, Exfat, Ext };
inline constexpr size_t kVolumeHeadBytes = 2048;
VolumeHead classifyVolumeHead(const uint8_t* head);

// EXT superblock probe on the 1024 bytes found at byte 1024 of a volume.
bool isExtSuperblock(const uint8_t* superblock);
std::string extVersionOf(const uint8_t* superblock);  // "EXT2", "EXT3", "EXT4"
uint64_t extSizeSectors(const uint8_t* superblock, uint32_t bytesPerSector);
std::string extVolumeName(const uint8_t* superblock);

// HFS classification of the 512 bytes at byte 1024 of a volume: 0 none,
// 1 HFS, 2 HFS+, 3 HFSX, 4 HFS+ wrapped in HFS.
uint32_t classifyHfs(const uint8_t* volumeHeader);

// The exFAT volume label (typeCode 5 only; empty otherwise or when the root
// folder's first sector holds no label entry).
std::string readVolumeLabel(SectorDevice& device, uint64_t startOffset, uint8_t typeCode);

// "exFat", "FAT16", "FAT32", "NTFS", or "" for codes without a name.
const char* fileSystemName(uint8_t typeCode);

}  // namespace dudorazu
