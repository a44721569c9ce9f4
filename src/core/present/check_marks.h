#pragma once
// How the three-state check marks of the file panes pass between a record,
// what it holds and the folders above it, and which records a batch save
// takes from them. The marks live in the records; the panes only draw them.
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

// A folder's mark from its rows: checked when every row is checked,
// unchecked when none is marked at all (and for no rows), partly otherwise.
uint8_t markOfRows(const std::vector<ExfatFileRecord*>& rows);
uint8_t markOfChildren(const ExfatFileRecord& folder);

// The user gave `record` a mark (anything but kChecked counts as
// unchecked): everything it holds takes it, and each folder above it takes
// the mark of all its children, listed yet or not.
void setMark(ExfatFileRecord& record, uint8_t mark);

// The same for many records at once (the saved jobs of a batch): each folder
// above them is counted again once, however many of its children changed.
void setMarks(const std::vector<ExfatFileRecord*>& records, uint8_t mark);

// What a batch save of the folder pane takes, in tree order: a checked
// record whole (its subtree is saved with it), the children of a partly
// checked one looked into, an unchecked one passed over with all below it.
std::vector<ExfatFileRecord*> markedInTree(const std::vector<ExfatFileRecord*>& roots);

// What a batch save of a list takes: every row that is marked, in order.
std::vector<ExfatFileRecord*> markedRows(const std::vector<ExfatFileRecord*>& rows);

}  // namespace dudorazu
