// The LVM2 label in sector 1 and the metadata area it points at.
#include <cstring>
#include <vector>

#include "core/common/byte_order.h"
#include "core/partitions/lvm_label.h"

namespace dudorazu {

int readLvmLabel(SectorDevice& device, DiskRecord& disk, const uint8_t* label) {
  if (std::memcmp(label, "LABELONE", 8) != 0) return 1;
  const char* id = reinterpret_cast<const char*>(label + 32);
  disk.pvId = std::string(id, strnlen(id, 32));

  uint64_t areaOffset = le64(label, 104);
  uint8_t areaHeader[kSectorSize];
  device.readZeroFilled(areaOffset, areaHeader, sizeof areaHeader);
  uint64_t textPosition = areaOffset + le64(areaHeader, 40);
  uint32_t textSize = le32(areaHeader, 48);
  readLvmText(device, textPosition, textSize, disk);
  return 0;
}

void readLvmText(SectorDevice& device, uint64_t textPosition, uint64_t textSize, DiskRecord& disk) {
  if (textSize > kMaxLvmTextBytes) return;
  uint64_t rounded = (textSize + kSectorSize - 1) / kSectorSize * kSectorSize;
  // One byte more than read, so the text always ends in a zero.
  std::vector<char> buffer(static_cast<size_t>(rounded) + 1, 0);
  device.readZeroFilled(textPosition, buffer.data(), static_cast<size_t>(rounded));
  parseVolumeGroup(std::string_view(buffer.data(), strnlen(buffer.data(), buffer.size())), disk);
}

}  // namespace dudorazu
