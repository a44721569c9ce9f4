#pragma once
// The right pane in properties mode: the Name/Value rows of a disk or a
// partition, as the core writes them.
#include <QAbstractTableModel>
#include <vector>

#include "core/present/properties.h"

namespace dudorazu::widgets {

class PropertiesModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  static constexpr int kColumnWidth = 200;
  explicit PropertiesModel(QObject* parent = nullptr);
  void setRows(std::vector<PropertyRow> rows);

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

 private:
  std::vector<PropertyRow> rows_;
};

}  // namespace dudorazu::widgets
