#pragma once
// The partition window's left pane: a top row for the partition and, once
// the tree is loaded, the folders below the root folder (files get no row).
// Rows point at the loaded records; only the folder lists of the rows a
// view has asked for are indexed.
#include <QAbstractItemModel>
#include <unordered_map>
#include <vector>

#include "core/exfat/exfat_file_record.h"

namespace dudorazu::widgets {

class FolderTreeModel : public QAbstractItemModel {
  Q_OBJECT
 public:
  enum Column { kName, kFileId, kCreateTime, kColumnCount };
  static int columnWidth(int column);

  explicit FolderTreeModel(QString partitionText, QObject* parent = nullptr);

  // Shows the folders under `root` (null: the top row alone, as while a
  // load runs and the worker owns the records).
  void setRoot(ExfatFileRecord* root) { setRoots(root ? std::vector<ExfatFileRecord*>{root} : std::vector<ExfatFileRecord*>{}); }
  // Rows under the top row for each of `roots` (the root folder, and after
  // a lost-file scan the folder of carved files too).
  void setRoots(std::vector<ExfatFileRecord*> roots);
  ExfatFileRecord* root() const { return roots_.empty() ? nullptr : roots_.front(); }
  const std::vector<ExfatFileRecord*>& roots() const { return roots_; }

  QModelIndex topIndex() const { return index(0, 0); }
  bool isTop(const QModelIndex& index) const;
  ExfatFileRecord* recordAt(const QModelIndex& index) const;
  QModelIndex indexOf(ExfatFileRecord* folder);

  uint8_t topMark() const { return topMark_; }
  void setTopMark(uint8_t mark);

  QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
  QModelIndex parent(const QModelIndex& child) const override;
  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

 signals:
  // The user changed a folder row's mark (null: the top row).
  void markToggled(ExfatFileRecord* folder);

 private:
  const std::vector<ExfatFileRecord*>& foldersOf(const ExfatFileRecord* record) const;
  int rowOf(const ExfatFileRecord* record) const;

  QString partitionText_;
  std::vector<ExfatFileRecord*> roots_;
  uint8_t topMark_ = 0;
  // Folder children of each record a view has opened, and each one's row.
  mutable std::unordered_map<const ExfatFileRecord*, std::vector<ExfatFileRecord*>> folders_;
  mutable std::unordered_map<const ExfatFileRecord*, int> rows_;
};

}  // namespace dudorazu::widgets
