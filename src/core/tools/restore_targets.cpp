#include "core/tools/restore_targets.h"

#include <algorithm>
#include <cstring>
#include <set>
#include <vector>

#include "core/common/byte_range.h"
#include "core/partitions/discovery_steps.h"
#include "core/partitions/mbr_entry.h"
#include "core/partitions/partition_table.h"
#include "core/tools/partition_table_backup.h"

namespace dudorazu {
namespace {

// Half-open, in the table's sectors.
struct Extent {
  uint64_t first = 0, end = 0;
};

// The disk as it reads once the backup's sector images are written back.
// Nothing is written through it.
class RestoredView : public SectorDevice {
 public:
  RestoredView(SectorDevice& disk, const BackupContents& contents) : disk_(disk), contents_(contents) {}

  size_t readAt(uint64_t offset, void* buffer, size_t length) override {
    length = static_cast<size_t>(std::min<uint64_t>(length, UINT64_MAX - offset));
    size_t got = disk_.readAt(offset, buffer, length);
    const ByteRange asked = *ByteRange::of(offset, length);
    // In file order, so a later image of the same sector wins as its write would.
    for (size_t i = 0; i < contents_.offsets.size(); ++i) {
      const uint64_t at = contents_.offsets[i];
      // An image whose end would pass 64 bits serves only what exists of it.
      const ByteRange both = asked.intersection(ByteRange::of(at, kSectorSize).value_or(ByteRange::from(at)));
      if (both.empty()) continue;
      std::memcpy(static_cast<char*>(buffer) + (both.start() - offset),
                  contents_.sectors.data() + i * kSectorSize + (both.start() - at), static_cast<size_t>(both.length()));
      got = std::max(got, static_cast<size_t>(both.end() - offset));
    }
    return got;
  }
  size_t writeAt(uint64_t, const void*, size_t) override { return 0; }
  uint64_t size() const override { return disk_.size(); }
  uint32_t logicalSectorSize() const override { return disk_.logicalSectorSize(); }

 private:
  SectorDevice& disk_;
  const BackupContents& contents_;
};

// The EBRs of every chain sector 0 reaches, followed as the partition
// reader follows them and as far (a bounded number, each read once).
void addEbrChains(SectorDevice& view, uint32_t unit, std::vector<Extent>& tables) {
  uint8_t mbr[kSectorSize];
  readTableSector(view, 0, unit, mbr);
  if (!hasBootSignature(mbr) || isVolumeBootSector(mbr)) return;
  for (int i = 0; i < 4; ++i) {
    const MbrEntry link = mbrEntry(mbr, i);
    if (link.empty() || !link.isLink()) continue;
    const uint64_t extendedStart = link.start;
    std::set<uint64_t> read;
    std::vector<uint64_t> pending{extendedStart};
    while (!pending.empty() && read.size() < ExtendedChainGuard::kMaxEbrs) {
      const uint64_t ebrSector = pending.back();
      pending.pop_back();
      if (!read.insert(ebrSector).second) continue;
      tables.push_back({ebrSector, ebrSector + 1});
      uint8_t ebr[kSectorSize];
      readTableSector(view, ebrSector, unit, ebr);
      // The first EBR is taken without its signature, as the reader takes it.
      if (ebrSector != extendedStart && !hasBootSignature(ebr)) continue;
      for (int j = 0; j < 4; ++j) {
        const MbrEntry e = mbrEntry(ebr, j);
        if (!e.empty() && e.isLink()) pending.push_back(extendedStart + e.start);
      }
    }
  }
}

bool within(const std::vector<Extent>& extents, uint64_t sector) {
  return std::any_of(extents.begin(), extents.end(), [&](const Extent& x) { return x.first <= sector && sector < x.end; });
}

}  // namespace

std::optional<StraySector> straySector(SectorDevice& disk, uint64_t diskBytes, const BackupContents& contents) {
  for (uint64_t offset : contents.offsets)
    if (offset > diskBytes || diskBytes - offset < kSectorSize) return StraySector{offset, StrayKind::PastEnd};

  RestoredView view(disk, contents);
  DiskRecord after;
  discoverPartitions(view, after);
  const uint32_t unit = tableUnit(after.bytesPerSector);
  std::vector<Extent> tables{{0, 1}};
  addEbrChains(view, unit, tables);
  for (const GptCopy& copy : gptCopies(view, diskBytes / unit, unit)) {
    tables.push_back({copy.headerLba, copy.headerLba + 1});
    tables.push_back({copy.arrayLba, copy.arrayLba + copy.arraySectors});
  }
  std::vector<Extent> volumes;
  for (const PartitionRecord& p : after.partitions) {
    const ByteRange bytes = p.bytesOnDevice(0);
    volumes.push_back({bytes.start() / unit, bytes.end() / unit});
  }

  for (uint64_t offset : contents.offsets) {
    const uint64_t sector = offset / unit;
    const bool named = within(tables, sector) || std::any_of(volumes.begin(), volumes.end(), [&](const Extent& v) {
                         return sector == v.first || sector == v.end;
                       });
    const bool inside = std::any_of(volumes.begin(), volumes.end(),
                                    [&](const Extent& v) { return v.first < sector && sector < v.end; });
    if (!named || inside) return StraySector{offset, StrayKind::OutsideTables};
  }
  return std::nullopt;
}

}  // namespace dudorazu
