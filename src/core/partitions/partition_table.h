#pragma once
// How a disk is laid out: MBR primaries and the EBR chain, GPT, whole-disk
// volumes, and the hand-offs to the Apple map, HFS and LVM2 readers.
#include <cstdint>
#include <set>

#include "core/device/disk_record.h"
#include "platform/sector_device.h"

namespace dudorazu {

// Fills disk.partitions (or the LVM fields) through an open read device.
// Runs once per disk, before the disk's size is taken. Sets
// disk.bytesPerSector to tableSectorSize's answer.
void discoverPartitions(SectorDevice& device, DiskRecord& disk);

// The unit the partition table counts in: the device's logical sector size
// when it tells one, else what the table of an image file shows (a GPT
// header at byte 4096 rather than 512, or an MBR entry whose volume, with
// 4 KiB sectors of its own, stands at start x 4096 and nothing at start x
// 512); 512 otherwise.
uint32_t tableSectorSize(SectorDevice& device, const uint8_t* sector0);

// Bounds one walk of an EBR chain: links that lead back to an EBR already
// read, or a chain longer than any real disk carries, end that branch.
struct ExtendedChainGuard {
  static constexpr size_t kMaxEbrs = 1024;
  std::set<uint64_t> visited;  // absolute sectors of the EBRs read
  size_t ebrsRead = 0;
};

// Follows the EBR at extendedStart + relativeStart and the links below it.
// `counter` numbers the logical partitions and is shared with the caller.
void walkExtendedChain(SectorDevice& device, uint64_t extendedStart, uint32_t relativeStart, DiskRecord& disk,
                       int& counter, ExtendedChainGuard& guard);

// Appends a user-defined region [firstSector, endSector) named
// "Region N on DISK"; false when the disk cannot be opened (or the range is
// reversed) and nothing was appended.
bool addRegion(uint64_t firstSector, uint64_t endSector, DiskRecord& disk);

}  // namespace dudorazu
