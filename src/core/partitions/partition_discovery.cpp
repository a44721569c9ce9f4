// Discovery of one disk: which layout it has, then the MBR walk.
#include <cstring>

#include "core/partitions/apple_map.h"
#include "core/partitions/discovery_steps.h"
#include "core/partitions/exfat_boot_copy.h"
#include "core/partitions/exfat_boot_sector.h"
#include "core/partitions/fs_probes.h"
#include "core/partitions/lvm_label.h"
#include "core/partitions/mbr_entry.h"
#include "core/partitions/partition_table.h"

namespace dudorazu {
namespace {

constexpr size_t kHeadSectors = 4;
constexpr size_t kSuperblockOffset = 1024;
constexpr uint32_t kLargeSectorSize = 4096;
constexpr char kGptSignature[8] = {'E', 'F', 'I', ' ', 'P', 'A', 'R', 'T'};

// A disk without the boot signature: LVM2, whole-disk EXT, Apple map or HFS.
void discoverUnsigned(SectorDevice& device, DiskRecord& disk, const uint8_t* head) {
  if (readLvmLabel(device, disk, head + kSectorSize) == 0) return;
  if (isExtSuperblock(head + kSuperblockOffset)) {
    appendWholeDiskExt(disk, head + kSuperblockOffset);
    return;
  }
  if (head[0] == 'E' && head[1] == 'R') {
    readApplePartitionMap(device, disk, head);
    return;
  }
  readWholeDiskHfs(disk, head + kSuperblockOffset, device.size());
}

void extendedPass(SectorDevice& device, DiskRecord& disk, const uint8_t* mbr, int& counter) {
  for (int i = 0; i < 4; ++i) {
    MbrEntry link = mbrEntry(mbr, i);
    if (link.empty() || !link.isLink()) continue;
    uint64_t extendedStart = link.start;
    ExtendedChainGuard guard;
    guard.visited.insert(extendedStart);
    guard.ebrsRead = 1;
    uint8_t ebr[kSectorSize];
    // The first EBR is taken without testing its signature.
    readTableSector(device, extendedStart, disk.bytesPerSector, ebr);
    for (int j = 0; j < 4; ++j) {
      MbrEntry e = mbrEntry(ebr, j);
      if (e.empty()) continue;
      if (e.isLink()) {
        ++counter;
        walkExtendedChain(device, extendedStart, e.start, disk, counter, guard);
        --counter;
      } else {
        disk.partitions.push_back(
            makeTableRecord(device, disk, counter, e.start + extendedStart, e.count, e.type, kEntryLogical));
      }
    }
  }
}

}  // namespace

uint32_t tableSectorSize(SectorDevice& device, const uint8_t* sector0) {
  if (uint32_t size = device.logicalSectorSize(); size >= kSectorSize) return size;
  if (!hasBootSignature(sector0)) return kSectorSize;
  uint8_t sector[kSectorSize];
  device.readZeroFilled(kSectorSize, sector, sizeof sector);
  if (std::memcmp(sector, kGptSignature, 8) == 0) return kSectorSize;
  device.readZeroFilled(kLargeSectorSize, sector, sizeof sector);
  if (std::memcmp(sector, kGptSignature, 8) == 0) return kLargeSectorSize;
  // An MBR written in 4 KiB sectors: a volume with 4 KiB sectors of its own
  // stands at start x 4096, and nothing at start x 512. A volume whose main
  // boot sector is destroyed tells the same by its backup, 12 sectors on.
  auto exfat4k = [&](uint64_t offset) {
    device.readZeroFilled(offset, sector, sizeof sector);
    return isExfatBootSector(sector) && sector[exfat_boot::kBytesPerSectorShift] == 12;
  };
  for (int i = 0; i < 4; ++i) {
    MbrEntry e = mbrEntry(sector0, i);
    if (e.empty() || isContainerType(e.type)) continue;
    const uint64_t small = uint64_t{e.start} * kSectorSize, large = uint64_t{e.start} * kLargeSectorSize;
    device.readZeroFilled(small, sector, sizeof sector);
    if (isExfatBootSector(sector) || isVolumeBootSector(sector)) return kSectorSize;
    if (exfat4k(large)) return kLargeSectorSize;
    if (exfatBootCopyAt(device, small) == BootCopy::Backup) return kSectorSize;
    if (exfat4k(large + kBackupDistance * kLargeSectorSize)) return kLargeSectorSize;
  }
  return kSectorSize;
}

void discoverPartitions(SectorDevice& device, DiskRecord& disk) {
  uint8_t head[kHeadSectors * kSectorSize];
  device.readSectors(0, kHeadSectors, head);
  disk.bytesPerSector = tableSectorSize(device, head);
  if (!hasBootSignature(head)) {
    discoverUnsigned(device, disk, head);
    return;
  }
  if (isVolumeBootSector(head)) {
    appendWholeDiskVolume(device, disk, head);
    return;
  }

  int counter = 0;
  for (int i = 0; i < 4; ++i) {
    // Read afresh each time: a GPT header replaces the MBR in `head`.
    MbrEntry e = mbrEntry(head, i);
    if (e.empty() || e.isLink()) continue;
    if (e.type == kTypeGptProtective) {
      if (!readGpt(device, disk, head, counter)) return;
      continue;
    }
    disk.partitions.push_back(makeTableRecord(device, disk, counter, e.start, e.count, e.type, kEntryPrimary));
    ++counter;
  }
  extendedPass(device, disk, head, counter);
}

}  // namespace dudorazu
