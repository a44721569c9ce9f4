#include "core/exfat/live_tree.h"

#include <algorithm>
#include <map>
#include <utility>
#include <vector>

#include "core/common/tree_walk.h"
#include "core/exfat/exfat_volume.h"

namespace dudorazu {
namespace {

bool liveState(const ExfatFileRecord& r) { return r.state == kStateFile || r.state == kStateFolder; }

// The clusters of the live tree, gathered into volume.liveClusters.
class LiveClusters {
 public:
  LiveClusters(LoadedVolume& p, uint64_t deviceBytes) : p_(p) {
    const uint64_t clusterBytes = p.clusterBytes();
    limit_ = p.heapEnd();
    if (!p.fatTable.empty()) limit_ = std::min<uint64_t>(limit_, p.fatEntryCount());
    if (deviceBytes != 0 && clusterBytes != 0) limit_ = std::min<uint64_t>(limit_, deviceBytes / clusterBytes + 2);
    // Nothing says how large the heap is: no map rather than one of 2^32 bits.
    if (clusterBytes == 0 || (deviceBytes == 0 && p.fatTable.empty() && p.partition.clusterCount == 0)) limit_ = 2;
    bits_.assign(limit_ > 2 ? static_cast<size_t>((limit_ - 2 + 7) / 8) : 0, 0);
  }

  // A folder at the top of the live tree: its whole FAT chain.
  void addTop(const ExfatFileRecord& top) { addChain(top.firstCluster, UINT64_MAX); }

  void add(const ExfatFileRecord& r) {
    if ((r.allocationFlags & kAllocationPossible) == 0 || r.dataLength == 0) return;
    const uint64_t clusterBytes = p_.clusterBytes();
    const uint64_t clusters = r.dataLength / clusterBytes + (r.dataLength % clusterBytes != 0);
    if ((r.allocationFlags & kNoFatChain) == 0) {
      addChain(r.firstCluster, clusters);
    } else if (r.firstCluster >= 2 && r.firstCluster < limit_) {
      extents_.emplace_back(r.firstCluster, r.firstCluster + std::min<uint64_t>(clusters, limit_ - r.firstCluster));
    }
  }

  // Contiguous extents go in last, merged, so that many of them over the
  // same clusters cost one pass; until then the map holds chain clusters
  // only, which lets a chain stop where an earlier one already went. With
  // no top found there is no live tree: the map stays empty.
  void finish(bool found) {
    if (!found) return;
    std::sort(extents_.begin(), extents_.end());
    uint64_t done = 2;
    for (auto [from, to] : extents_) {
      for (uint64_t c = std::max(from, done); c < to; ++c) set(c);
      done = std::max(done, to);
    }
    p_.liveClusters = std::move(bits_);
  }

 private:
  // Follows the FAT from `first` for at most `count` clusters. A cluster
  // already marked was reached by an earlier chain, and the FAT leads on
  // from it as it did then: the walk stops there.
  void addChain(uint32_t first, uint64_t count) {
    uint64_t c = first;
    for (uint64_t n = 0; n < count && c >= 2 && c < limit_ && !isSet(c); ++n) {
      set(c);
      c = nextClusterOf(p_, static_cast<uint32_t>(c));
    }
  }
  bool isSet(uint64_t c) const { return (bits_[(c - 2) / 8] >> ((c - 2) % 8)) & 1; }
  void set(uint64_t c) { bits_[(c - 2) / 8] |= static_cast<uint8_t>(1u << ((c - 2) % 8)); }

  LoadedVolume& p_;
  uint64_t limit_;
  std::vector<uint8_t> bits_;
  std::vector<std::pair<uint64_t, uint64_t>> extents_;  // [first, end)
};

}  // namespace

void markLiveTree(LoadedVolume& p, uint32_t rootCluster, uint64_t deviceBytes) {
  LiveClusters clusters(p, deviceBytes);
  // After a load the root record is the root folder. After a lost-file scan
  // it only gathers the found folders, and those a live folder names join
  // the live tree as they are reached.
  const bool loaded = rootCluster >= 2 && p.rootRecord.firstCluster == rootCluster;
  std::multimap<uint32_t, ExfatFileRecord*> found;
  std::vector<ExfatFileRecord*> tops;
  if (loaded) {
    tops.push_back(&p.rootRecord);
  } else {
    for (ExfatFileRecord& f : p.rootRecord.children) found.emplace(f.firstCluster, &f);
  }
  auto joinFound = [&](uint32_t cluster) {
    auto [from, to] = found.equal_range(cluster);
    for (auto it = from; it != to; ++it) tops.push_back(it->second);
    found.erase(from, to);
  };
  if (!loaded && rootCluster >= 2) joinFound(rootCluster);

  std::vector<bool> liveAt;  // by depth below the top being walked
  for (size_t t = 0; t < tops.size(); ++t) {
    clusters.addTop(*tops[t]);
    walkTree(*tops[t], [&](ExfatFileRecord& r, size_t depth) {
      const bool live = depth == 0 || (liveState(r) && liveAt[depth - 1]);
      liveAt.resize(depth + 1);
      liveAt[depth] = live;
      r.outsideLiveTree = liveState(r) && !live;
      if (live && depth > 0) {
        clusters.add(r);
        if (!loaded && r.isFolder()) joinFound(r.firstCluster);
      }
      return WalkStep::Descend;
    });
  }
  // What no live folder leads to.
  for (auto& [cluster, folder] : found)
    walkTree(*folder, [](ExfatFileRecord& r, size_t) {
      r.outsideLiveTree = liveState(r);
      return WalkStep::Descend;
    });
  clusters.finish(!tops.empty());
}

}  // namespace dudorazu
