#pragma once
// The right pane's view: lists 100 more rows of its FileListModel each time
// the user reaches the end of the rows listed (by scroll bar, wheel or keys),
// or while the listed rows do not fill the pane (there is nothing to scroll
// then), and at no other time.
#include "widgets/tree_list_view.h"

namespace dudorazu::widgets {

class FileListModel;

class FileListView : public TreeListView {
  Q_OBJECT
 public:
  explicit FileListView(const QString& accessibleName, QWidget* parent = nullptr);
  void setFileModel(FileListModel* model);

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  // Every scroll, range change, reset or resize asks once; the answer comes
  // after the view has laid its rows out, so a batch listed is seen before
  // the next is considered.
  void askForMore();
  void listMoreAtEnd();

  FileListModel* files_ = nullptr;
  bool asked_ = false;
};

}  // namespace dudorazu::widgets
