#include "widgets/properties_model.h"

#include "widgets/qt_text.h"

namespace dudorazu::widgets {

PropertiesModel::PropertiesModel(QObject* parent) : QAbstractTableModel(parent) {}

void PropertiesModel::setRows(std::vector<PropertyRow> rows) {
  beginResetModel();
  rows_ = std::move(rows);
  endResetModel();
}

int PropertiesModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int PropertiesModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : 2; }

QVariant PropertiesModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::AccessibleTextRole)) return {};
  const PropertyRow& row = rows_[index.row()];
  // Of the values only the kind of drive is the core's word; the others
  // are names and sizes.
  if (index.column() == 0) return coreText(row.name);
  return row.name == "驱动类型" ? coreText(row.value) : qtText(row.value);
}

QVariant PropertiesModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || (role != Qt::DisplayRole && role != Qt::AccessibleTextRole)) return {};
  return section == 0 ? tr("Name") : tr("Value");
}

}  // namespace dudorazu::widgets
