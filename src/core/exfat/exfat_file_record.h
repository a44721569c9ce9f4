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
// length.
enum CarveKind : uint8_t {
  kNotCarved = 0,
  kCarvedToEndMarker = 1,      // the content's own end marker closed it
  kCarvedLengthEstimated = 2,  // taken from a header field, no end marker
  kCarvedToWindowLimit = 3,    // no end marker reached (damage, device end, window limit): incomplete
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
  uint16_t createTime = 0;
  uint16_t createDate = 0;
  uint16_t modifyTime = 0;
  uint16_t modifyDate = 0;
  uint64_t dataLength = 0;  // the whole DataLength: files of 4 GiB and more are common
  uint32_t firstCluster = 0;
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
