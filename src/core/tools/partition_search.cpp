#include "core/tools/partition_search.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <set>
#include <vector>

#include "core/common/byte_order.h"
#include "core/common/text.h"
#include "core/device/open_device.h"
#include "core/partitions/exfat_boot_sector.h"
#include "core/partitions/fs_probes.h"
#include "core/tools/search_candidate.h"

namespace dudorazu {
namespace {

// The cylinder grid's second candidate sits 63 sectors into the cylinder
// whatever the disk's sectors per track: where DOS-era tools put a logical
// volume behind its extended boot record.
constexpr uint64_t kLogicalOffset = 63;

struct Candidate {
  uint64_t sector;
  uint32_t head;
  uint8_t entryKind;
};

PartitionRecord foundRecord(uint64_t number, const FoundVolume& found) {
  PartitionRecord record;
  record.name = format("Partition%llu", static_cast<unsigned long long>(number));
  record.typeCode = kTypeExfat;
  record.searchKind = kSearchKindFound;
  record.sizeSectors = found.sizeSectors;
  record.startSector = found.startSector;
  record.entryKind = found.entryKind;
  record.label = found.label;
  record.exfatFromBackupBootSector = found.viaBackup;
  return record;
}

PartitionRecord* listedFound(DiskRecord& disk, uint64_t startSector) {
  for (PartitionRecord& p : disk.partitions)
    if (p.searchKind == kSearchKindFound && p.startSector == startSector && p.typeCode == kTypeExfat) return &p;
  return nullptr;
}

class SearchRun {
 public:
  SearchRun(DiskRecord& disk, SectorDevice& device, ProgressBlock& progress, const FoundVolumeCallback& onFound)
      : disk_(disk), device_(device), progress_(progress), onFound_(onFound), counter_(disk.partitions.size()) {}

  void gridSearch(uint64_t cylinders, uint32_t heads, uint32_t sectorsPerTrack, bool everyHead);
  bool sectorSearch(uint64_t diskSectors);
  bool alignedSearch(uint64_t diskSectors, uint64_t cylinders, uint32_t heads, uint32_t sectorsPerTrack);

 private:
  void examine(const Candidate& candidate, uint64_t cylinder, std::vector<uint8_t>& buffer);
  void examineAligned(uint64_t sector, const Candidate* onGrid, uint64_t cylinder, uint32_t heads,
                      uint32_t sectorsPerTrack, std::vector<uint8_t>& buffer);
  void report(uint64_t start, const uint8_t* boot, bool viaBackup, const std::string& chs, uint8_t entryKind);

