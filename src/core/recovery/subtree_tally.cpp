#include "core/recovery/subtree_tally.h"

#include <vector>

namespace dudorazu {

SubtreeTally tallySubtree(const ExfatFileRecord* record) {
  SubtreeTally tally;
  if (!record) return tally;
  // An explicit stack: folders of a hostile image may nest arbitrarily deep.
  std::vector<const ExfatFileRecord*> pending{record};
  while (!pending.empty()) {
    const ExfatFileRecord* r = pending.back();
    pending.pop_back();
    if (r->isFile()) {
      ++tally.files;
      uint64_t sum = tally.bytes + r->dataLength;
      tally.bytes = sum < tally.bytes ? UINT64_MAX : sum;
    } else if (r->isFolder()) {
      ++tally.folders;
      for (const ExfatFileRecord& child : r->children) pending.push_back(&child);
    }
  }
  return tally;
}

uint64_t subtreeBytes(const ExfatFileRecord* record) { return tallySubtree(record).bytes; }

}  // namespace dudorazu
