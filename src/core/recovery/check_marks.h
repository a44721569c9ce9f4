#pragma once
// How the three-state check marks of the file panes pass between a folder
// and the rows listed under it. 0 unchecked, 1 checked, 2 partly checked.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/exfat/exfat_file_record.h"

namespace dudorazu {

inline constexpr uint8_t kUnchecked = 0;
inline constexpr uint8_t kChecked = 1;
inline constexpr uint8_t kPartlyChecked = 2;

// The mark a row gets when it is listed under a folder shown with
// `folderMark`: a checked or unchecked folder imposes its mark, a partly
// checked one leaves each row the mark it was last given.
inline uint8_t markOfListedRow(uint8_t folderMark, uint8_t ownMark) {
  return folderMark == kPartlyChecked ? ownMark : folderMark;
}

// A folder's mark from the marks of its listed rows: checked when every row
// is checked, unchecked when none is marked at all, partly otherwise.
inline uint8_t markOfFolder(size_t checkedRows, size_t markedRows, size_t rows) {
  if (markedRows == 0) return kUnchecked;
  return checkedRows == rows ? kChecked : kPartlyChecked;
}

// A folder's mark from the marks of all its children.
inline uint8_t markOfChildren(const ExfatFileRecord& folder) {
  size_t checked = 0, marked = 0, rows = 0;
  for (const ExfatFileRecord& child : folder.children) {
    ++rows;
    checked += child.checkState == kChecked;
    marked += child.checkState != kUnchecked;
  }
  return markOfFolder(checked, marked, rows);
}

// Gives every record below `folder` its mark (checking a folder checks what
// it holds). Without recursion: folders may nest very deep.
inline void markSubtree(ExfatFileRecord& folder, uint8_t mark) {
  std::vector<ExfatFileRecord*> pending{&folder};
  while (!pending.empty()) {
    ExfatFileRecord* next = pending.back();
    pending.pop_back();
    for (ExfatFileRecord& child : next->children) {
      child.checkState = mark;
      if (!child.children.empty()) pending.push_back(&child);
    }
  }
}

// After `folder`'s mark changed: each folder above it takes the mark of its
// children, up to the root.
inline void markAncestors(ExfatFileRecord& folder) {
  for (ExfatFileRecord* up = folder.parent; up; up = up->parent) up->checkState = markOfChildren(*up);
}

}  // namespace dudorazu
