#pragma once
// Where a file's bytes lie on the device: its clusters from the first one on
// (contiguous files) or along the FAT (chained files), cut into runs that
// one read can take. Consecutive clusters of a chain share a run.
#include <cstdint>
#include <map>
#include <optional>
#include <vector>

#include "core/exfat/exfat_file_record.h"
#include "core/partitions/partition_record.h"

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

class DataRunWalker {
 public:
  DataRunWalker(const ExfatFileRecord& record, const PartitionRecord& partition,
                uint64_t maxRunBytes = kRunBytes);
  // The next run, or none once dataLength bytes are covered or the data
  // ends (end of chain, unfollowable entry, cycle, no data clusters).
  std::optional<DataRun> next();
  // Bytes of the file covered by the runs given so far.
  uint64_t covered() const { return covered_; }
  // A chain that came back to a cluster it had passed.
  bool cycleFound() const { return cycle_; }

 private:
  std::optional<DataRun> nextContiguous();
  std::optional<DataRun> nextChained();
  std::optional<uint32_t> follow(uint32_t cluster) const;

  const PartitionRecord& partition_;
  uint64_t maxRun_;
  uint64_t length_;
  uint64_t covered_ = 0;
  uint64_t clusterBytes_;
  uint8_t flags_;
  uint32_t cursor_;
  bool ended_ = false;
  bool cycle_ = false;
  VisitedClusters visited_;
};

}  // namespace dudorazu
