#include "widgets/disk_tree_model.h"

#include <QBrush>
#include <QColor>
#include <QFileIconProvider>

#include "core/partitions/file_system_text.h"
#include "core/present/display_format.h"
#include "widgets/qt_text.h"

namespace dudorazu::widgets {
namespace {

const char* const kHeaders[] = {QT_TRANSLATE_NOOP("DiskTreeModel", "磁盘"), QT_TRANSLATE_NOOP("DiskTreeModel", "标签"),
                                QT_TRANSLATE_NOOP("DiskTreeModel", "文件类型"),
                                QT_TRANSLATE_NOOP("DiskTreeModel", "起始地址"),
                                QT_TRANSLATE_NOOP("DiskTreeModel", "大小")};
const int kWidths[] = {200, 50, 100, 100, 50};

// Partitions found by a search stand in green, rows marked bad in red.
QVariant searchKindColour(uint32_t kind) {
  if (kind == 1) return QBrush(QColor(255, 0, 0));
  if (kind == kSearchKindFound) return QBrush(QColor(0, 0x80, 0));
  return {};
}

}  // namespace

int DiskTreeModel::columnWidth(int column) { return kWidths[column]; }

DiskTreeModel::DiskTreeModel(QObject* parent) : QAbstractItemModel(parent) {}

void DiskTreeModel::fillDiskRows(DiskRecord& disk) {
  int row = static_cast<int>(rows_.size());
  beginInsertRows({}, row, row);
  rows_.push_back(std::make_unique<DiskRow>(DiskRow{&disk, disk.partitions.size()}));
  endInsertRows();
}

void DiskTreeModel::removeDisk(const DiskRecord& disk) {
  QModelIndex at = indexOfDisk(disk);
  if (!at.isValid()) return;
  beginRemoveRows({}, at.row(), at.row());
  rows_.erase(rows_.begin() + at.row());
  endRemoveRows();
}

bool DiskTreeModel::refreshPartitions(const QModelIndex& diskRow) {
  if (!diskRow.isValid() || diskRow.internalPointer() || diskRow.row() >= static_cast<int>(rows_.size())) return false;
  QModelIndex at = index(diskRow.row(), 0);
  DiskRow& row = *rows_[at.row()];
  if (row.partitionCount > 0) {
    beginRemoveRows(at, 0, static_cast<int>(row.partitionCount) - 1);
    row.partitionCount = 0;
    endRemoveRows();
  }
  size_t count = row.disk->partitions.size();
  if (count > 0) {
    beginInsertRows(at, 0, static_cast<int>(count) - 1);
    row.partitionCount = count;
    endInsertRows();
  }
  return true;
}

void DiskTreeModel::addNewPartitionRows(const DiskRecord& disk) {
  QModelIndex at = indexOfDisk(disk);
  if (!at.isValid()) return;
  DiskRow& row = *rows_[at.row()];
  if (disk.partitions.size() <= row.partitionCount) return;
  beginInsertRows(at, static_cast<int>(row.partitionCount), static_cast<int>(disk.partitions.size()) - 1);
  row.partitionCount = disk.partitions.size();
  endInsertRows();
}

int DiskTreeModel::rowOf(const DiskRow* row) const {
  for (size_t i = 0; i < rows_.size(); ++i)
    if (rows_[i].get() == row) return static_cast<int>(i);
  return -1;
}

QModelIndex DiskTreeModel::indexOfDisk(const DiskRecord& disk) const {
  for (size_t i = 0; i < rows_.size(); ++i)
    if (rows_[i]->disk == &disk) return index(static_cast<int>(i), 0);
  return {};
}

// Disk rows carry no pointer; partition rows carry their disk's row.
DiskRecord* DiskTreeModel::diskAt(const QModelIndex& index) const {
  if (!index.isValid()) return nullptr;
  if (auto* owner = static_cast<DiskRow*>(index.internalPointer())) return owner->disk;
  return index.row() < static_cast<int>(rows_.size()) ? rows_[index.row()]->disk : nullptr;
}

PartitionRecord* DiskTreeModel::partitionAt(const QModelIndex& index) const {
  auto* owner = index.isValid() ? static_cast<DiskRow*>(index.internalPointer()) : nullptr;
  if (!owner || index.row() >= static_cast<int>(owner->partitionCount)) return nullptr;
  return &owner->disk->partitions[index.row()];
}

QModelIndex DiskTreeModel::index(int row, int column, const QModelIndex& parent) const {
  if (row < 0 || column < 0 || column >= kColumnCount || row >= rowCount(parent)) return {};
  if (!parent.isValid()) return createIndex(row, column, nullptr);
  return createIndex(row, column, rows_[parent.row()].get());
}

QModelIndex DiskTreeModel::parent(const QModelIndex& child) const {
  auto* owner = child.isValid() ? static_cast<DiskRow*>(child.internalPointer()) : nullptr;
  if (!owner) return {};
  return createIndex(rowOf(owner), 0, nullptr);
}

int DiskTreeModel::rowCount(const QModelIndex& parent) const {
  if (!parent.isValid()) return static_cast<int>(rows_.size());
  if (parent.column() != 0 || parent.internalPointer()) return 0;
  return static_cast<int>(rows_[parent.row()]->partitionCount);
}

int DiskTreeModel::columnCount(const QModelIndex&) const { return kColumnCount; }

QVariant DiskTreeModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid()) return {};
  const PartitionRecord* partition = partitionAt(index);
  if (role == Qt::DecorationRole && index.column() == 0) {
    static const QIcon drive = QFileIconProvider().icon(QFileIconProvider::Drive);
    return drive;
  }
  if (role == Qt::ForegroundRole) return partition ? searchKindColour(partition->searchKind) : QVariant();
  if (role != Qt::DisplayRole && role != Qt::AccessibleTextRole) return {};
  if (!partition) {
    const DiskRecord& disk = *diskAt(index);
    switch (index.column()) {
      case kDisk: return qtText(displayName(disk));
      case kStart: return QStringLiteral("0");
      case kSize: return qtText(formatSizeShort(disk.diskSize));
      default: return QString();
    }
  }
  switch (index.column()) {
    case kDisk: return qtText(partitionText(*partition));
    case kLabel: return qtText(partition->label);
    case kFileSystem: return qtText(fileSystemText(*partition));
    // Sectors are counted in the disk's own size (4096 bytes on some disks).
    case kStart: return qtText(formatSizeShort(partition->startOffset()));
    case kSize: return qtText(formatSizeShort(partition->sizeBytes()));
    default: return {};
  }
}

QVariant DiskTreeModel::headerData(int section, Qt::Orientation orientation, int role) const {
  return headerText("DiskTreeModel", kHeaders, section, orientation, role);
}

}  // namespace dudorazu::widgets
