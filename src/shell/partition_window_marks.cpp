#include "core/present/check_marks.h"
#include "shell/partition_window.h"
#include "shell/search_results.h"
#include "widgets/file_list_model.h"
#include "widgets/file_list_view.h"
#include "widgets/folder_tree_model.h"
#include "widgets/tree_list_view.h"

// The check marks: the panes report the mark the user gave, the core passes
// it down to what the record holds and up to the folders above, and the
// panes are drawn again. Nothing here decides a mark.
namespace dudorazu::shell {

// A row ticked on the right, or a hit ticked in the search results.
void PartitionWindow::syncCheck(ExfatFileRecord* record) {
  setMark(*record, record->checkState);
  marksChanged();
}

// A folder row ticked on the left; the top row (null) stands for every
// folder under it, the carved files' folder too once a scan listed it.
void PartitionWindow::folderMarkToggled(ExfatFileRecord* folder) {
  // While a load or a scan runs the records are its own: no mark goes in.
  if (!folders_->root()) return marksChanged();
  if (folder) setMark(*folder, folder->checkState);
  else setMarks(folders_->roots(), folders_->topMark());
  marksChanged();
}

void PartitionWindow::markAll(uint8_t mark) {
  folders_->setTopMark(mark);
  folderMarkToggled(nullptr);
}

// The jobs that saved everything whole take their rows' marks away, all in
// one pass, however many rows one folder holds.
void PartitionWindow::clearMarks(const std::vector<ExfatFileRecord*>& records) {
  if (!folders_->root()) return;
  setMarks(records, kUnchecked);
  marksChanged();
}

// Marks live in the records: the top row takes the mark of the folders under
// it, rows listed later on the right take the shown folder's, and the views
// draw them again.
void PartitionWindow::marksChanged() {
  const uint8_t top = markOfRows(folders_->roots());
  folders_->setTopMark(top);
  if (topShown_) files_->setFolderMark(top);
  else if (ExfatFileRecord* shown = files_->shownFolder()) files_->setFolderMark(shown->checkState);
  left_->viewport()->update();
  right_->viewport()->update();
}

}  // namespace dudorazu::shell
