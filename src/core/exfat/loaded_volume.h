#pragma once
// An exFAT volume as a load or a lost-file scan left it in memory: its FAT,
// allocation bitmap, the two trees and their indexes. It belongs to whoever
// loaded it (the partition's window, or the command) and goes with it; the
// partition it was read from stays a plain description in the catalogue.
#include <algorithm>
#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "core/common/byte_range.h"
#include "core/exfat/exfat_file_record.h"
#include "core/exfat/fat_table.h"
#include "core/exfat/record_index.h"
#include "core/partitions/partition_record.h"

namespace dudorazu {

struct LoadedVolume {
  // The load reads the volume's geometry (sector and cluster size, cluster
  // base and count) into the description it was given.
  explicit LoadedVolume(PartitionRecord& description) : partition(description) {}
  // Records point at their parents and the indexes at records: the volume
  // stays where it was made.
  LoadedVolume(const LoadedVolume&) = delete;
  LoadedVolume& operator=(const LoadedVolume&) = delete;
  ~LoadedVolume() { emptyResults(); }

  PartitionRecord& partition;

  // An empty fatTable means "no FAT in memory".
  FatTable fatTable;
  // The allocation bitmap: bit n (LSB first) set when cluster n + 2 is in
  // use. Empty when it was not read.
  std::vector<uint8_t> allocationBitmap;
  // The clusters the live tree holds, in the bitmap's layout: what a load
  // found in the root folder's chain and in every live folder and file below
  // it (see markLiveTree). Empty until then.
  std::vector<uint8_t> liveClusters;
  ExfatFileRecord rootRecord;
  ExfatFileRecord extendedRecord;
  RecordIndex clusterIndex;
  RecordIndex carvedIndex;
  // The clusters of carved records that do not lie one after the other
  // from their first cluster on, in order.
  std::map<const ExfatFileRecord*, std::vector<ClusterRun>> carvedClusters;
  // Bytes of the device known to be unreadable before a load or scan (the
  // areas an imaging run did not finish): sorted. Given by the owner and kept
  // from one load to the next.
  std::vector<ByteRange> unreadableGiven;
  // The read errors a load or scan met, in the order met.
  std::vector<ByteRange> unreadableMet;
  // Notes a read error; one right after the last joins it, so a scan over a
  // dead stretch of disk keeps one range, not one per cluster.
  void noteUnreadable(const ByteRange& bytes) {
    if (!unreadableMet.empty() && unreadableMet.back().end() == bytes.start()) {
      if (auto joined = ByteRange::between(unreadableMet.back().start(), bytes.end())) unreadableMet.back() = *joined;
    } else if (!bytes.empty()) {
      unreadableMet.push_back(bytes);
    }
  }

  // Releases both trees, both indexes and the FAT (before a new load or scan,
  // and when the owner closes).
  // Hands over every record of both trees, for freeing elsewhere (a
  // million records take the best part of a second to free); their parent
  // pointers still lead here, so nothing may read them but their freeing,
  // which the last owner's release does without recursion.
  std::shared_ptr<ExfatFileRecord> takeRecords() {
    std::shared_ptr<ExfatFileRecord> held(new ExfatFileRecord, [](ExfatFileRecord* r) {
      clearChildren(*r);
      delete r;
    });
    held->children.splice(held->children.end(), rootRecord.children);
    held->children.splice(held->children.end(), extendedRecord.children);
    return held;
  }
  void emptyResults() {
    clusterIndex.clear();
    carvedIndex.clear();
    carvedClusters.clear();
    unreadableMet.clear();
    clearChildren(rootRecord);
    clearChildren(extendedRecord);
    fatTable.clear();
    fatTable.shrink_to_fit();
    allocationBitmap.clear();
    allocationBitmap.shrink_to_fit();
    liveClusters.clear();
    liveClusters.shrink_to_fit();
  }
  bool hasResults() const {
    return !fatTable.empty() || !allocationBitmap.empty() || !liveClusters.empty() || !rootRecord.children.empty() ||
           !extendedRecord.children.empty() || !clusterIndex.empty() || !carvedIndex.empty() || !carvedClusters.empty() ||
           !unreadableMet.empty();
  }

  // Number of FAT entries that may be followed. Counts only what is in memory.
  uint32_t fatEntryCount() const { return static_cast<uint32_t>(fatTable.size()); }
  uint64_t clusterBytes() const { return partition.clusterBytes(); }
  uint64_t clusterPosition(uint32_t cluster) const { return partition.clusterPosition(cluster); }
  // One past the last cluster number of the heap: the boot sector's count,
  // and no further than the FAT in memory reaches. Unknown without a count.
  uint64_t heapEnd() const {
    if (partition.clusterCount == 0) return 1ull << 32;
    return fatTable.empty() ? partition.clusterCount + 2ull
                            : std::min<uint64_t>(fatTable.size(), partition.clusterCount + 2ull);
  }
  // True only when the bitmap was read and marks cluster c free, and no
  // live file or folder holds it.
  bool clusterMarkedFree(uint32_t c) const {
    uint64_t bit = static_cast<uint64_t>(c) - 2;
    return c >= 2 && c < heapEnd() && bit / 8 < allocationBitmap.size() &&
           !((allocationBitmap[bit / 8] >> (bit % 8)) & 1) && !clusterLive(c);
  }
  // In use now: the bitmap marks it or the live tree holds it.
  bool clusterInUse(uint32_t c) const {
    uint64_t bit = static_cast<uint64_t>(c) - 2;
    return c >= 2 && c < heapEnd() &&
           ((bit / 8 < allocationBitmap.size() && ((allocationBitmap[bit / 8] >> (bit % 8)) & 1)) || clusterLive(c));
  }
  bool clusterLive(uint32_t c) const {
    uint64_t bit = static_cast<uint64_t>(c) - 2;
    return c >= 2 && bit / 8 < liveClusters.size() && ((liveClusters[bit / 8] >> (bit % 8)) & 1);
  }
};

}  // namespace dudorazu
