#include "widgets/file_list_view.h"

#include <QHeaderView>
#include <QScrollBar>
#include <QTimer>

#include "widgets/file_list_model.h"

namespace dudorazu::widgets {

FileListView::FileListView(const QString& accessibleName, QWidget* parent) : TreeListView(accessibleName, parent) {
  setRootIsDecorated(false);
  connect(verticalScrollBar(), &QScrollBar::valueChanged, this, &FileListView::askForMore);
  connect(verticalScrollBar(), &QScrollBar::rangeChanged, this, &FileListView::askForMore);
}

void FileListView::setFileModel(FileListModel* model) {
  files_ = model;
  setColumns(model, FileListModel::columnWidth);
  connect(model, &QAbstractItemModel::modelReset, this, &FileListView::askForMore);
  // Only the recoverability column sorts: a click orders the list by it,
  // best first, a second click worst first; a click elsewhere puts the
  // folder's own order back.
  header()->setSectionsClickable(true);
  connect(header(), &QHeaderView::sectionClicked, this, [this](int column) {
    if (column != FileListModel::kRecoverability) {
      if (!header()->isSortIndicatorShown()) return;
      header()->setSortIndicatorShown(false);
      files_->sort(column, Qt::AscendingOrder);
      return;
    }
    Qt::SortOrder order = header()->isSortIndicatorShown() && header()->sortIndicatorOrder() == Qt::AscendingOrder
                              ? Qt::DescendingOrder
                              : Qt::AscendingOrder;
    header()->setSortIndicatorShown(true);
    header()->setSortIndicator(column, order);
    files_->sort(column, order);
  });
}

void FileListView::resizeEvent(QResizeEvent* event) {
  TreeListView::resizeEvent(event);
  askForMore();
}

void FileListView::askForMore() {
  if (asked_ || !files_) return;
  asked_ = true;
  QTimer::singleShot(0, this, &FileListView::listMoreAtEnd);
}

void FileListView::listMoreAtEnd() {
  asked_ = false;
  if (!files_ || files_->rowCount() == 0 || !files_->hasMore()) return;
  executeDelayedItemsLayout();
  updateGeometries();
  // The end is reached when the last listed row stands in the pane (a pixel
  // short of the scroll bar's end is the end too).
  const QRect last = visualRect(files_->index(files_->rowCount() - 1, 0));
  if (last.isEmpty() || last.top() >= viewport()->height()) return;
  // Still at the end after this batch only if the pane is not yet full.
  if (files_->listMore()) askForMore();
}

}  // namespace dudorazu::widgets
