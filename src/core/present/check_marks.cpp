#include "core/present/check_marks.h"

#include <algorithm>
#include <unordered_map>

namespace dudorazu {
namespace {

uint8_t markOfCounts(size_t checked, size_t marked, size_t rows) {
  if (marked == 0) return kUnchecked;
  return checked == rows ? kChecked : kPartlyChecked;
}

// Without recursion: a hostile image may nest folders very deep.
void markSubtree(ExfatFileRecord& top, uint8_t mark) {
  walkTree(top, [mark](ExfatFileRecord& r, size_t) {
    r.checkState = mark;
    return r.children.empty() ? WalkStep::Skip : WalkStep::Descend;
  });
}

}  // namespace

uint8_t markOfRows(const std::vector<ExfatFileRecord*>& rows) {
  size_t checked = 0, marked = 0;
  for (const ExfatFileRecord* r : rows) {
    checked += r->checkState == kChecked;
    marked += r->checkState != kUnchecked;
  }
  return markOfCounts(checked, marked, rows.size());
}

uint8_t markOfChildren(const ExfatFileRecord& folder) {
  size_t checked = 0, marked = 0, rows = 0;
  for (const ExfatFileRecord& child : folder.children) {
    ++rows;
    checked += child.checkState == kChecked;
    marked += child.checkState != kUnchecked;
  }
  return markOfCounts(checked, marked, rows);
}

void setMark(ExfatFileRecord& record, uint8_t mark) { setMarks({&record}, mark); }

void setMarks(const std::vector<ExfatFileRecord*>& records, uint8_t mark) {
  mark = mark == kChecked ? kChecked : kUnchecked;
  for (ExfatFileRecord* r : records) markSubtree(*r, mark);
  // Every folder above a changed record, each once with its depth. The set
  // stays closed upwards, so a walk up stops at the first folder it holds
  // and the whole gathering costs one step per folder.
  std::unordered_map<ExfatFileRecord*, size_t> depths;
  std::vector<ExfatFileRecord*> chain;
  for (ExfatFileRecord* r : records) {
    chain.clear();
    ExfatFileRecord* up = r->parent;
    for (; up && !depths.count(up); up = up->parent) chain.push_back(up);
    size_t depth = up ? depths[up] + 1 : 0;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) depths[*it] = depth++;
  }
  // Deepest first, so each folder is counted after all the folders below it.
  std::vector<std::pair<size_t, ExfatFileRecord*>> folders;
  folders.reserve(depths.size());
  for (const auto& [folder, depth] : depths) folders.emplace_back(depth, folder);
  std::sort(folders.begin(), folders.end(),
            [](const auto& a, const auto& b) { return a.first > b.first; });
  for (const auto& [depth, folder] : folders) folder->checkState = markOfChildren(*folder);
}

std::vector<ExfatFileRecord*> markedInTree(const std::vector<ExfatFileRecord*>& roots) {
  std::vector<ExfatFileRecord*> marked;
  for (ExfatFileRecord* root : roots)
    walkTree(*root, [&](ExfatFileRecord& r, size_t) {
      if (r.checkState == kChecked) marked.push_back(&r);
      return r.checkState == kPartlyChecked ? WalkStep::Descend : WalkStep::Skip;
    });
  return marked;
}

std::vector<ExfatFileRecord*> markedRows(const std::vector<ExfatFileRecord*>& rows) {
  std::vector<ExfatFileRecord*> marked;
  for (ExfatFileRecord* r : rows)
    if (r->checkState != kUnchecked) marked.push_back(r);
  return marked;
}

}  // namespace dudorazu
