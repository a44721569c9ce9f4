// The exFAT volume label, read from the first sector of the root folder.
#include <vector>

#include "core/common/byte_order.h"
#include "core/common/text.h"
#include "core/partitions/exfat_boot_sector.h"
#include "core/partitions/fs_probes.h"

namespace dudorazu {
namespace {

constexpr uint8_t kLabelEntry = 0x83;
// The entry has room for 15 UTF-16 units after its count byte; a larger
// count (valid volumes stop at 11) is cut there rather than read past it.
constexpr size_t kLabelRoom = 15;

}  // namespace

std::string readVolumeLabel(SectorDevice& device, uint64_t startOffset, uint8_t typeCode) {
  if (typeCode != 5) return {};
  uint8_t boot[512];
  device.readZeroFilled(startOffset, boot, sizeof boot);
  if (!exfat_boot::hasPlausibleShifts(boot)) return {};
  uint8_t bpsShift = boot[exfat_boot::kBytesPerSectorShift];
  uint8_t spcShift = boot[exfat_boot::kSectorsPerClusterShift];
  uint32_t heapOffset = le32(boot, exfat_boot::kClusterHeapOffset);
  uint32_t rootCluster = le32(boot, exfat_boot::kFirstClusterOfRootDirectory);

  uint32_t clusterIndex = rootCluster - 2;  // wraps as unsigned 32-bit, as the volume arithmetic does
  uint64_t rootSector = (static_cast<uint64_t>(clusterIndex) << spcShift) + heapOffset;
  uint64_t position = startOffset + (rootSector << bpsShift);

  std::vector<uint8_t> sector(size_t{1} << bpsShift);
  device.readZeroFilled(position, sector.data(), sector.size());
  for (size_t off = 0; off + 32 <= sector.size(); off += 32) {
    if (sector[off] != kLabelEntry) continue;
    size_t count = sector[off + 1];
    if (count > kLabelRoom) count = kLabelRoom;
    return utf16leToUtf8(sector.data() + off + 2, count);
  }
  return {};
}

}  // namespace dudorazu
