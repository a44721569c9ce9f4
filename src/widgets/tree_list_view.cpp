#include "widgets/tree_list_view.h"

#include <QHeaderView>
#include <algorithm>

namespace dudorazu::widgets {

TreeListView::TreeListView(const QString& accessibleName, QWidget* parent) : QTreeView(parent) {
  setAccessibleName(accessibleName);
  setUniformRowHeights(true);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setContextMenuPolicy(Qt::CustomContextMenu);
  header()->setStretchLastSection(false);
}

void TreeListView::setColumns(QAbstractItemModel* model, const std::function<int(int)>& width) {
  setModel(model);
  for (int c = 0; c < model->columnCount(); ++c) {
    int w = width(c);
    setColumnHidden(c, w == 0);
    if (w > 0) setColumnWidth(c, w);
  }
}

void TreeListView::fitColumns() {
  for (int c = 0; c < model()->columnCount(); ++c) {
    if (isColumnHidden(c)) continue;
    int wanted = contentsWidth(c);
    if (wanted > columnWidth(c)) setColumnWidth(c, wanted);
  }
}

int TreeListView::contentsWidth(int column) const {
  return std::max(sizeHintForColumn(column), header()->sectionSizeHint(column));
}

}  // namespace dudorazu::widgets
