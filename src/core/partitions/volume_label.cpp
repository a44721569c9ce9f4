// The exFAT volume label, read from the first sector of the root folder.
#include <vector>

#include "core/common/byte_order.h"
#include "core/common/text.h"
#include "core/partitions/fs_probes.h"

namespace dudorazu {
namespace {

constexpr uint8_t kLabelEntry = 0x83;
// An exFAT sector is 512 to 4096 bytes; a larger shift is a damaged boot
// sector and must not size the read buffer.
constexpr uint8_t kMinSectorShift = 9;
constexpr uint8_t kMaxSectorShift = 12;
constexpr uint8_t kMaxClusterShift = 25;
// The entry has room for 15 UTF-16 units after its count byte; a larger
// count (valid volumes stop at 11) is cut there rather than read past it.
constexpr size_t kLabelRoom = 15;

}  // namespace

std::string readVolumeLabel(SectorDevice& device, uint32_t startSector, uint8_t typeCode) {
  if (typeCode != 5) return {};
  uint8_t boot[512];
  device.readSectors(startSector, 1, boot);
  uint8_t bpsShift = boot[0x6C];
  uint8_t spcShift = boot[0x6D];
  if (bpsShift < kMinSectorShift || bpsShift > kMaxSectorShift || spcShift > kMaxClusterShift) return {};
  uint32_t heapOffset = le32(boot, 0x58);
  uint32_t rootCluster = le32(boot, 0x60);

  uint32_t clusterIndex = rootCluster - 2;  // wraps as unsigned 32-bit, as the volume arithmetic does
  uint64_t rootSector = (static_cast<uint64_t>(clusterIndex) << spcShift) + heapOffset + startSector;
  uint64_t position = rootSector << bpsShift;

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
