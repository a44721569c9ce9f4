#pragma once
// The right pane's view: lists 100 more rows of its FileListModel each time
// the user scrolls to the end of the rows listed, or while the listed rows
// do not fill the pane (there is nothing to scroll then), and at no other
// time.
#include "widgets/tree_list_view.h"

namespace dudorazu::widgets {

class FileListModel;

class FileListView : public TreeListView {
  Q_OBJECT
 public:
  explicit FileListView(const QString& accessibleName, QWidget* parent = nullptr);
  void setFileModel(FileListModel* model);

 protected:
  void updateGeometries() override;

 protected slots:
  void verticalScrollbarValueChanged(int value) override;

 private:
  FileListModel* files_ = nullptr;
};

}  // namespace dudorazu::widgets
