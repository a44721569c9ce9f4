// The chain of extended boot records below the first one.
#include "core/partitions/mbr_entry.h"
#include "core/partitions/partition_table.h"

namespace dudorazu {

void walkExtendedChain(SectorDevice& device, uint64_t extendedStart, uint32_t relativeStart, DiskRecord& disk,
                       int& counter, ExtendedChainGuard& guard) {
  uint64_t ebrSector = extendedStart + relativeStart;
  // A link back to an EBR already read would make the chain endless.
  if (guard.ebrsRead >= ExtendedChainGuard::kMaxEbrs || !guard.visited.insert(ebrSector).second) return;
  ++guard.ebrsRead;

  uint8_t ebr[kSectorSize];
  readTableSector(device, ebrSector, disk.bytesPerSector, ebr);
  if (!hasBootSignature(ebr)) return;
  for (int i = 0; i < 4; ++i) {
    MbrEntry e = mbrEntry(ebr, i);
    if (e.empty()) continue;
    if (e.isLink()) {
      // Links count from the start of the extended partition.
      walkExtendedChain(device, extendedStart, e.start, disk, counter, guard);
    } else {
      // Data entries count from their own EBR, in 64 bits.
      uint64_t start = ebrSector + e.start;
      disk.partitions.push_back(makeTableRecord(device, disk, counter, start, e.count, e.type, kEntryLogical));
      ++counter;
    }
  }
}

}  // namespace dudorazu
