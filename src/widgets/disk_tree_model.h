#pragma once
// The disk window's left pane: every catalogued disk with its partitions,
// read straight from the records (nothing is copied into items).
#include <QAbstractItemModel>
#include <memory>
#include <vector>

#include "core/device/disk_record.h"

namespace dudorazu::widgets {

class DiskTreeModel : public QAbstractItemModel {
  Q_OBJECT
 public:
  enum Column { kDisk, kLabel, kFileSystem, kStart, kSize, kColumnCount };
  static int columnWidth(int column);

  explicit DiskTreeModel(QObject* parent = nullptr);

  // Appends a row for `disk` with one child row per partition it has now.
  void fillDiskRows(DiskRecord& disk);
  // Drops the disk's row (the record itself stays in the catalogue, where
  // running operations may still hold it).
  void removeDisk(const DiskRecord& disk);
  // Fills the partition rows of the disk row `diskRow` again from the
  // disk's partition list as it is now. False when it is no disk row.
  bool refreshPartitions(const QModelIndex& diskRow);
  // Adds rows for the partitions appended to the disk since its rows were
  // made (a region).
  void addNewPartitionRows(const DiskRecord& disk);

  // The disk of a disk row or of a partition row; the partition of a
  // partition row (null for a disk row).
  DiskRecord* diskAt(const QModelIndex& index) const;
  PartitionRecord* partitionAt(const QModelIndex& index) const;
  QModelIndex indexOfDisk(const DiskRecord& disk) const;

  QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
  QModelIndex parent(const QModelIndex& child) const override;
  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

 private:
  struct DiskRow {
    DiskRecord* disk;
    size_t partitionCount;  // partitions present when the row was filled
  };
  int rowOf(const DiskRow* row) const;

  std::vector<std::unique_ptr<DiskRow>> rows_;
};

}  // namespace dudorazu::widgets
