#include "widgets/file_list_model.h"

#include <QBrush>
#include <QColor>
#include <algorithm>
#include <array>

#include "core/present/check_marks.h"
#include "core/present/display_format.h"
#include "core/present/recoverability_text.h"
#include "widgets/file_icons.h"
#include "widgets/qt_text.h"

namespace dudorazu::widgets {
namespace {

const char* const kHeaders[] = {
    QT_TRANSLATE_NOOP("FileListModel", "名称"),     QT_TRANSLATE_NOOP("FileListModel", "状态"),
    QT_TRANSLATE_NOOP("FileListModel", "大小"),     QT_TRANSLATE_NOOP("FileListModel", "创建时间"),
    QT_TRANSLATE_NOOP("FileListModel", "修改时间"), QT_TRANSLATE_NOOP("FileListModel", "文件读取时间"),
    QT_TRANSLATE_NOOP("FileListModel", "文件号"),   QT_TRANSLATE_NOOP("FileListModel", "文件父号"),
    QT_TRANSLATE_NOOP("FileListModel", "可恢复性")};
const int kWidths[] = {200, 100, 50, 150, 150, 150, 50, 50, 100};

// Green for what comes back whole, blue for a carve, orange for a guess,
// red for bytes that are gone or unreadable, grey for what cannot be reached.
QColor recoverabilityColour(Recoverability k) {
  switch (k) {
    case kIntact: return {0, 128, 0};
    case kCarved: return {0, 0, 192};
    case kGuessed: return {192, 96, 0};
    case kDamaged:
    case kOverwritten: return {192, 0, 0};
    default: return {128, 128, 128};
  }
}

bool nameBefore(const ExfatFileRecord* a, const ExfatFileRecord* b) {
  return QString::compare(QString::fromStdString(a->name), QString::fromStdString(b->name), Qt::CaseInsensitive) < 0;
}

}  // namespace

int FileListModel::columnWidth(int column) { return kWidths[column]; }

FileListModel::FileListModel(QObject* parent) : QAbstractItemModel(parent) {}

void FileListModel::showFolder(ExfatFileRecord* folder, uint8_t folderMark) {
  beginResetModel();
  folder_ = folder;
  children_.clear();
  if (folder) {
    children_.reserve(folder->children.size());
    for (ExfatFileRecord& child : folder->children) children_.push_back(&child);
  }
  list(folderMark);
}

void FileListModel::showRecords(std::vector<ExfatFileRecord*> records, uint8_t folderMark) {
  beginResetModel();
  folder_ = nullptr;
  children_ = std::move(records);
  list(folderMark);
}

void FileListModel::clear() { showRecords({}, 0); }

// Ends the reset begun by the caller with the first batch listed, in the
// order chosen by sort().
void FileListModel::list(uint8_t folderMark) {
  // The given order is kept aside only while a sort hides it.
  given_.clear();
  if (sorted_) {
    given_ = children_;
    // A stable sort by a handful of states is a counting sort: one read
    // of each record, where a comparison sort of a million children reads
    // each twenty times.
    std::vector<uint8_t> ranks(children_.size());
    std::array<size_t, kRecoverabilityCount + 1> start{};
    for (size_t i = 0; i < children_.size(); ++i) {
      int rank = static_cast<int>(worstRecoverability(*children_[i]));
      ranks[i] = static_cast<uint8_t>(order_ == Qt::AscendingOrder ? rank : kRecoverabilityCount - 1 - rank);
      ++start[ranks[i] + 1u];
    }
    for (size_t k = 1; k < start.size(); ++k) start[k] += start[k - 1];
    for (size_t i = 0; i < given_.size(); ++i) children_[start[ranks[i]]++] = given_[i];
  }
  folderMark_ = folderMark;
  rows_.clear();
  listed_ = 0;
  folderRows_ = 0;
  takeBatch(false);
  endResetModel();
}

void FileListModel::sort(int column, Qt::SortOrder order) {
  beginResetModel();
  if (sorted_) children_ = std::move(given_);
  sorted_ = column == kRecoverability;
  order_ = order;
  list(folderMark_);
}

bool FileListModel::listMore() {
  if (!hasMore()) return false;
  takeBatch(true);
  return true;
}

// Lists up to 100 more children; `announce` tells the views of each row
// (not inside a reset).
void FileListModel::takeBatch(bool announce) {
  size_t end = std::min(children_.size(), listed_ + kBatchRows);
  std::vector<ExfatFileRecord*> files;
  for (; listed_ < end; ++listed_) {
    ExfatFileRecord* record = children_[listed_];
    record->checkState = markOfListedRow(folderMark_, record->checkState);
    if (!record->isFolder()) {
      files.push_back(record);
      continue;
    }
    // Folders stand at the head in name order, files after them as listed.
    auto at = std::upper_bound(rows_.begin(), rows_.begin() + folderRows_, record, nameBefore);
    int row = static_cast<int>(at - rows_.begin());
    if (announce) beginInsertRows({}, row, row);
    rows_.insert(at, record);
    ++folderRows_;
    if (announce) endInsertRows();
  }
  if (files.empty()) return;
  int first = static_cast<int>(rows_.size());
  if (announce) beginInsertRows({}, first, first + static_cast<int>(files.size()) - 1);
  rows_.insert(rows_.end(), files.begin(), files.end());
  if (announce) endInsertRows();
}

ExfatFileRecord* FileListModel::recordAt(const QModelIndex& index) const {
  if (!index.isValid() || index.row() >= static_cast<int>(rows_.size())) return nullptr;
  return rows_[index.row()];
}

QModelIndex FileListModel::indexOfRecord(const ExfatFileRecord* record) {
  auto child = std::find(children_.begin(), children_.end(), record);
  if (child == children_.end()) return {};
  while (listed_ <= static_cast<size_t>(child - children_.begin())) takeBatch(true);
  auto at = std::find(rows_.begin(), rows_.end(), record);
  return index(static_cast<int>(at - rows_.begin()), 0);
}

QModelIndex FileListModel::index(int row, int column, const QModelIndex& parent) const {
  if (parent.isValid() || row < 0 || row >= static_cast<int>(rows_.size()) || column < 0 || column >= kColumnCount)
    return {};
  return createIndex(row, column);
}

QModelIndex FileListModel::parent(const QModelIndex&) const { return {}; }

int FileListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int FileListModel::columnCount(const QModelIndex&) const { return kColumnCount; }

QVariant FileListModel::data(const QModelIndex& index, int role) const {
  const ExfatFileRecord* r = recordAt(index);
  if (!r) return {};
  if (index.column() == kName) {
    if (role == Qt::CheckStateRole)
      return r->checkState == kChecked ? Qt::Checked : r->checkState == kPartlyChecked ? Qt::PartiallyChecked
                                                                                        : Qt::Unchecked;
    if (role == Qt::DecorationRole) return r->isFolder() ? folderIcon() : fileIcon(QString::fromStdString(r->name));
  }
  if (index.column() == kRecoverability) {
    if (role == Qt::ForegroundRole) return QBrush(recoverabilityColour(worstRecoverability(*r)));
    if (role == Qt::DisplayRole || role == Qt::AccessibleTextRole || role == Qt::ToolTipRole)
      return coreText(recoverabilityLabelText(*r, clusterBytes_));
    return {};
  }
  if (role == Qt::ForegroundRole && r->isDeleted()) return QBrush(QColor(255, 0, 0));
  if (role != Qt::DisplayRole && role != Qt::AccessibleTextRole) return {};
  switch (index.column()) {
    case kName: return qtText(r->name);
    case kState: return coreText(stateText(r->state));
    case kSize: return QString::number(r->dataLength);
    case kCreated: return qtText(formatRecordTime(r->createDate, r->createTime));
    case kModified:
    case kRead: return qtText(formatRecordTime(r->modifyDate, r->modifyTime));
    case kFileNumber: return QString::number(r->firstCluster);
    case kParentNumber: return r->parent ? QString::number(r->parent->firstCluster) : QString();
    default: return {};
  }
}

bool FileListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  ExfatFileRecord* r = recordAt(index);
  if (!r || role != Qt::CheckStateRole || index.column() != kName) return false;
  r->checkState = static_cast<Qt::CheckState>(value.toInt()) == Qt::Unchecked ? kUnchecked : kChecked;
  emit dataChanged(index, index, {Qt::CheckStateRole});
  emit markToggled(r);
  return true;
}

Qt::ItemFlags FileListModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
  if (index.column() == kName) f |= Qt::ItemIsUserCheckable;
  return f;
}

QVariant FileListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  return headerText("FileListModel", kHeaders, section, orientation, role);
}

}  // namespace dudorazu::widgets
