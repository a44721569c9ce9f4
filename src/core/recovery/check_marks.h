#pragma once
// How the three-state check marks of the file panes pass between a folder
// and the rows listed under it. 0 unchecked, 1 checked, 2 partly checked.
#include <cstddef>
#include <cstdint>

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

}  // namespace dudorazu
