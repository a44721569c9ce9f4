#pragma once
// The tree-list control every pane is made of: a tree view with columns of
// given widths (width 0 hides a column that the model still holds),
// check boxes and coloured rows from the model.
#include <QTreeView>
#include <functional>
#include <vector>

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
  // Rows added at the end of a flat list are measured as they come, so a
  // pane of a million rows does not measure a thousand rows per batch.
  int contentsWidth(int column) const;
  // The same measured now over the laid-out rows, whatever was measured before.
  int measuredContentsWidth(int column) const;

 private:
  void measureRows(int first, int last);
  void forgetWidths() { widths_.clear(); }

  // Widest row per column over the rows listed so far (empty: not known).
  mutable std::vector<int> widths_;
};

}  // namespace dudorazu::widgets
