#include "core/tools/partition_table_backup.h"

#include <cstdio>
#include <memory>

#include "core/tools/tool_messages.h"

namespace dudorazu {
namespace {

constexpr char kSeparator = '^';

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

}  // namespace

std::vector<uint32_t> backupSectorList(const DiskRecord& disk) {
  uint64_t diskSectors = disk.diskSize / kSectorSize;
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

bool backupSector(uint32_t sectorNumber, SectorDevice& disk, std::FILE* out, std::vector<uint64_t>& offsets) {
  uint64_t offset = static_cast<uint64_t>(sectorNumber) * kSectorSize;
  uint8_t sector[kSectorSize];
  disk.readZeroFilled(offset, sector, kSectorSize);  // unreadable: stored as zeros
  if (std::fwrite(sector, 1, kSectorSize, out) != kSectorSize) return false;
  offsets.push_back(offset);
  return true;
}

BackupResult backupPartitionTable(const DiskRecord& disk, const std::string& filePath, MessageSink& messages) {
  const std::string name = displayName(disk);
  // A "^" inside either name would split the trailer in the wrong place.
  if (disk.devicePath.find(kSeparator) != std::string::npos || name.find(kSeparator) != std::string::npos) {
    messages.show(kMsgCaretInName, kCaptionError);
    return BackupResult::Refused;
  }
  std::vector<uint32_t> sectors = backupSectorList(disk);
  std::vector<uint64_t> planned;
  for (uint32_t s : sectors) planned.push_back(static_cast<uint64_t>(s) * kSectorSize);
  if (backupTrailer(planned, disk.devicePath, name).size() >= kSectorSize) {
    messages.show(kMsgTooManyForBackup, kCaptionError);
    return BackupResult::Refused;
  }

  auto device = openDevice(disk.devicePath, OpenMode::Read);
  if (!device) return BackupResult::DiskNotOpened;
  std::unique_ptr<std::FILE, FileCloser> out(std::fopen(filePath.c_str(), "wb"));
  if (!out) {
    messages.show(kMsgOpenFileError, kApplicationTitle);
    return BackupResult::FileError;
  }
  std::vector<uint64_t> offsets;
  bool ok = true;
  for (uint32_t s : sectors) ok = ok && backupSector(s, *device, out.get(), offsets);
  if (ok) {
    std::string trailer = backupTrailer(offsets, disk.devicePath, name);
    ok = std::fwrite(trailer.data(), 1, trailer.size(), out.get()) == trailer.size();
  }
  ok = std::fflush(out.get()) == 0 && ok;
  ok = std::fclose(out.release()) == 0 && ok;
  if (!ok) {
    // A half-written backup would later restore garbage.
    std::remove(filePath.c_str());
    messages.show(kMsgFileWriteFailed, kCaptionError);
    return BackupResult::FileError;
  }
  messages.show(kMsgBackupDone, kCaptionSuccess);
  return BackupResult::Written;
}

}  // namespace dudorazu
