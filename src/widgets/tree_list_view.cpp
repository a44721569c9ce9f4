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
  connect(this, &QTreeView::expanded, this, &TreeListView::forgetWidths);
  connect(this, &QTreeView::collapsed, this, &TreeListView::forgetWidths);
}

void TreeListView::setColumns(QAbstractItemModel* model, const std::function<int(int)>& width) {
  setModel(model);
  forgetWidths();
  // Any change but rows appended to the top level is measured anew.
  connect(model, &QAbstractItemModel::modelReset, this, &TreeListView::forgetWidths);
  connect(model, &QAbstractItemModel::layoutChanged, this, &TreeListView::forgetWidths);
  connect(model, &QAbstractItemModel::rowsRemoved, this, &TreeListView::forgetWidths);
  connect(model, &QAbstractItemModel::rowsMoved, this, &TreeListView::forgetWidths);
  // A changed mark or colour leaves every width as it was.
  connect(model, &QAbstractItemModel::dataChanged, this,
          [this](const QModelIndex&, const QModelIndex&, const QList<int>& roles) {
            if (roles.isEmpty() || roles.contains(Qt::DisplayRole) || roles.contains(Qt::DecorationRole) ||
                roles.contains(Qt::FontRole))
              forgetWidths();
          });
  connect(model, &QAbstractItemModel::rowsInserted, this, [this](const QModelIndex& parent, int first, int last) {
    if (parent.isValid()) forgetWidths();
    else measureRows(first, last);
  });
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
  if (widths_.empty()) {
    widths_.assign(static_cast<size_t>(model()->columnCount()), -1);
    for (int c = 0; c < model()->columnCount(); ++c) widths_[static_cast<size_t>(c)] = sizeHintForColumn(c);
  }
  int rows = column >= 0 && static_cast<size_t>(column) < widths_.size() ? widths_[static_cast<size_t>(column)] : 0;
  return std::max(rows, header()->sectionSizeHint(column));
}

int TreeListView::measuredContentsWidth(int column) const {
  return std::max(sizeHintForColumn(column), header()->sectionSizeHint(column));
}

void TreeListView::measureRows(int first, int last) {
  if (widths_.empty()) return;  // measured whole when next asked
  // Rows with rows of their own (a disk with its partitions) show more
  // once expanded: those are measured whole.
  for (int row = first; row <= last; ++row)
    if (model()->hasChildren(model()->index(row, 0))) return forgetWidths();
  for (int c = 0; c < model()->columnCount() && static_cast<size_t>(c) < widths_.size(); ++c) {
    if (isColumnHidden(c)) continue;
    int& widest = widths_[static_cast<size_t>(c)];
    for (int row = first; row <= last; ++row) {
      int w = sizeHintForIndex(model()->index(row, c)).width();
      // The first column of a tree also holds the branch indicator.
      if (c == 0 && rootIsDecorated()) w += indentation();
      widest = std::max(widest, w);
    }
  }
}

}  // namespace dudorazu::widgets
