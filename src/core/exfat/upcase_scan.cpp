#include "core/exfat/upcase_scan.h"

#include <array>
#include <cstring>
#include <vector>

#include "core/common/byte_order.h"
#include "core/device/open_device.h"

namespace dudorazu {
namespace {

std::array<uint8_t, kSectorSize> makeUpcasePattern() {
  std::array<uint8_t, kSectorSize> p{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t v = i;
    if (i >= 0x61 && i <= 0x7A) v = i - 0x20;
    else if ((i >= 0xE0 && i <= 0xF6) || (i >= 0xF8 && i <= 0xFE)) v = i - 0x20;
    else if (i == 0xFF) v = 0x178;
    putLe16(p.data(), 2 * i, static_cast<uint16_t>(v));
  }
  return p;
}

const std::array<uint8_t, kSectorSize>& upcasePattern() {
  static const std::array<uint8_t, kSectorSize> pattern = makeUpcasePattern();
  return pattern;
}

// Sectors read per request; the comparison itself stays sector by sector.
constexpr uint32_t kBatchSectors = 256;

}  // namespace

std::optional<DefaultExfatLayout> defaultExfatLayout(uint64_t count) {
  DefaultExfatLayout l;
  if (count < 0x80000ull) l.sectorsPerCluster = 8;
  else if (count < 0x4000000ull) l.sectorsPerCluster = 64;
  else if (count < (16ull << 32)) l.sectorsPerCluster = 256;
  else return std::nullopt;
  const uint64_t spc = l.sectorsPerCluster;
  const uint64_t clusters = count / spc;
  l.fatSectors = (clusters * 4 + kSectorSize - 1) / kSectorSize;
  if (l.fatSectors % spc != 0) l.fatSectors += spc - l.fatSectors % spc;
  // One bitmap bit per cluster, 4096 bits per sector, rounded up to clusters.
  l.bitmapClusters = static_cast<uint8_t>((clusters + 4096 * spc - 1) / (4096 * spc));
  l.searchRange = (l.bitmapClusters + 1ull) * spc + 2 * l.fatSectors + 2048;
  return l;
}

bool isUpcaseTableStart(const uint8_t* sector) {
  return std::memcmp(sector, upcasePattern().data(), kSectorSize) == 0;
}

bool scanForUpcaseTable(const DiskRecord& disk, ProgressBlock& progress, uint64_t firstSector,
                        uint64_t sectorCount, uint64_t* foundSector) {
  std::optional<DefaultExfatLayout> layout = defaultExfatLayout(sectorCount);
  if (!layout) return false;
  std::unique_ptr<SectorDevice> device = openDevice(disk.devicePath, OpenMode::Read);
  if (!device) return false;
  // Nothing past the device's end is read, whatever size the range claims.
  uint64_t range = layout->searchRange;
  if (const uint64_t deviceSectors = device->size() / kSectorSize; deviceSectors != 0)
    range = std::min(range, deviceSectors - std::min(firstSector, deviceSectors));
  progress.setRange(range, 1);
  std::vector<uint8_t> buffer(static_cast<size_t>(kBatchSectors) * kSectorSize);
  for (uint64_t k = 0; k < range; k += kBatchSectors) {
    if (progress.cancelled()) return false;
    uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(kBatchSectors, range - k));
    device->readSectors(firstSector + k, n, buffer.data());
    for (uint32_t i = 0; i < n; ++i) {
      if (k + i == 0) continue;  // the first sector read never counts
      if (isUpcaseTableStart(buffer.data() + static_cast<size_t>(i) * kSectorSize)) {
        if (foundSector) *foundSector = firstSector + k + i;
        progress.setPosition(range);
        return true;
      }
    }
    progress.setPosition(k + n);
  }
  return false;
}

bool locateVolumeByUpcase(const DiskRecord& disk, PartitionRecord& partition, ProgressBlock& progress,
                          uint64_t firstSector, uint64_t sectorCount) {
  std::optional<DefaultExfatLayout> layout = defaultExfatLayout(sectorCount);
  if (!layout) return false;
  uint64_t found = 0;
  if (!scanForUpcaseTable(disk, progress, firstSector, sectorCount, &found)) return false;
  const uint32_t spc = layout->sectorsPerCluster;
  partition.clusterSectors = spc;
  // The table is taken to start at cluster B + 2 (512-byte sectors).
  partition.clusterBase = found - (static_cast<uint64_t>(layout->bitmapClusters) + 2) * spc;
  return true;
}

}  // namespace dudorazu
