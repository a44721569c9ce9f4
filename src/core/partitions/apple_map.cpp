// The Apple partition map that follows a driver descriptor.
#include <algorithm>
#include <cstring>
#include <vector>

#include "core/common/byte_order.h"
#include "core/common/text.h"
#include "core/partitions/apple_map.h"

namespace dudorazu {
namespace {

// However many entries a damaged map claims, it is read only when it fits
// on the disk and below this bound (a real map has a few dozen entries).
constexpr uint64_t kMaxMapBytes = 16u << 20;
// Entries are read from `blockSize` apart; the tail keeps the fields of the
// last entry inside the buffer whatever the block size.
constexpr size_t kEntryFieldBytes = 80;

std::string fixedText(const uint8_t* p, size_t room) {
  const char* s = reinterpret_cast<const char*>(p);
  return std::string(s, strnlen(s, room));
}

bool isHfsType(const std::string& type) {
  return type == "Apple_HFS" || type == "Apple_HFSX" || type == "Apple_HFS+";
}

}  // namespace

bool readApplePartitionMap(SectorDevice& device, DiskRecord& disk, const uint8_t* sector0) {
  uint32_t blockSize = be16(sector0, 2);
  // A zero block size would leave the disk with a sector size of 0 for every
  // later division; such a descriptor describes no map.
  if (blockSize == 0) return false;
  disk.bytesPerSector = blockSize;
  disk.diskSize = be32(sector0, 4);

  uint8_t first[kSectorSize];
  device.readZeroFilled(blockSize, first, sizeof first);
  if (first[0] != 'P' || first[1] != 'M') return false;
  uint32_t entryCount = be32(first, 4);
  disk.mapEntryCount = entryCount;

  uint64_t mapBytes = static_cast<uint64_t>(entryCount) * blockSize;
  if (mapBytes > std::min<uint64_t>(device.size(), kMaxMapBytes)) return true;
  std::vector<uint8_t> map(static_cast<size_t>(mapBytes) + kEntryFieldBytes);
  device.readZeroFilled(static_cast<uint64_t>(blockSize) * be32(first, 8), map.data(),
                        static_cast<size_t>(mapBytes));

  int counter = 0;
  for (uint32_t i = 0; i < entryCount; ++i) {
    const uint8_t* e = map.data() + static_cast<size_t>(i) * blockSize;
    std::string name = fixedText(e + 16, 32);
    std::string type = fixedText(e + 48, 32);
    if (name.empty() || !isHfsType(type)) continue;
    uint32_t start = be32(e, 8);
    HfsKind kind = readHfsKind(device, start);
    PartitionRecord p;
    p.startSector = start;
    p.sizeSectors = be32(e, 12);
    p.hfsKindText = (kind.kind == 4 || kind.kind == 2) ? "Apple_HFS+" : type;
    p.name = kind.kind != 0 ? format("Partition%d", counter) : name;
    p.label = kind.text;
    p.hfsKind = kind.kind;
    p.devicePath = disk.devicePath;
    p.typeCode = kTypeHfs;
    disk.partitions.push_back(std::move(p));
    ++counter;
  }
  return true;
}

}  // namespace dudorazu
