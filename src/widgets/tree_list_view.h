#pragma once
// The tree-list control every pane is made of: a tree view with columns of
// given widths (width 0 hides a column that the model still holds),
// check boxes and coloured rows from the model.
#include <QTreeView>
#include <functional>

namespace dudorazu::widgets {

class TreeListView : public QTreeView {
  Q_OBJECT
 public:
  explicit TreeListView(const QString& accessibleName, QWidget* parent = nullptr);
  // Sets the model and the columns' widths (`width(column)`).
  void setColumns(QAbstractItemModel* model, const std::function<int(int)>& width);
  // Widens the shown columns whose rows would not fit (never narrows one).
  void fitColumns();
  // The width column `column` needs for its header and laid-out rows uncut.
  int contentsWidth(int column) const;
};

}  // namespace dudorazu::widgets
