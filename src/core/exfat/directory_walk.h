#pragma once
// Decoding whole folders: the entry slots of each folder cluster, and the
// descent into every folder record found there, depth first. The descent
// keeps its own stack instead of recursing, so folders nested as deep as a
// hostile image likes cannot overflow the thread's stack.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <unordered_set>
#include <vector>

#include "core/common/progress_block.h"
#include "platform/sector_device.h"
#include "core/exfat/entry_set.h"
#include "core/partitions/partition_record.h"

namespace dudorazu {

class DirectoryWalk {
 public:
  // `readBudget` bounds the folder clusters read in this walk. A sound
  // volume reads each folder cluster once; the bound only stops damaged or
  // hostile images whose folders share clusters over and over.
  DirectoryWalk(SectorDevice& device, LoadedVolume& volume, ProgressBlock& progress,
                uint64_t readBudget);
  DirectoryWalk(const DirectoryWalk&) = delete;
  DirectoryWalk& operator=(const DirectoryWalk&) = delete;

  // The root folder: its FAT chain from `rootCluster`, followed while the
  // next cluster is 2 or more. Its clusters are not entered in
  // visitedClusters.
  void walkRootChain(uint32_t rootCluster, ExfatFileRecord& root);

  // decodeDirectoryBuffer: the first `length` bytes of `buffer` are one
  // folder cluster, the rest (up to `bufferSize`) what follows it. Every
  // folder record found is descended into before the next set is read.
  void decodeDirectoryBuffer(const uint8_t* buffer, size_t bufferSize, size_t length, ExfatFileRecord& parent);

  // First clusters of folders descended into and further clusters of
  // FAT-chained folders; shared with the lost-file scan, which skips them.
  std::unordered_set<uint32_t> visitedClusters;
  uint32_t directoryCounter = 0;

  // The lost-file scan visits every cluster in order; instead of entering
  // each one in visitedClusters it marks the run [from, to) as visited.
  void setScannedRange(uint32_t from, uint32_t to) {
    scannedFrom_ = from;
    scannedTo_ = to;
  }
  bool isVisited(uint32_t c) const {
    return (c >= scannedFrom_ && c < scannedTo_) || visitedClusters.count(c) != 0;
  }

  uint64_t clusterReads() const { return reads_; }
  // A stop request ends the walk as the read budget does: folders already
  // decoded stay, nothing further is read.
  bool budgetExhausted() const { return reads_ >= readBudget_ || progress_.cancelled(); }

  // Suspended folders above this many buffered bytes give their buffers up
  // and read them again when their turn comes.
  static constexpr size_t kBufferedBytesLimit = 64u << 20;

 private:
  // Where a half of a folder's two-cluster buffer got its bytes from, so an
  // evicted buffer can be read again exactly.
  struct Half {
    bool fromDevice = false;  // false: zeros
    uint64_t position = 0;
    size_t length = 0;
  };

  // A FAT chain remembers the clusters it has read, to stop at the first one
  // it meets again. Most folders are a cluster or two long.
  class ChainGuard {
   public:
    bool contains(uint32_t c) const;
    void add(uint32_t c);

   private:
    std::vector<uint32_t> small_;
    std::unordered_set<uint32_t> large_;
  };

  struct Frame {
    enum class Kind { Buffer, Contiguous, Chain };
    Kind kind = Kind::Buffer;
    ExfatFileRecord* parent = nullptr;
    std::vector<uint8_t> buffer;  // two halves; empty while evicted
    size_t half = 0;
    Half first, second;
    bool evictable = true;
    bool started = false;
    bool walking = false;  // the first half is being walked
    size_t length = 0;     // bytes of the first half to walk
    size_t offset = 0;     // next slot
    // Contiguous: cluster k of n, counted from 1.
    uint64_t k = 0, n = 0, basePosition = 0;
    // Chain.
    uint32_t minNext = 4;
    bool recordVisited = true;
    bool last = false;
    uint32_t pending = 0;
    ChainGuard guard;
  };

  void run();
  bool advance(Frame& f);
  void walkSlots(Frame& f);
  bool descend(const DecodedSet& set);
  void popFrame();
  void pushFrame(Frame&& f);
  void pushChainFrame(Frame&& f, uint32_t first);
  void readInto(Frame& f, uint64_t position);
  void copySecondToFirst(Frame& f);
  void prepareChainNext(Frame& f, uint32_t next);
  void reload(Frame& f);
  void evictForRoom(size_t incoming);

  SectorDevice& device_;
  LoadedVolume& volume_;
  ProgressBlock& progress_;
  uint64_t readBudget_;
  uint64_t deviceSize_;
  uint64_t reads_ = 0;
  uint32_t scannedFrom_ = 0, scannedTo_ = 0;
  size_t buffered_ = 0;
  size_t evictedBelow_ = 0;  // frames below this index have been offered for eviction
  std::deque<Frame> stack_;
};

}  // namespace dudorazu
