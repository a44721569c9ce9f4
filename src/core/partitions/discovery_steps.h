#pragma once
// The branches of partition discovery, each in its own file.
#include <cstdint>

#include "core/device/disk_record.h"
#include "platform/sector_device.h"

namespace dudorazu {

// Sector 0 that is itself a volume boot sector (no partition table).
bool isVolumeBootSector(const uint8_t* sector0);
// One "Partition0" record for the volume at sector 0 (NTFS, FAT32, FAT16,
// exFAT, or an unnamed record of type 0).
void appendWholeDiskVolume(SectorDevice& device, DiskRecord& disk, const uint8_t* sector0);
// One "Partition0" record for an EXT file system that covers the disk.
void appendWholeDiskExt(DiskRecord& disk, const uint8_t* superblock);

// The GPT behind a protective entry. The header is read into `sector0` (512
// bytes), where the MBR stood, as the table walk expects. False when the
// header claims more entries than a GPT holds: discovery of the disk stops.
bool readGpt(SectorDevice& device, DiskRecord& disk, uint8_t* sector0, int& counter);

}  // namespace dudorazu
