#include "core/tools/mbr_rebuild.h"

#include <cstring>

#include "core/common/byte_order.h"
#include "core/common/text.h"
#include "core/device/open_device.h"
#include "core/partitions/file_system_text.h"
#include "core/present/display_format.h"
#include "core/tools/tool_messages.h"

namespace dudorazu {
namespace {

constexpr size_t kEntryTable = 446;
constexpr size_t kEntrySize = 16;
constexpr size_t kMaxEntries = 4;
constexpr uint8_t kMbrTypeExfat = 0x07;  // exFAT shares the NTFS type byte

// A ticked volume as a refusal names it: family, label and start.
std::string volumeText(const PartitionRecord& r) {
  const char* family = rebuildFamily(r.typeCode);
  return format("%s 卷%s（起始扇区 %llu）", family ? family : "", r.label.empty() ? "" : (" " + r.label).c_str(),
                static_cast<unsigned long long>(r.startSector));
}

}  // namespace

const char* rebuildFamily(uint8_t typeCode) {
  switch (typeCode) {
    case 7: case 13: return "NTFS";
    case 11: case 12: return "FAT32";
    case 4: case 6: case 14: return "FAT16";
    case 5: return "exFat";
    default: return nullptr;
  }
}

std::string rebuildSizeText(uint64_t sizeSectors) {
  // Sizes beyond what bytes fit in 64 bits (hostile boot sectors) still get
  // a text instead of a wrapped one.
  if (sizeSectors > UINT64_MAX / kSectorSize) return format("%.1f GB", static_cast<double>(sizeSectors) * 0.5 / 1048576.0);
  return formatSizeShort(sizeSectors * kSectorSize);
}

std::vector<RebuildRow> rebuildRows(const DiskRecord& disk) {
  std::vector<RebuildRow> rows;
  size_t index = 0;
  for (const PartitionRecord& r : disk.partitions) {
    size_t recordIndex = index++;
    if (r.searchKind == 1) continue;
    const char* family = rebuildFamily(r.typeCode);
    if (!family) continue;
    if (r.searchKind == kSearchKindFound) {
      bool inTable = false;
      for (const PartitionRecord& q : disk.partitions) {
        const char* qFamily = rebuildFamily(q.typeCode);
        if (q.searchKind == kSearchKindTable && q.startOffset() == r.startOffset() && qFamily &&
            std::strcmp(qFamily, family) == 0)
          inTable = true;
      }
      if (inTable) continue;
    }
    RebuildRow row;
    row.system = family;
    row.label = r.label;
    row.startText = std::to_string(r.startSector);
    row.sizeText = rebuildSizeText(r.sizeSectors);
    row.kindText = entryKindText(r.entryKind);
    row.recordIndex = recordIndex;
    rows.push_back(row);
  }
  return rows;
}

bool rebuildAllowed(const DiskRecord& disk, MessageSink& messages) {
  if (!diskHasMountedVolume(disk)) return true;
  messages.show(kMsgSystemDisk, kApplicationTitle);
  return false;
}

RebuiltEntry rebuiltEntry(const DiskRecord& disk, const PartitionRecord& record) {
  RebuiltEntry entry{record.startOffset() / disk.bytesPerSector, record.sizeBytes() / disk.bytesPerSector};
  const uint64_t diskSectors = disk.diskSize / disk.bytesPerSector;
  if (diskSectors != 0 && entry.firstSector < diskSectors && entry.sectors > diskSectors - entry.firstSector) {
    entry.sectors = diskSectors - entry.firstSector;
    entry.cut = true;
  }
  return entry;
}

bool refuseRebuild(const DiskRecord& disk, const std::vector<size_t>& tickedRecords, MessageSink& messages) {
  if (tickedRecords.size() > kMaxEntries) {
    messages.show(kMsgWrongChoice, kApplicationTitle);
    return true;
  }
  const uint64_t diskSectors = disk.diskSize / disk.bytesPerSector;
  std::vector<RebuiltEntry> entries;
  for (size_t index : tickedRecords) {
    if (index >= disk.partitions.size()) return true;
    const PartitionRecord& r = disk.partitions[index];
    const RebuiltEntry entry = rebuiltEntry(disk, r);
    if (diskSectors != 0 && entry.firstSector >= diskSectors) {
      messages.show(format(kMsgVolumePastDiskEnd, volumeText(r).c_str()), kCaptionError);
      return true;
    }
    // An MBR entry holds 32-bit sector numbers: a volume that starts or
    // ends beyond them cannot be written.
    if (entry.firstSector > UINT32_MAX || entry.sectors > UINT32_MAX) {
      messages.show(kMsgTooLargeForMbr, kCaptionError);
      return true;
    }
    // Two entries over the same sectors would let two file systems write
    // over each other: the user keeps one of them.
    for (size_t j = 0; j < entries.size(); ++j) {
      const RebuiltEntry& other = entries[j];
      if (entry.firstSector < other.firstSector + other.sectors && other.firstSector < entry.firstSector + entry.sectors) {
        messages.show(format(kMsgVolumesOverlap, volumeText(disk.partitions[tickedRecords[j]]).c_str(),
                             volumeText(r).c_str()),
                      kCaptionError);
        return true;
      }
    }
    entries.push_back(entry);
  }
  return false;
}

void fillMbrEntries(uint8_t* sector, const DiskRecord& disk, const std::vector<size_t>& tickedRecords) {
  size_t slot = 0;
  for (size_t index : tickedRecords) {
    if (slot == kMaxEntries || index >= disk.partitions.size()) break;
    const PartitionRecord& r = disk.partitions[index];
    uint8_t* entry = sector + kEntryTable + kEntrySize * slot++;
    entry[4] = r.typeCode == kTypeExfat ? kMbrTypeExfat : r.typeCode;
    // In the disk's own sectors, and the record's own size (one more would
    // overlap the next volume); refuseRebuild refused what does not fit.
    const RebuiltEntry values = rebuiltEntry(disk, r);
    putLe32(entry, 8, static_cast<uint32_t>(values.firstSector));
    putLe32(entry, 12, static_cast<uint32_t>(values.sectors));
  }
  for (; slot < kMaxEntries; ++slot) std::memset(sector + kEntryTable + kEntrySize * slot, 0, kEntrySize);
  sector[510] = 0x55;
  sector[511] = 0xAA;
}

RebuildResult writeRebuiltMbr(const DiskRecord& disk, const std::vector<size_t>& tickedRecords, MessageSink& messages) {
  if (tickedRecords.empty()) return RebuildResult::NothingChosen;
  if (refuseRebuild(disk, tickedRecords, messages)) return RebuildResult::Refused;
  if (!rebuildAllowed(disk, messages)) return RebuildResult::Refused;

  auto device = openDevice(disk.devicePath, OpenMode::ReadWrite);
  if (!device) {
    messages.show(kMsgOpenFailed, kCaptionError);
    return RebuildResult::Failed;
  }
  uint8_t sector[kSectorSize];
  // Without the old sector its boot code would be lost; write nothing then.
  if (device->readSectors(0, 1, sector) != kSectorSize) {
    messages.show(kMsgDiskReadFailed, kCaptionError);
    return RebuildResult::Failed;
  }
  fillMbrEntries(sector, disk, tickedRecords);
  if (device->writeAt(0, sector, kSectorSize) != kSectorSize || !device->flush()) {
    messages.show(kMsgDiskWriteFailed, kCaptionError);
    return RebuildResult::Failed;
  }
  return RebuildResult::Written;
}

}  // namespace dudorazu
