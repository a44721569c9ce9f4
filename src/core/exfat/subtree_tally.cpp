#include "core/exfat/subtree_tally.h"

#include "core/exfat/record_walk.h"

namespace dudorazu {

SubtreeTally tallySubtree(const ExfatFileRecord* record) {
  SubtreeTally tally;
  if (!record) return tally;
  walkTree(*record, [&](const ExfatFileRecord& r, size_t) {
    if (r.isFile()) {
      ++tally.files;
      ++tally.byState[worstRecoverability(r)];
      tally.alsoInTree += (r.recoverMarks & kAlsoInTree) != 0;
      uint64_t sum = tally.bytes + r.dataLength;
      tally.bytes = sum < tally.bytes ? UINT64_MAX : sum;
    } else if (r.isFolder()) {
      ++tally.folders;
      return WalkStep::Descend;
    }
    return WalkStep::Skip;
  });
  return tally;
}

uint64_t subtreeBytes(const ExfatFileRecord* record) { return tallySubtree(record).bytes; }

}  // namespace dudorazu
