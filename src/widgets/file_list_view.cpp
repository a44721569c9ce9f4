#include "widgets/file_list_view.h"

#include <QScrollBar>

#include "widgets/file_list_model.h"

namespace dudorazu::widgets {

FileListView::FileListView(const QString& accessibleName, QWidget* parent) : TreeListView(accessibleName, parent) {
  setRootIsDecorated(false);
}

void FileListView::setFileModel(FileListModel* model) {
  files_ = model;
  setColumns(model, FileListModel::columnWidth);
}

void FileListView::verticalScrollbarValueChanged(int value) {
  if (files_) files_->setFetchAllowed(true);
  TreeListView::verticalScrollbarValueChanged(value);
  if (files_) files_->setFetchAllowed(false);
}

void FileListView::updateGeometries() {
  TreeListView::updateGeometries();
  if (!files_ || files_->rowCount() == 0 || verticalScrollBar()->maximum() > 0) return;
  files_->setFetchAllowed(true);
  files_->fetchMore({});
  files_->setFetchAllowed(false);
}

}  // namespace dudorazu::widgets
