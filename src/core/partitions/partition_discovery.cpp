// Discovery of one disk: which layout it has, then the MBR walk.
#include "core/partitions/apple_map.h"
#include "core/partitions/discovery_steps.h"
#include "core/partitions/fs_probes.h"
#include "core/partitions/lvm_label.h"
#include "core/partitions/mbr_entry.h"
#include "core/partitions/partition_table.h"

namespace dudorazu {
namespace {

constexpr size_t kHeadSectors = 4;
constexpr size_t kSuperblockOffset = 1024;

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
    uint32_t extendedStart = link.start;
    ExtendedChainGuard guard;
    guard.visited.insert(extendedStart);
    guard.ebrsRead = 1;
    uint8_t ebr[kSectorSize];
    // The first EBR is taken without testing its signature.
    device.readSectors(extendedStart, 1, ebr);
    for (int j = 0; j < 4; ++j) {
      MbrEntry e = mbrEntry(ebr, j);
      if (e.empty()) continue;
      if (e.isLink()) {
        ++counter;
        walkExtendedChain(device, extendedStart, e.start, disk, counter, guard);
        --counter;
      } else {
        disk.partitions.push_back(
            makeTableRecord(device, counter, e.start + extendedStart, e.count, e.type, kEntryLogical));
      }
    }
  }
}

}  // namespace

void discoverPartitions(SectorDevice& device, DiskRecord& disk) {
  uint8_t head[kHeadSectors * kSectorSize];
  device.readSectors(0, kHeadSectors, head);
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
    disk.partitions.push_back(makeTableRecord(device, counter, e.start, e.count, e.type, kEntryPrimary));
    ++counter;
  }
  extendedPass(device, disk, head, counter);
}

}  // namespace dudorazu
