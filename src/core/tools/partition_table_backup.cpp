#include "core/tools/partition_table_backup.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

#include "core/common/byte_order.h"
#include "core/device/command_output.h"
#include "core/device/open_device.h"
#include "core/tools/tool_messages.h"

namespace dudorazu {
namespace {

constexpr char kSeparator = '^';

// No GPT has entries larger than 4 KiB or more than a few hundred of them;
// a damaged header may claim any size, so what is read is capped.
constexpr uint64_t kMaxGptArrayBytes = 1024 * 1024;
constexpr uint32_t kMinGptEntrySize = 128;
constexpr uint32_t kMaxGptEntrySize = 4096;
constexpr uint32_t kMaxTableSector = 4096;

bool allZero(const std::vector<uint8_t>& bytes, uint64_t from, uint64_t to) {
  return std::all_of(bytes.begin() + static_cast<long>(from), bytes.begin() + static_cast<long>(to),
                     [](uint8_t b) { return b == 0; });
}

struct GptHeader {
  uint64_t alternateLba = 0;
  uint64_t arrayLba = 0;
  uint64_t arrayBytes = 0;
};

bool readGptHeader(SectorDevice& device, uint64_t lba, uint32_t unit, GptHeader& header) {
  uint8_t sector[kSectorSize];
  if (lba > UINT64_MAX / unit) return false;
  device.readZeroFilled(lba * unit, sector, sizeof sector);
  if (std::memcmp(sector, "EFI PART", 8) != 0) return false;
  uint32_t entryCount = le32(sector, 80);
  uint32_t entrySize = le32(sector, 84);
  if (entrySize < kMinGptEntrySize || entrySize > kMaxGptEntrySize) return false;
  header.alternateLba = le64(sector, 32);
  header.arrayLba = le64(sector, 72);
  header.arrayBytes = std::min<uint64_t>(static_cast<uint64_t>(entryCount) * entrySize, kMaxGptArrayBytes);
  return true;
}

// The sectors of a copy's entry array up to the last one that holds a
// non-zero byte.
uint64_t usedArraySectors(SectorDevice& device, const GptCopy& copy, uint32_t unit) {
  std::vector<uint8_t> array(static_cast<size_t>(copy.arraySectors) * unit);
  device.readZeroFilled(copy.arrayLba * unit, array.data(), array.size());
  uint64_t used = copy.arraySectors;
  while (used > 0 && allZero(array, (used - 1) * unit, used * unit)) --used;
  return used;
}

}  // namespace

uint32_t tableUnit(uint32_t bytesPerSector) {
  return bytesPerSector >= kSectorSize && bytesPerSector <= kMaxTableSector && bytesPerSector % kSectorSize == 0
             ? bytesPerSector
             : kSectorSize;
}

std::vector<GptCopy> gptCopies(SectorDevice& device, uint64_t diskSectors, uint32_t sectorSize) {
  const uint32_t unit = tableUnit(sectorSize);
  std::vector<GptCopy> copies;
  auto add = [&](uint64_t lba, const GptHeader& header) {
    GptCopy copy{lba, header.arrayLba, (header.arrayBytes + unit - 1) / unit};
    if (diskSectors != 0)
      copy.arraySectors = copy.arrayLba >= diskSectors ? 0 : std::min(copy.arraySectors, diskSectors - copy.arrayLba);
    else if (copy.arrayLba > UINT64_MAX / unit - copy.arraySectors)
      copy.arraySectors = 0;
    copies.push_back(copy);
  };
  GptHeader primary, backup;
  bool hasPrimary = readGptHeader(device, 1, unit, primary);
  if (hasPrimary) add(1, primary);
  uint64_t backupLba = diskSectors != 0 ? diskSectors - 1 : 0;
  if (hasPrimary && primary.alternateLba > 1 && (diskSectors == 0 || primary.alternateLba < diskSectors))
    backupLba = primary.alternateLba;
  if (backupLba > 1 && readGptHeader(device, backupLba, unit, backup)) add(backupLba, backup);
  return copies;
}

std::vector<uint64_t> gptSectorList(SectorDevice& device, uint64_t diskSectors, uint32_t sectorSize) {
  const uint32_t unit = tableUnit(sectorSize);
  std::vector<uint64_t> sectors;
  for (const GptCopy& copy : gptCopies(device, diskSectors, unit)) {
    sectors.push_back(copy.headerLba);
    uint64_t used = usedArraySectors(device, copy, unit);
    for (uint64_t i = 0; i < used; ++i) sectors.push_back(copy.arrayLba + i);
  }
  return sectors;
}

std::vector<uint32_t> backupSectorList(const DiskRecord& disk) {
  uint64_t diskSectors = disk.diskSize / tableUnit(disk.bytesPerSector);
  std::vector<uint32_t> sectors;
  auto keep = [&](uint32_t s) {
    if (disk.diskSize == 0 || s < diskSectors) sectors.push_back(s);
  };
  // The file holds 32-bit sector numbers, as an MBR does; a sector beyond
  // them is not one an MBR or EBR can point at.
  auto keepWide = [&](uint64_t s) {
    if (s <= UINT32_MAX) keep(static_cast<uint32_t>(s));
  };
  uint64_t prevEnd = 0;
  for (const PartitionRecord& p : disk.partitions) {
    keepWide(prevEnd);
    keepWide(p.startSector);
    prevEnd = p.startSector + p.sizeSectors;
  }
  return sectors;
}

std::string backupTrailer(const std::vector<uint64_t>& offsets, const std::string& devicePath,
                          const std::string& displayName) {
  std::string trailer;
  for (uint64_t offset : offsets) trailer += std::to_string(offset) + kSeparator;
  return trailer + devicePath + kSeparator + displayName;
}

BackupResult backupPartitionTable(const DiskRecord& disk, const std::string& filePath, MessageSink& messages) {
  const std::string name = displayName(disk);
  // A "^" inside either name would split the trailer in the wrong place.
  if (disk.devicePath.find(kSeparator) != std::string::npos || name.find(kSeparator) != std::string::npos) {
    messages.show(kMsgCaretInName, kCaptionError);
    return BackupResult::Refused;
  }
  auto device = openDevice(disk.devicePath, OpenMode::Read);
  if (!device) return BackupResult::DiskNotOpened;
  // Sectors are counted in the disk's own size; the file keeps 512-byte
  // pieces, so a 4 KiB sector is saved as eight of them.
  const uint32_t unit = tableUnit(disk.bytesPerSector);
  std::vector<uint64_t> sectors;
  for (uint32_t s : backupSectorList(disk)) sectors.push_back(s);
  const size_t tableSectors = sectors.size();
  uint64_t diskBytes = device->size() != 0 ? device->size() : disk.diskSize;
  for (uint64_t s : gptSectorList(*device, diskBytes / unit, unit))
    if (std::find(sectors.begin(), sectors.end(), s) == sectors.end()) sectors.push_back(s);
  std::vector<uint64_t> planned;
  std::vector<uint8_t> bytes(unit);
  for (size_t i = 0; i < sectors.size(); ++i) {
    size_t pieces = unit / kSectorSize;
    // Past a GPT header or its last entry a sector holds zeros, left out
    // like the unused entries.
    if (i >= tableSectors) {
      device->readZeroFilled(sectors[i] * unit, bytes.data(), unit);
      while (pieces > 1 && allZero(bytes, (pieces - 1) * kSectorSize, pieces * kSectorSize)) --pieces;
    }
    for (size_t k = 0; k < pieces; ++k) planned.push_back(sectors[i] * unit + k * kSectorSize);
  }
  if (backupTrailer(planned, disk.devicePath, name).size() >= kSectorSize) {
    messages.show(kMsgTooManyForBackup, kCaptionError);
    return BackupResult::Refused;
  }

  std::string contents;
  uint8_t sector[kSectorSize];
  for (uint64_t offset : planned) {
    device->readZeroFilled(offset, sector, kSectorSize);  // unreadable: stored as zeros
    contents.append(reinterpret_cast<const char*>(sector), kSectorSize);
  }
  contents += backupTrailer(planned, disk.devicePath, name);

  CommandOutput out =
      createCommandOutput({filePath, "the backup file", ByteRange::from(0), false}, {{disk.devicePath, "the disk"}});
  if (!out.problem.empty()) {
    messages.show(std::string(kMsgSourceIsTarget) + ": " + out.problem, kCaptionError);
    return BackupResult::Refused;
  }
  if (!out.file) {
    messages.show(kMsgOpenFileError, kApplicationTitle);
    return BackupResult::FileError;
  }
  bool written = writeWhole(*out.file, contents);
  out.file.reset();
  if (!written) {
    // A half-written backup would later restore garbage.
    std::remove(filePath.c_str());
    messages.show(kMsgFileWriteFailed, kCaptionError);
    return BackupResult::FileError;
  }
  messages.show(kMsgBackupDone, kCaptionSuccess);
  return BackupResult::Written;
}

}  // namespace dudorazu
