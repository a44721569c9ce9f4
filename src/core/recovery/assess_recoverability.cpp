#include "core/recovery/assess_recoverability.h"

#include <algorithm>

#include "core/common/tree_walk.h"
#include "core/recovery/data_runs.h"

namespace dudorazu {
namespace {

// Runs as long as the clusters lie one after the other, up to 1 GiB (a
// multiple of every cluster size), so that the walk's budget is looked at
// now and then even in a file that claims the whole heap.
constexpr uint64_t kWalkRunBytes = uint64_t{1} << 30;

// What the records below one folder come to, gathered as each leaves.
struct Below {
  uint8_t bits = 0;
  bool anyFile = false;
  bool anyIntact = false;
};

class Assessor {
 public:
  explicit Assessor(LoadedVolume& volume)
      : v_(volume),
        bad_(unreadableAreas(volume)),
        clusterBytes_(volume.clusterBytes()),
        heapStart_(volume.clusterPosition(2)),
        heapEnd_(volume.heapEnd()),
        maxClusters_(clusterBytes_ != 0 ? UINT64_MAX / clusterBytes_ : UINT64_MAX),
        // Records of a sound volume claim each cluster once or a few times
        // (deleted files over live ones). Entries that claim the heap over
        // and over (a hostile or cross-linked image) would make the walks
        // cost the heap times the records: they stop here instead.
        budget_(4 * (heapEnd_ > 2 ? heapEnd_ - 2 : 0) + (uint64_t{1} << 20)),
        scanned_(volume.rootRecord.firstCluster == 0) {}

  void run(ExfatFileRecord& top) {
    below_.assign(2, Below{});
    inTree_.assign(1, false);
    walkTree(
        top,
        [&](ExfatFileRecord& r, size_t depth) {
          inTree_.resize(depth + 1);
          r.recoverability = 0;
          r.recoverMarks = 0;
          r.overwrittenClusters = r.damagedClusters = 0;
          inTree_[depth] = depth > 0 && (inTree_[depth - 1] || foundInTree(r, depth));
          if (inTree_[depth]) r.recoverMarks |= kAlsoInTree;
          if (depth > 0) assess(r);
          // Most records hold nothing: they are done at once, without a
          // trip through the walk's stack.
          if (r.children.empty()) {
            if (depth > 0) addTo(below_[depth], r, Below{});
            return WalkStep::Skip;
          }
          if (below_.size() < depth + 2) below_.resize(depth + 2);
          below_[depth + 1] = Below{};
          return WalkStep::Descend;
        },
        [&](ExfatFileRecord& r, size_t depth) {
          const Below& mine = below_[depth + 1];
          if (r.isFolder()) {
            r.recoverability |= mine.bits;
            if (mine.anyFile && !mine.anyIntact) r.recoverMarks |= kNothingIntactBelow;
          }
          addTo(below_[depth], r, mine);
        });
  }

 private:
  // The scan finds the live folders again, as it reads every cluster, and
  // live files by their content: the live tree holds them already.
  bool foundInTree(const ExfatFileRecord& r, size_t depth) const {
    if (!scanned_ || depth != 1) return false;
    if (r.carve != kNotCarved) return v_.clusterLive(r.firstCluster);
    return r.parent == &v_.rootRecord && r.isFolder() && !r.isDeleted() && !r.outsideLiveTree &&
           !v_.liveClusters.empty();
  }

  void assess(ExfatFileRecord& r) {
    uint8_t bits = 0;
    if (r.carve != kNotCarved) bits |= recoverabilityBit(kCarved);
    if (r.carve == kCarvedThroughFreeClusters) bits |= recoverabilityBit(kGuessed);
    if (r.dataLength != 0 && (r.isFile() || r.isFolder())) {
      // A length with no clusters to hold it is data nobody can reach.
      if ((r.allocationFlags & kAllocationPossible) == 0 || r.firstCluster < 2 || r.firstCluster >= heapEnd_) {
        bits |= recoverabilityBit(kUnreachable);
      } else if (r.carve == kNotCarved && !clustersReleased(r) && bad_.empty() &&
                 (r.allocationFlags & kNoFatChain) != 0) {
        // What the walk would find for the commonest record, a live file in
        // one piece with nothing unreadable about: all of it, unless its
        // length runs past the heap.
        const uint64_t clusters = heapEnd_ - r.firstCluster;
        if (clusters <= maxClusters_ && r.dataLength > clusters * clusterBytes_) bits |= recoverabilityBit(kUnreachable);
      } else if (budget_ == 0) {
        bits |= recoverabilityBit(kUnreachable);
      } else {
        bits |= walkClusters(r);
      }
    }
    r.recoverability = bits;
  }

