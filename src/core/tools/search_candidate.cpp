#include "core/tools/search_candidate.h"

#include <algorithm>
#include <cstring>

#include "core/common/byte_order.h"
#include "core/common/byte_range.h"
#include "core/common/text.h"
#include "core/partitions/exfat_boot_sector.h"
#include "core/partitions/file_system_text.h"
#include "core/partitions/fs_probes.h"
#include "core/partitions/partition_record.h"

namespace dudorazu {
namespace {

using namespace exfat_boot;

constexpr uint8_t kBitmapEntry = 0x81;
constexpr uint8_t kUpcaseEntry = 0x82;

// Serves one sector from memory and everything else from the disk, so the
// label reader sees the backup boot sector where the main one was destroyed.
class BootSectorOverlay : public SectorDevice {
 public:
  // A sector past 64 bits serves nothing.
  BootSectorOverlay(SectorDevice& disk, uint64_t lba, const uint8_t* sector)
      : disk_(disk), served_(sectorBytes(lba)) {
    std::memcpy(sector_, sector, kSectorSize);
  }
  size_t readAt(uint64_t offset, void* buffer, size_t length) override {
    length = static_cast<size_t>(std::min<uint64_t>(length, UINT64_MAX - offset));
    size_t n = disk_.readAt(offset, buffer, length);
    const ByteRange both = ByteRange::of(offset, length)->intersection(served_);
    if (!both.empty()) {
      std::memcpy(static_cast<uint8_t*>(buffer) + (both.start() - offset), sector_ + (both.start() - served_.start()),
                  static_cast<size_t>(both.length()));
      n = std::max<size_t>(n, static_cast<size_t>(both.end() - offset));
    }
    return n;
  }
  size_t writeAt(uint64_t, const void*, size_t) override { return 0; }
  uint64_t size() const override { return disk_.size(); }

 private:
  SectorDevice& disk_;
  static ByteRange sectorBytes(uint64_t lba) {
    std::optional<SectorRange> sectors = SectorRange::of(lba, 1);
    return (sectors ? bytesOf(*sectors, kSectorSize) : std::nullopt).value_or(ByteRange{});
  }
  ByteRange served_;
  uint8_t sector_[kSectorSize];
};

bool sameVolume(const uint8_t* a, const uint8_t* b) {
  return le64(a, kVolumeLength) == le64(b, kVolumeLength) && le32(a, kVolumeSerialNumber) == le32(b, kVolumeSerialNumber);
}

}  // namespace

CandidateMatch matchCandidate(const uint8_t* candidate) {
  if (isExfatBootSector(candidate)) return {BootCopy::Main, candidate};
  const uint8_t* backup = candidate + kBackupDistance * kSectorSize;
  if (isExfatBootSector(backup)) return {BootCopy::Backup, backup, kBackupDistance};
  return {};
}

CandidateMatch matchCandidate(const uint8_t* candidate, SectorDevice& device, uint64_t lba, uint8_t* spare) {
  CandidateMatch match = matchCandidate(candidate);
  if (match.copy != BootCopy::None) return match;
  // A volume with larger sectors keeps its backup 12 of them on; the copy's
  // own sector size must say so.
  for (uint32_t shift = 10; shift <= 12; ++shift) {
    const uint64_t distance = uint64_t{kBackupDistance} << (shift - 9);
    if (lba > UINT64_MAX - distance) break;
    device.readSectors(lba + distance, 1, spare);
    if (isExfatBootSector(spare) && spare[kBytesPerSectorShift] == shift) return {BootCopy::Backup, spare, distance};
  }
  return {};
}

bool rootDirectoryLinesUp(SectorDevice& device, uint64_t start, const uint8_t* boot) {
  // Shifts outside what exFAT allows cannot place anything.
  if (!hasPlausibleShifts(boot)) return false;
  uint8_t sectorShift = boot[kBytesPerSectorShift];
  uint8_t clusterShift = boot[kSectorsPerClusterShift];
  uint32_t rootCluster = le32(boot, kFirstClusterOfRootDirectory);
  if (rootCluster < 2) return false;
  uint64_t volumeSector = (static_cast<uint64_t>(rootCluster - 2) << clusterShift) + le32(boot, kClusterHeapOffset);
  uint64_t sector = (volumeSector << (sectorShift - 9)) + start;
  uint8_t root[kSectorSize];
  device.readSectors(sector, 1, root);
  bool bitmap = false, upcase = false;
  for (size_t off = 0; off < kSectorSize; off += 32) {
    bitmap = bitmap || root[off] == kBitmapEntry;
    upcase = upcase || root[off] == kUpcaseEntry;
  }
  return bitmap && upcase;
}

uint64_t volumeStartFor(SectorDevice& device, uint64_t lba, const uint8_t* boot) {
  uint64_t offsetField = le64(boot, kPartitionOffset);
  if (offsetField == lba) return lba;
  const uint64_t distance = backupDistance512(boot);
  if (lba < distance) return lba;
  uint64_t earlier = lba - distance;
  if (offsetField == earlier) return earlier;

  uint8_t before[kSectorSize];
  device.readSectors(earlier, 1, before);
  if (isExfatBootSector(before) && sameVolume(before, boot)) return earlier;
  // The main boot sector is gone: only the layout can tell the copies apart.
  if (rootDirectoryLinesUp(device, earlier, boot) && !rootDirectoryLinesUp(device, lba, boot)) return earlier;
  return lba;
}

std::string foundVolumeLabel(SectorDevice& device, uint64_t start, const uint8_t* boot, bool viaBackup) {
  if (!viaBackup) return readVolumeLabel(device, start * kSectorSize, kTypeExfat);
  BootSectorOverlay overlay(device, start, boot);
  return readVolumeLabel(overlay, start * kSectorSize, kTypeExfat);
}

std::string chsText(uint64_t cylinder, uint32_t head) {
  return format("%llu,%u,1", static_cast<unsigned long long>(cylinder), head);
}

std::string describeFoundVolume(const std::string& label, const std::string& chs, uint64_t sizeSectors,
                                uint8_t entryKind) {
  return "exFat;" + label + ";" + chs + ";" + std::to_string(sizeSectors) + ";" +
         entryKindText(entryKind) + ";";
}

}  // namespace dudorazu
