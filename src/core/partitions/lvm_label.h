#pragma once
// LVM2 physical volumes: the label in sector 1, the metadata area and the
// text metadata with the volume group's logical volumes.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/device/disk_record.h"
#include "platform/sector_device.h"

namespace dudorazu {

// 1 when `labelSector` (sector 1 of the disk) holds no LVM2 label and
// discovery goes on; 0 when the disk was read as an LVM2 physical volume.
int readLvmLabel(SectorDevice& device, DiskRecord& disk, const uint8_t* labelSector);

// Reads the text metadata at byte `textPosition` of the disk and parses it.
// Texts above kMaxLvmTextBytes are taken as no metadata at all.
inline constexpr uint64_t kMaxLvmTextBytes = 4u << 20;
void readLvmText(SectorDevice& device, uint64_t textPosition, uint64_t textSize, DiskRecord& disk);

struct PhysicalVolumeName {
  std::string id;
  std::string name;
};

void parseVolumeGroup(std::string_view text, DiskRecord& disk);
void parsePhysicalVolumes(std::string_view text, DiskRecord& disk);
void parseLogicalVolumes(std::string_view text, DiskRecord& disk, const std::vector<PhysicalVolumeName>& pvs);

// The text from its start through the brace that closes its first "{";
// empty when there is no "{" or it is never closed.
std::string_view extractBlock(std::string_view text);
// The value after "key = " on the line of the key's first occurrence (for
// "stripes", what stands between the following brackets); empty when absent.
std::string_view getValue(std::string_view text, std::string_view key);
// Leading decimal digits (after blanks) as a number; 0 when there are none,
// saturated when there are too many.
uint64_t decimalValue(std::string_view text);

}  // namespace dudorazu
