// The chain of extended boot records below the first one.
#include "core/partitions/mbr_entry.h"
#include "core/partitions/partition_table.h"

namespace dudorazu {

void walkExtendedChain(SectorDevice& device, uint32_t extendedStart, uint32_t relativeStart, DiskRecord& disk,
                       int& counter, ExtendedChainGuard& guard) {
  uint64_t ebrSector = static_cast<uint64_t>(extendedStart) + relativeStart;
  // A link back to an EBR already read would make the chain endless.
  if (guard.ebrsRead >= ExtendedChainGuard::kMaxEbrs || !guard.visited.insert(ebrSector).second) return;
  ++guard.ebrsRead;

  uint8_t ebr[kSectorSize];
  device.readSectors(ebrSector, 1, ebr);
  if (!hasBootSignature(ebr)) return;
  for (int i = 0; i < 4; ++i) {
    MbrEntry e = mbrEntry(ebr, i);
    if (e.empty()) continue;
    if (e.isLink()) {
      // Links count from the start of the extended partition.
      walkExtendedChain(device, extendedStart, e.start, disk, counter, guard);
    } else {
      // Data entries count from their own EBR; start sectors stay 32-bit.
      uint32_t start = e.start + extendedStart + relativeStart;
      disk.partitions.push_back(makeTableRecord(device, counter, start, e.count, e.type, kEntryLogical));
      ++counter;
    }
  }
}

}  // namespace dudorazu
