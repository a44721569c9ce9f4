#pragma once
// Where a file's bytes lie on the device: its clusters from the first one on
// (contiguous files) or along the FAT (chained files), cut into runs that
// one read can take. Consecutive clusters of a chain share a run.
#include <algorithm>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <vector>

#include "core/exfat/exfat_file_record.h"
#include "core/exfat/live_tree.h"
#include "core/exfat/loaded_volume.h"

namespace dudorazu {

// Longest run one read takes: 10 MiB, the piece size of a contiguous copy.
inline constexpr uint64_t kRunBytes = 0xA00000;

struct DataRun {
  uint64_t fileOffset = 0;    // where the bytes go in the saved file
  uint64_t deviceOffset = 0;  // where they are read
  uint64_t length = 0;        // bytes of the file, clipped at dataLength
};

// Clusters a chain walk has passed; a second visit is a FAT cycle. Chains
// are mostly runs of consecutive clusters, so runs are kept as intervals;
// a chain torn into very many pieces switches to one bit per FAT entry.
class VisitedClusters {
 public:
  explicit VisitedClusters(uint32_t entryCount) : entryCount_(entryCount) {}
  bool contains(uint32_t cluster) const;
  void add(uint32_t cluster);

 private:
  uint32_t entryCount_;
  std::map<uint32_t, uint32_t> runs_;  // first -> last, inclusive
  std::vector<bool> bits_;
};

// Bytes of the heap a file's data can lie in: from its first cluster to the
// heap's end when contiguous, the whole heap when chained; 0 without data
// clusters.
uint64_t heapCapacityFor(const ExfatFileRecord& record, const LoadedVolume& volume);

// The bytes a save of the record can write at most: its length, but never
// more than the heap can hold of it.
inline uint64_t reachableLength(const ExfatFileRecord& record, const LoadedVolume& volume) {
  return std::min(record.dataLength, heapCapacityFor(record, volume));
}

class DataRunWalker {
 public:
  // With `guessFreeClusters`, a deleted file whose chain ends before its
  // length goes on with the clusters after the last one reached that the
  // allocation bitmap marks free, in order: a driver that deletes a file
  // clears its chain, and the data mostly lies right there.
  DataRunWalker(const ExfatFileRecord& record, const LoadedVolume& volume,
                uint64_t maxRunBytes = kRunBytes, bool guessFreeClusters = false);
  // The next run, or none once dataLength bytes are covered or the data
  // ends (end of chain, unfollowable entry, cycle, no data clusters, end of
  // the heap).
  std::optional<DataRun> next();
  // Bytes of the file covered by the runs given so far.
  uint64_t covered() const { return covered_; }
  // A chain that came back to a cluster it had passed.
  bool cycleFound() const { return cycle_; }
  // Some clusters were taken from the free ones after the chain's end.
  bool guessed() const { return guessed_; }
  // The length is more than the heap can hold from the first cluster on:
  // the entry is damaged, and the save stops at the heap's end.
  bool beyondVolume() const { return beyondVolume_; }
  // Of the runs given so far, the bytes of a deleted file (or a live entry
  // outside the live tree, see clustersReleased) that lie in clusters in
  // use now: the allocation bitmap marks them or a live file or folder holds
  // them; the bitmap judges deleted files only.
  // Whatever such clusters hold is another file's, or was: the file's own
  // bytes are at risk.
  uint64_t bytesInUse() const { return inUse_; }
  // Whether bytesInUse counts `cluster` as in use: the one rule for what
  // another file took.
  bool countsInUse(uint64_t cluster) const;

  // Which free cluster carries a guessed file on after `last`; none ends
  // the file. The default takes the next one in order (nextFreeCluster); a
  // chooser that knows the file's format may look at the candidates' bytes
  // and pick a later one. An answer the walk cannot take (not free, taken
  // already) ends the file.
  using Continuation = std::function<std::optional<uint32_t>(const DataRunWalker&, uint32_t last)>;
  void setContinuation(Continuation choose) { continuation_ = std::move(choose); }
  // The first cluster after `cluster` that is free and not taken by this walk.
  std::optional<uint32_t> nextFreeCluster(uint32_t cluster) const;
  bool canTake(uint32_t cluster) const {
    return volume_.clusterMarkedFree(cluster) && !visited_.contains(cluster);
  }
  // Walks these clusters in order instead of the record's own: those of a
  // carve whose data went on in free clusters chosen by decoding it. Call
  // before next().
  void useClusters(const std::vector<ClusterRun>& runs) { chosen_ = &runs; }

 private:
  std::optional<DataRun> nextContiguous();
  std::optional<DataRun> nextChained();
  std::optional<uint32_t> follow(uint32_t cluster) const;
  std::optional<uint32_t> continueGuess(uint32_t last) const;
  // Bytes [offset, offset + length), counted from the start of cluster
  // `first` on through the clusters after it, that lie in clusters in use.
  uint64_t bytesInUseFrom(uint64_t first, uint64_t offset, uint64_t length) const;
  std::optional<DataRun> nextChosen();

  const LoadedVolume& volume_;
  uint64_t maxRun_;
  uint64_t length_;
  uint64_t covered_ = 0;
  uint64_t clusterBytes_;
  uint8_t flags_;
  uint32_t firstCluster_;
  uint32_t cursor_;
  uint64_t heapEnd_;
  uint64_t limit_;  // bytes the walk can cover: the length, clipped at the heap's end
  uint64_t inUse_ = 0;
  bool ended_ = false;
  bool cycle_ = false;
  bool canGuess_ = false;
  bool guessed_ = false;
  bool beyondVolume_ = false;
  bool released_ = false;
  bool bitmapTells_ = false;
  VisitedClusters visited_;
  Continuation continuation_;
  const std::vector<ClusterRun>* chosen_ = nullptr;
  size_t chosenRun_ = 0;
  uint64_t chosenDone_ = 0;  // clusters of the current chosen run already given
};

}  // namespace dudorazu