  uint8_t walkClusters(ExfatFileRecord& r) {
    uint8_t bits = 0;
    // Folders are not saved as data: no guess carries them on.
    DataRunWalker walker(r, v_, kWalkRunBytes, r.isFile());
    if (auto chosen = v_.carvedClusters.find(&r); chosen != v_.carvedClusters.end()) walker.useClusters(chosen->second);
    // The guess the save makes, with the clusters its search passes over
    // charged to the budget; a spent budget ends the guess.
    walker.setContinuation([this](const DataRunWalker& w, uint32_t last) -> std::optional<uint32_t> {
      if (budget_ == 0) return std::nullopt;
      std::optional<uint32_t> next = w.nextFreeCluster(last);
      charge((next ? uint64_t{*next} : heapEnd_) - last);
      return next;
    });
    uint64_t damaged = 0;
    bool damagedTail = false;
    bool cut = false;
    while (std::optional<DataRun> run = walker.next()) {
      damage(*run, walker, damaged, damagedTail);
      charge(run->length / clusterBytes_ + 1);
      if (budget_ == 0) {
        cut = true;
        break;
      }
    }
    if (walker.guessed()) bits |= recoverabilityBit(kGuessed);
    // Not followed to its end: part of its data is out of reach for all we
    // know, and no file is called intact on what was not looked at.
    if (cut || (r.isFile() && (walker.beyondVolume() || walker.covered() < r.dataLength)))
      bits |= recoverabilityBit(kUnreachable);
    const uint64_t inUse = walker.bytesInUse();
    if (inUse != 0 && clusterBytes_ != 0) {
      // Only the file's last cluster can hold less than a whole cluster of it.
      const bool tail = inUse % clusterBytes_ != 0;
      r.overwrittenClusters = saturated(inUse / clusterBytes_ + tail);
      if (tail) r.recoverMarks |= kOverwrittenTail;
      bits |= recoverabilityBit(kOverwritten);
    }
    if (damaged != 0) {
      r.damagedClusters = saturated(damaged);
      if (damagedTail) r.recoverMarks |= kDamagedTail;
      bits |= recoverabilityBit(kDamaged);
    }
    return bits;
  }

  // Counts the clusters of `run` that hold unreadable bytes and that no
  // other file holds (those are lost whether they read or not).
  void damage(const DataRun& run, const DataRunWalker& walker, uint64_t& damaged, bool& tail) const {
    if (bad_.empty() || run.length == 0 || clusterBytes_ == 0 || run.deviceOffset < heapStart_) return;
    const uint64_t runEnd = checkedSum(run.deviceOffset, run.length).value_or(UINT64_MAX);
    const uint64_t clusters = (run.length + clusterBytes_ - 1) / clusterBytes_;
    const uint64_t firstCluster = 2 + (run.deviceOffset - heapStart_) / clusterBytes_;
    auto it = std::upper_bound(bad_.begin(), bad_.end(), run.deviceOffset,
                               [](uint64_t at, const ByteRange& b) { return at < b.end(); });
    uint64_t next = 0;  // clusters of the run before this one are counted
    for (; it != bad_.end() && it->start() < runEnd; ++it) {
      const uint64_t from = (std::max(it->start(), run.deviceOffset) - run.deviceOffset) / clusterBytes_;
      const uint64_t to = (std::min(it->end(), runEnd) - 1 - run.deviceOffset) / clusterBytes_;
      for (uint64_t i = std::max(from, next); i <= to; ++i) {
        if (walker.countsInUse(firstCluster + i)) continue;
        ++damaged;
        if (i + 1 == clusters && run.length % clusterBytes_ != 0) tail = true;
      }
      next = std::max(next, to + 1);
    }
  }

  // Adds a record, with what lies below it, to its parent's gathering.
  static void addTo(Below& parent, const ExfatFileRecord& r, const Below& mine) {
    parent.bits |= r.recoverability;
    if (r.isFile()) {
      parent.anyFile = true;
      parent.anyIntact = parent.anyIntact || r.recoverability == 0;
    } else {
      parent.anyFile = parent.anyFile || mine.anyFile;
      parent.anyIntact = parent.anyIntact || mine.anyIntact;
    }
  }

  void charge(uint64_t clusters) { budget_ -= std::min(budget_, clusters); }

  static uint32_t saturated(uint64_t n) { return static_cast<uint32_t>(std::min<uint64_t>(n, UINT32_MAX)); }

  LoadedVolume& v_;
  std::vector<ByteRange> bad_;
  uint64_t clusterBytes_;
  uint64_t heapStart_;
  uint64_t heapEnd_;
  uint64_t maxClusters_;  // the most clusters whose bytes fit in 64 bits
  uint64_t budget_;       // clusters the walks may still pass
  bool scanned_;
  std::vector<Below> below_;  // by depth: what the records at that depth came to
  std::vector<bool> inTree_;  // by depth
};

}  // namespace

std::vector<ByteRange> unreadableAreas(const LoadedVolume& volume) {
  std::vector<ByteRange> all(volume.unreadableGiven);
  all.insert(all.end(), volume.unreadableMet.begin(), volume.unreadableMet.end());
  std::sort(all.begin(), all.end(), [](const ByteRange& a, const ByteRange& b) { return a.start() < b.start(); });
  std::vector<ByteRange> merged;
  for (const ByteRange& r : all) {
    if (r.empty()) continue;
    if (!merged.empty() && r.start() <= merged.back().end()) {
      if (r.end() > merged.back().end()) merged.back() = *ByteRange::between(merged.back().start(), r.end());
    } else {
      merged.push_back(r);
    }
  }
  return merged;
}

void assessRecoverability(LoadedVolume& volume) {
  Assessor assessor(volume);
  assessor.run(volume.rootRecord);
  assessor.run(volume.extendedRecord);
}

}  // namespace dudorazu