  DiskRecord& disk_;
  SectorDevice& device_;
  ProgressBlock& progress_;
  const FoundVolumeCallback& onFound_;
  uint64_t counter_;
  std::set<uint64_t> described_;  // starts already shown in this run
};

// Candidates of one cylinder in disk order. The cylinder mode looks at the
// cylinder's first sector and 63 sectors in. The head mode looks at the
// first sector of every track (so a volume on any head boundary of any
// cylinder is met) and at the cylinder mode's 63-sector candidate, which is
// the head-1 boundary on the usual 63-sector tracks; it therefore finds
// everything the cylinder mode finds.
std::vector<Candidate> cylinderCandidates(uint64_t cylinder, uint32_t heads, uint32_t sectorsPerTrack,
                                          bool everyHead) {
  uint64_t base = cylinder * heads * sectorsPerTrack;
  uint8_t logicalKind = cylinder == 0 ? kEntryPrimary : kEntryLogical;
  std::vector<Candidate> list;
  if (!everyHead) {
    list.push_back({base, 0, kEntryPrimary});
    list.push_back({base + kLogicalOffset, 1, logicalKind});
    return list;
  }
  bool logicalOnTrack = kLogicalOffset % sectorsPerTrack == 0 && kLogicalOffset / sectorsPerTrack < heads;
  for (uint32_t h = 0; h < heads; ++h) {
    uint64_t sector = base + static_cast<uint64_t>(h) * sectorsPerTrack;
    list.push_back({sector, h, sector == base + kLogicalOffset ? logicalKind : kEntryPrimary});
  }
  if (!logicalOnTrack) {
    list.push_back({base + kLogicalOffset, 1, logicalKind});
    std::stable_sort(list.begin(), list.end(), [](const Candidate& a, const Candidate& b) { return a.sector < b.sector; });
  }
  return list;
}

void SearchRun::gridSearch(uint64_t cylinders, uint32_t heads, uint32_t sectorsPerTrack, bool everyHead) {
  std::vector<uint8_t> buffer(kCandidateSectors * kSectorSize);
  progress_.setRange(cylinders, 1);
  for (uint64_t c = 0; c < cylinders; ++c) {
    progress_.stepIt();
    if (progress_.cancelled()) return;
    for (const Candidate& candidate : cylinderCandidates(c, heads, sectorsPerTrack, everyHead))
      examine(candidate, c, buffer);
  }
}

void SearchRun::examine(const Candidate& candidate, uint64_t cylinder, std::vector<uint8_t>& buffer) {
  // Past cylinder 0 the read starts one sector early, so the candidate is
  // the buffer's second sector and its backup the last.
  uint64_t first = cylinder == 0 ? candidate.sector : candidate.sector - 1;
  device_.readSectors(first, kCandidateSectors, buffer.data());
  const uint8_t* p = buffer.data() + (candidate.sector - first) * kSectorSize;
  uint8_t spare[kSectorSize];
  CandidateMatch match = matchCandidate(p, device_, candidate.sector, spare);
  if (match.copy == BootCopy::None) return;
  report(candidate.sector, match.bootSector, match.copy == BootCopy::Backup, chsText(cylinder, candidate.head),
         candidate.entryKind);
}

// The text of a start that is no grid candidate: its real cylinder, head
// and sector, or the sector mode's fixed text on a disk without geometry.
std::string chsOf(uint64_t sector, uint32_t heads, uint32_t sectorsPerTrack) {
  if (heads == 0 || sectorsPerTrack == 0) return "0,0,1";
  uint64_t track = sector / sectorsPerTrack;
  return format("%llu,%llu,%llu", static_cast<unsigned long long>(track / heads),
                static_cast<unsigned long long>(track % heads),
                static_cast<unsigned long long>(sector % sectorsPerTrack + 1));
}

// Every 1 MiB boundary, where partitioning tools of this century put
// volumes, merged in disk order with the cylinder mode's grid candidates.
bool SearchRun::alignedSearch(uint64_t diskSectors, uint64_t cylinders, uint32_t heads, uint32_t sectorsPerTrack) {
  std::vector<uint8_t> buffer(kCandidateSectors * kSectorSize);
  progress_.setRange(diskSectors / kAlignedStepSectors + 1, 1);
  uint64_t aligned = 0;
  uint64_t nextCylinder = 0, cylinder = 0;
  std::vector<Candidate> grid;
  size_t g = 0;
  for (;;) {
    while (g == grid.size() && nextCylinder < cylinders) {
      cylinder = nextCylinder++;
      grid = cylinderCandidates(cylinder, heads, sectorsPerTrack, false);
      g = 0;
    }
    const bool onGrid = g < grid.size() && grid[g].sector <= aligned;
    if (!onGrid && aligned >= diskSectors) break;
    progress_.setPosition((onGrid ? grid[g].sector : aligned) / kAlignedStepSectors);
    if (progress_.cancelled()) return false;
    if (onGrid) {
      const Candidate& c = grid[g++];
      if (c.sector == aligned) aligned += kAlignedStepSectors;
      examineAligned(c.sector, &c, cylinder, heads, sectorsPerTrack, buffer);
    } else {
      examineAligned(aligned, nullptr, 0, heads, sectorsPerTrack, buffer);
      aligned += kAlignedStepSectors;
    }
  }
  return true;
}

// A candidate of the aligned pass, through its main boot sector or the
// backup 12 of the volume's own sectors later. Where the volume starts is decided as in the
// sector mode, so a boot sector that is another volume's backup does not
// become a volume of its own. A candidate off the grid (`onGrid` null) is
// a primary entry's start; its text is made only for a volume met, as 16
// TiB hold sixteen million candidates.
void SearchRun::examineAligned(uint64_t sector, const Candidate* onGrid, uint64_t cylinder, uint32_t heads,
                               uint32_t sectorsPerTrack, std::vector<uint8_t>& buffer) {
  const uint8_t entryKind = onGrid ? onGrid->entryKind : kEntryPrimary;
  const uint32_t head = onGrid ? onGrid->head : 0;
  device_.readSectors(sector, kBackupDistance + 1, buffer.data());
  uint8_t spare[kSectorSize];
  CandidateMatch match = matchCandidate(buffer.data(), device_, sector, spare);
  if (match.copy == BootCopy::None) return;
  uint64_t lba = sector + match.distance;
  uint64_t start = volumeStartFor(device_, lba, match.bootSector);
  const bool here = start == sector;
  report(start, match.bootSector, start != lba,
         here && onGrid ? chsText(cylinder, head) : chsOf(start, heads, sectorsPerTrack),
         here ? entryKind : kEntryPrimary);
}

bool SearchRun::sectorSearch(uint64_t diskSectors) {
  // The last piece may be shorter: a disk's tail, or all of a small disk.
  const uint64_t chunks = (diskSectors + kSearchChunkSectors - 1) / kSearchChunkSectors;
  const size_t chunkBytes = static_cast<size_t>(kSearchChunkSectors) * kSectorSize;
  // Not zero-initialised: each read fills it, and what a read leaves is zeroed below.
  std::unique_ptr<uint8_t[]> buffer(new uint8_t[chunkBytes]);
  progress_.setRange(chunks, 1);
  for (uint64_t i = 0; i < chunks; ++i) {
    progress_.setPosition(i);
    if (progress_.cancelled()) return false;
    // Zeroing only what the read did not fill keeps a failed read looking
    // like zeros without touching every byte twice.
    size_t got = device_.readAt(i * chunkBytes, buffer.get(), chunkBytes);
    if (got < chunkBytes) std::memset(buffer.get() + got, 0, chunkBytes - got);
    const uint64_t sectors = std::min<uint64_t>(kSearchChunkSectors, diskSectors - i * kSearchChunkSectors);
    for (uint32_t s = 0; s < sectors; ++s) {
      const uint8_t* p = buffer.get() + static_cast<size_t>(s) * kSectorSize;
      if (p[510] != 0x55 || p[511] != 0xAA || !isExfatBootSector(p)) continue;
      uint64_t lba = i * kSearchChunkSectors + s;
      uint64_t start = volumeStartFor(device_, lba, p);
      report(start, p, start != lba, "0,0,1", kEntryPrimary);
    }
  }
  return true;
}

void SearchRun::report(uint64_t start, const uint8_t* boot, bool viaBackup, const std::string& chs,
                       uint8_t entryKind) {
  // A volume met through both of its boot sectors is shown once per run.
  if (!described_.insert(start).second) return;

  FoundVolume found;
  found.startSector = start;
  found.sizeSectors = exfat_boot::volumeLength512(boot);
  found.entryKind = entryKind;
  found.chs = chs;
  found.viaBackup = viaBackup;
  found.label = foundVolumeLabel(device_, found.startSector, boot, viaBackup);
  found.description = describeFoundVolume(found.label, chs, found.sizeSectors, entryKind);
  progress_.setText(found.description);

  if (!listedFound(disk_, start)) {
    disk_.partitions.push_back(foundRecord(counter_++, found));
    found.appended = true;
  }
  if (onFound_) onFound_(found);
}

}  // namespace

bool searchPartitions(DiskRecord& disk, SearchMode mode, uint8_t heads, ProgressBlock& progress,
                      const FoundVolumeCallback& onFound) {
  auto device = openDevice(disk.devicePath, OpenMode::Read);
  if (!device) return false;
  uint32_t h = heads != 0 ? heads : disk.tracksPerCylinder;
  uint32_t s = disk.sectorsPerTrack;
  uint64_t diskSectors = (disk.diskSize != 0 ? disk.diskSize : device->size()) / kSectorSize;
  // A drive whose geometry could not be read has no grid to walk.
  uint64_t cylinders = (h != 0 && s != 0) ? diskSectors / h / s : 0;
  disk.cylinders = static_cast<uint32_t>(cylinders);
  progress.clearText();

  SearchRun run(disk, *device, progress, onFound);
  switch (mode) {
    case SearchMode::Cylinder: run.gridSearch(cylinders, h, s, false); return true;
    case SearchMode::Head: run.gridSearch(cylinders, h, s, true); return true;
    case SearchMode::Sector: return run.sectorSearch(diskSectors);
    case SearchMode::Aligned: return run.alignedSearch(diskSectors, cylinders, h, s);
  }
  return false;
}

std::string foundVolumeAddress(uint64_t startSector) {
  // Appended, not "@" + …: GCC 12's optimiser warns falsely on that form.
  std::string address = "@";
  address += std::to_string(startSector);
  return address;
}

std::optional<uint64_t> parseFoundVolumeAddress(const std::string& text) {
  if (text.size() < 2 || text.size() > 21 || text[0] != '@') return std::nullopt;
  uint64_t value = 0;
  for (size_t i = 1; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return std::nullopt;
    uint64_t digit = static_cast<uint64_t>(text[i] - '0');
    if (value > (UINT64_MAX - digit) / 10) return std::nullopt;
    value = value * 10 + digit;
  }
  return value;
}

PartitionRecord* foundVolumeAt(DiskRecord& disk, uint64_t startSector) {
  if (PartitionRecord* listed = listedFound(disk, startSector)) return listed;
  if (startSector > UINT64_MAX / kSectorSize - kCandidateSectors) return nullptr;
  auto device = openDevice(disk.devicePath, OpenMode::Read);
  if (!device) return nullptr;
  std::vector<uint8_t> buffer(kCandidateSectors * kSectorSize);
  device->readSectors(startSector, kBackupDistance + 1, buffer.data());
  uint8_t spare[kSectorSize];
  CandidateMatch match = matchCandidate(buffer.data(), *device, startSector, spare);
  if (match.copy == BootCopy::None) return nullptr;
  FoundVolume found;
  found.startSector = startSector;
  found.sizeSectors = exfat_boot::volumeLength512(match.bootSector);
  found.viaBackup = match.copy == BootCopy::Backup;
  found.label = foundVolumeLabel(*device, startSector, match.bootSector, found.viaBackup);
  disk.partitions.push_back(foundRecord(disk.partitions.size(), found));
  return &disk.partitions.back();
}

PartitionRecord* findPartitionOrFoundVolume(DiskRecord& disk, const std::string& text) {
  if (PartitionRecord* p = findPartition(disk, text)) return p;
  std::optional<uint64_t> start = parseFoundVolumeAddress(text);
  return start ? foundVolumeAt(disk, *start) : nullptr;
}

}  // namespace dudorazu
