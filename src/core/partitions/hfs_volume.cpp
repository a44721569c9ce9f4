// HFS volume headers: the map entries' kinds, whole-disk volumes, GPT entries.
#include "core/common/byte_order.h"
#include "core/partitions/apple_map.h"
#include "core/partitions/fs_probes.h"

namespace dudorazu {
namespace {

constexpr uint16_t kSigHfs = 0x4244;      // "BD"
constexpr uint16_t kSigHfsPlus = 0x482B;  // "H+"
constexpr uint16_t kSigHfsx = 0x4858;     // "HX"
constexpr size_t kMaxVolumeName = 27;

uint16_t signatureOf(const uint8_t* h) { return be16(h, 0); }
bool wrapsHfsPlus(const uint8_t* h) { return be16(h, 0x7C) == kSigHfsPlus; }

}  // namespace

std::string hfsVolumeName(const uint8_t* h) {
  size_t length = h[0x24];
  if (length > kMaxVolumeName) length = kMaxVolumeName;
  return std::string(reinterpret_cast<const char*>(h + 0x25), length);
}

HfsKind readHfsKind(SectorDevice& device, uint32_t startSector) {
  uint8_t h[kSectorSize];
  device.readSectors(static_cast<uint64_t>(startSector) + 2, 1, h);
  switch (signatureOf(h)) {
    case kSigHfs: return {hfsVolumeName(h), wrapsHfsPlus(h) ? 4u : 1u};
    case kSigHfsPlus: return {"only hfs+", 2};
    case kSigHfsx: return {"HFSX", 3};
    default: return {};
  }
}

void readWholeDiskHfs(DiskRecord& disk, const uint8_t* h, uint64_t diskBytes) {
  PartitionRecord p;
  switch (signatureOf(h)) {
    case kSigHfs:
      p.hfsKind = wrapsHfsPlus(h) ? 4 : 1;
      p.hfsKindText = wrapsHfsPlus(h) ? "HFS+ in HFS" : "HFS";
      p.label = hfsVolumeName(h);
      break;
    case kSigHfsPlus:
      p.hfsKind = 2;
      p.hfsKindText = "HFS+";
      p.label = "only hfs+";
      break;
    default: return;
  }
  p.name = "Partition0";
  p.sizeSectors = disk.bytesPerSector != 0 ? diskBytes / disk.bytesPerSector : 0;
  if (disk.bytesPerSector != 0) p.deviceSectorSize = disk.bytesPerSector;
  p.devicePath = disk.devicePath;
  p.typeCode = kTypeHfs;
  disk.partitions.push_back(std::move(p));
}

void applyGptHfs(PartitionRecord& p, const uint8_t* h, const std::string& devicePath) {
  uint32_t kind = classifyHfs(h);
  if (kind == 0) return;
  p.typeCode = kTypeHfs;
  switch (kind) {
    case 4:
      p.hfsKind = 4;
      p.hfsKindText = "HFS+ in HFS";
      p.label = hfsVolumeName(h);
      break;
    case 1:
      p.hfsKind = 1;
      p.hfsKindText = "HFS";
      p.label = hfsVolumeName(h);
      break;
    case 2:
      p.hfsKind = 2;
      p.hfsKindText = "HFS+";
      p.label = "only hfs+";
      break;
    default: return;  // HFSX: only the type code
  }
  p.devicePath = devicePath;
}

}  // namespace dudorazu
