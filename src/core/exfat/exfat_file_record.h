#pragma once
// One file or folder found in an exFAT directory (live or deleted), or carved
// out of raw clusters. Children are owned by value in a std::list, whose
// elements never move, so `parent` pointers and the cluster indexes that point
// at records stay valid until the whole tree is emptied.
#include <cstdint>
#include <list>
#include <string>

#include "core/common/tree_walk.h"

namespace dudorazu {

enum RecordState : uint8_t {
  kStateNone = 0,
  kStateDeletedFolder = 1,
  kStateDeletedFile = 2,
  kStateFolder = 3,
  kStateFile = 4,
};

// GeneralSecondaryFlags bits kept in allocationFlags.
inline constexpr uint8_t kAllocationPossible = 1;
inline constexpr uint8_t kNoFatChain = 2;

// How a carved record (found by its content, not by a folder entry) got its
// length. No carve is certain: none is ever reported as saved whole.
enum CarveKind : uint8_t {
  kNotCarved = 0,
  kCarvedToEndMarker = 1,        // its data decoded whole, up to the end marker that closes it
  kCarvedLengthEstimated = 2,    // taken from a header field, no end marker
  kCarvedIncomplete = 3,         // its data breaks off, or no end marker within the window or device
  kCarvedEndGuessed = 4,         // an end marker found by searching; the data before it was not verified
  kCarvedThroughFreeClusters = 5,  // its data decoded to the end marker, or its structure walked to its
                                   // end, through free clusters chosen after a break (the carve's
                                   // clusters are a guess)
  kCarvedToStructureEnd = 6,     // its own structure (boxes, chunks, directories) walked to its end
};

// How sure a save can be of a record's bytes, judged from the volume's maps
// alone (allocation bitmap, live chains, folders, unreadable areas), without
// reading file data. Ordered from best to worst: a record shows the worst of
// those that apply, and a wrong file called good is worse than a missing one.
enum Recoverability : uint8_t {
  kIntact = 0,       // every cluster reachable and claimed by nothing else
  kCarved = 1,       // found by its content; `carve` says how its end was found
  kGuessed = 2,      // its chain was cleared: the clusters after it are the free ones
  kDamaged = 3,      // some clusters lie where the device could not be read
  kOverwritten = 4,  // some clusters are in use now by other files or folders
  kUnreachable = 5,  // its data starts, or goes on, outside the volume
};
inline constexpr int kRecoverabilityCount = 6;
inline constexpr uint8_t recoverabilityBit(Recoverability k) { return static_cast<uint8_t>(1u << k); }

// Bits of ExfatFileRecord::recoverMarks.
inline constexpr uint8_t kAlsoInTree = 1;         // found by the scan, yet the live tree holds it too
inline constexpr uint8_t kOverwrittenTail = 2;    // the file's last, partial cluster is among overwrittenClusters
inline constexpr uint8_t kDamagedTail = 4;        // ... among damagedClusters
inline constexpr uint8_t kNothingIntactBelow = 8; // a folder with files below it, none of them intact

// Consecutive clusters of a file whose clusters were chosen by its content.
struct ClusterRun {
  uint32_t first = 0;
  uint32_t count = 0;
};

struct ExfatFileRecord {
  uint8_t state = kStateNone;  // RecordState
  uint8_t checkState = 0;      // 0 unchecked, 1 checked, 2 partly; written by the panes only
  uint8_t allocationFlags = 0; // 3 contiguous, 1 FAT chain, 0/2 no data
  uint8_t carve = kNotCarved;  // CarveKind
  // A live entry that no live folder reaches (it lies in a deleted folder,
  // or in a folder only the lost-file scan found): its clusters may have
  // been given to other files since, as a deleted file's may. Set by
  // markLiveTree.
  bool outsideLiveTree = false;
  // recoverabilityBit(k) for each Recoverability k above kIntact that applies;
  // 0: intact. A folder carries its own and all of those below it. Set by
  // assessRecoverability after a load or a scan, as are the fields below.
  uint8_t recoverability = 0;
  uint16_t createTime = 0;
  uint16_t createDate = 0;
  uint16_t modifyTime = 0;
  uint16_t modifyDate = 0;
  uint8_t recoverMarks = 0;  // kAlsoInTree, ...
  uint8_t carveFormat = 0;   // CarveFormat (carve_signatures.h) of a carved record
  uint64_t dataLength = 0;  // the whole DataLength: files of 4 GiB and more are common
  uint32_t firstCluster = 0;
  // The record's own clusters (a folder's: those holding its entries) in use
  // now, and those not in use that hold unreadable bytes: each cluster is
  // counted once, so their bytes add up to the bytes at risk. Clusters, not
  // bytes, keep the record small: see recoverability.h for the bytes.
  uint32_t overwrittenClusters = 0;
  uint32_t damagedClusters = 0;
  std::string name;  // UTF-8
  ExfatFileRecord* parent = nullptr;
  std::list<ExfatFileRecord> children;

  bool isFolder() const { return state == kStateFolder || state == kStateDeletedFolder; }
  bool isFile() const { return state == kStateFile || state == kStateDeletedFile; }
  bool isDeleted() const { return state == kStateDeletedFolder || state == kStateDeletedFile; }
};

// Destroys every record below `record` without recursion, so a hostile image
// with very deep folders cannot overflow the stack on the way out.
inline void clearChildren(ExfatFileRecord& record) {
  // A record's list is emptied only once its children's lists are, so no
  // destructor ever recurses.
  walkTree(
      record, [](ExfatFileRecord& r, size_t) { return r.children.empty() ? WalkStep::Skip : WalkStep::Descend; },
      [](ExfatFileRecord& r, size_t) { r.children.clear(); });
}

}  // namespace dudorazu
