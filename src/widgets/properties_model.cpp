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
  return qtText(index.column() == 0 ? row.name : row.value);
}

QVariant PropertiesModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || (role != Qt::DisplayRole && role != Qt::AccessibleTextRole)) return {};
  return section == 0 ? QStringLiteral("Name") : QStringLiteral("Value");
}

}  // namespace dudorazu::widgets
