#include "widgets/folder_tree_model.h"

#include <QBrush>
#include <QColor>
#include <QFont>
#include <algorithm>

#include "core/present/display_format.h"
#include "widgets/file_icons.h"
#include "widgets/qt_text.h"

namespace dudorazu::widgets {
namespace {

const char* const kHeaders[] = {QT_TRANSLATE_NOOP("FolderTreeModel", "磁盘分区"),
                                QT_TRANSLATE_NOOP("FolderTreeModel", "File Id"),
                                QT_TRANSLATE_NOOP("FolderTreeModel", "Create Time")};
const int kWidths[] = {500, 0, 0};

// The top row carries no record; the root folder's row carries the root
// record with a null parent pointer; other rows carry their record.
constexpr quintptr kTopRowId = 0;

Qt::CheckState checkState(uint8_t mark) {
  return mark == 1 ? Qt::Checked : mark == 2 ? Qt::PartiallyChecked : Qt::Unchecked;
}

}  // namespace

int FolderTreeModel::columnWidth(int column) { return kWidths[column]; }

FolderTreeModel::FolderTreeModel(QString partitionText, QObject* parent)
    : QAbstractItemModel(parent), partitionText_(std::move(partitionText)) {}

void FolderTreeModel::setRoots(std::vector<ExfatFileRecord*> roots) {
  beginResetModel();
  roots_ = std::move(roots);
  if (roots_.empty()) topMark_ = 0;  // a new load starts unmarked
  folders_.clear();
  rows_.clear();
  endResetModel();
}

const std::vector<ExfatFileRecord*>& FolderTreeModel::foldersOf(const ExfatFileRecord* record) const {
  auto found = folders_.find(record);
  if (found != folders_.end()) return found->second;
  std::vector<ExfatFileRecord*>& list = folders_[record];
  for (const ExfatFileRecord& child : record->children) {
    if (!child.isFolder()) continue;
    rows_[&child] = static_cast<int>(list.size());
    list.push_back(const_cast<ExfatFileRecord*>(&child));
  }
  return list;
}

int FolderTreeModel::rowOf(const ExfatFileRecord* record) const {
  if (!record->parent) {
    auto at = std::find(roots_.begin(), roots_.end(), record);
    return at == roots_.end() ? -1 : static_cast<int>(at - roots_.begin());
  }
  foldersOf(record->parent);
  auto found = rows_.find(record);
  return found == rows_.end() ? -1 : found->second;
}

bool FolderTreeModel::isTop(const QModelIndex& index) const {
  return index.isValid() && index.internalId() == kTopRowId;
}

ExfatFileRecord* FolderTreeModel::recordAt(const QModelIndex& index) const {
  if (!index.isValid() || isTop(index)) return nullptr;
  return reinterpret_cast<ExfatFileRecord*>(index.internalId());
}

QModelIndex FolderTreeModel::indexOf(ExfatFileRecord* folder) {
  if (!folder || roots_.empty()) return {};
  int row = rowOf(folder);
  return row < 0 ? QModelIndex() : createIndex(row, 0, reinterpret_cast<quintptr>(folder));
}

void FolderTreeModel::setTopMark(uint8_t mark) {
  topMark_ = mark;
  emit dataChanged(topIndex(), topIndex(), {Qt::CheckStateRole});
}

QModelIndex FolderTreeModel::index(int row, int column, const QModelIndex& parent) const {
  if (row < 0 || column < 0 || column >= kColumnCount) return {};
  if (!parent.isValid()) return row == 0 ? createIndex(0, column, kTopRowId) : QModelIndex();
  if (isTop(parent))
    return row < static_cast<int>(roots_.size()) ? createIndex(row, column, reinterpret_cast<quintptr>(roots_[row]))
                                                 : QModelIndex();
  const std::vector<ExfatFileRecord*>& list = foldersOf(recordAt(parent));
  if (row >= static_cast<int>(list.size())) return {};
  return createIndex(row, column, reinterpret_cast<quintptr>(list[row]));
}

QModelIndex FolderTreeModel::parent(const QModelIndex& child) const {
  ExfatFileRecord* record = recordAt(child);
  if (!record) return {};
  ExfatFileRecord* up = record->parent;
  if (!up) return createIndex(0, 0, kTopRowId);
  return createIndex(rowOf(up), 0, reinterpret_cast<quintptr>(up));
}

int FolderTreeModel::rowCount(const QModelIndex& parent) const {
  if (!parent.isValid()) return 1;
  if (parent.column() != 0) return 0;
  if (isTop(parent)) return static_cast<int>(roots_.size());
  return static_cast<int>(foldersOf(recordAt(parent)).size());
}

int FolderTreeModel::columnCount(const QModelIndex&) const { return kColumnCount; }

QVariant FolderTreeModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid()) return {};
  const ExfatFileRecord* record = recordAt(index);
  if (index.column() == kName) {
    if (role == Qt::CheckStateRole) return checkState(record ? record->checkState : topMark_);
    if (role == Qt::DecorationRole) return record ? folderIcon() : driveIcon();
  }
  // A folder none of whose files comes back whole is named so, in italics.
  const bool nothingIntact = record && (record->recoverMarks & kNothingIntactBelow) != 0;
  if (index.column() == kName && nothingIntact) {
    if (role == Qt::FontRole) {
      QFont italic;
      italic.setItalic(true);
      return italic;
    }
    if (role == Qt::ToolTipRole || role == Qt::AccessibleDescriptionRole) return tr("此文件夹中没有可完整恢复的文件");
  }
  if (role == Qt::ForegroundRole && record && record->isDeleted()) return QBrush(QColor(255, 0, 0));
  if (role == Qt::ForegroundRole && nothingIntact) return QBrush(QColor(128, 128, 128));
  if (role != Qt::DisplayRole && role != Qt::AccessibleTextRole) return {};
  if (!record) return index.column() == kName ? partitionText_ : QString();
  switch (index.column()) {
    // The tops of the tree are named by the core; every other name is the disk's.
    case kName: return record->parent ? qtText(record->name) : coreText(record->name);
    case kFileId: return QString::number(record->firstCluster);
    case kCreateTime: return qtText(formatRecordTime(record->createDate, record->createTime));
    default: return {};
  }
}

bool FolderTreeModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (role != Qt::CheckStateRole || !index.isValid() || index.column() != kName) return false;
  auto state = static_cast<Qt::CheckState>(value.toInt());
  uint8_t mark = state == Qt::Checked ? 1 : state == Qt::PartiallyChecked ? 2 : 0;
  ExfatFileRecord* record = recordAt(index);
  (record ? record->checkState : topMark_) = mark;
  emit dataChanged(index, index, {Qt::CheckStateRole});
  emit markToggled(record);
  return true;
}

Qt::ItemFlags FolderTreeModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
  if (index.column() == kName) f |= Qt::ItemIsUserCheckable;
  return f;
}

QVariant FolderTreeModel::headerData(int section, Qt::Orientation orientation, int role) const {
  return headerText("FolderTreeModel", kHeaders, section, orientation, role);
}

}  // namespace dudorazu::widgets
