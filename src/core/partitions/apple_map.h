#pragma once
// Apple partition maps and the HFS family of volumes.
#include <cstdint>
#include <string>

#include "core/device/disk_record.h"
#include "platform/sector_device.h"

namespace dudorazu {

// Lists the HFS entries of the map that follows the driver descriptor in
// `sector0`. False when block 1 holds no map entry.
bool readApplePartitionMap(SectorDevice& device, DiskRecord& disk, const uint8_t* sector0);

struct HfsKind {
  std::string text;  // the volume name, "only hfs+", "HFSX" or empty
  uint32_t kind = 0;
};
// Classifies the volume of a map entry from its header at startSector + 2.
HfsKind readHfsKind(SectorDevice& device, uint32_t startSector);

// Appends one "Partition0" record when `volumeHeader` (byte 1024 of the
// disk) is an HFS or HFS+ header; `diskBytes` sizes it.
void readWholeDiskHfs(DiskRecord& disk, const uint8_t* volumeHeader, uint64_t diskBytes);

// Fills the HFS fields of a GPT record whose volume header (byte 1024 of
// the partition) is of the HFS family; leaves other records alone.
void applyGptHfs(PartitionRecord& record, const uint8_t* volumeHeader, const std::string& devicePath);

// The length-prefixed volume name at 0x24 of an HFS header.
std::string hfsVolumeName(const uint8_t* volumeHeader);

}  // namespace dudorazu
