#pragma once
// The partition window's right pane in file mode: the children of the folder
// clicked on the left, 100 rows more each time the view scrolls past the
// rows it has. Rows point at the records; check marks live in the records.
#include <QAbstractItemModel>
#include <vector>

#include "core/exfat/exfat_file_record.h"

namespace dudorazu::widgets {

class FileListModel : public QAbstractItemModel {
  Q_OBJECT
 public:
  // The described columns, then how much of each file can come back.
  enum Column {
    kName,
    kState,
    kSize,
    kCreated,
    kModified,
    kRead,
    kFileNumber,
    kParentNumber,
    kRecoverability,
    kColumnCount
  };
  static constexpr int kBatchRows = 100;
  static int columnWidth(int column);

  explicit FileListModel(QObject* parent = nullptr);

  // Lists the children of `folder`, the first 100 at once and 100 more at
  // each fetchMore; each row listed takes its mark from `folderMark` (the
  // folder row's mark when it was clicked).
  void showFolder(ExfatFileRecord* folder, uint8_t folderMark);
  // Lists `records` themselves (the partition's top row lists its root).
  void showRecords(std::vector<ExfatFileRecord*> records, uint8_t folderMark);
  void clear();
  // The volume's cluster size, for the bytes at risk the last column names.
  void setClusterBytes(uint64_t bytes) { clusterBytes_ = bytes; }
  // Lists the shown records, now and from then on, best recoverability
  // first (or worst first for Qt::DescendingOrder), in their own order
  // within a state; any other column puts back the folders' own order.
  void sort(int column, Qt::SortOrder order) override;

  ExfatFileRecord* shownFolder() const { return folder_; }
  ExfatFileRecord* recordAt(const QModelIndex& index) const;
  // The row of `record`, listing more rows until it stands among them;
  // invalid when the shown list does not hold it.
  QModelIndex indexOfRecord(const ExfatFileRecord* record);
  int childCount() const { return static_cast<int>(children_.size()); }
  // Every record of the list, listed yet or not, in the folder's order.
  const std::vector<ExfatFileRecord*>& records() const { return children_; }
  // Lists the next 100 children, if any are left; false when none were.
  // Only the view calls it, when its user reached the end of the rows: the
  // model never offers Qt's own fetching, which fires at layout times too.
  bool listMore();
  bool hasMore() const { return listed_ < children_.size(); }
  // The shown folder's mark changed: rows listed later take the new one.
  void setFolderMark(uint8_t mark) { folderMark_ = mark; }

  QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
  QModelIndex parent(const QModelIndex& child) const override;
  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

 signals:
  // The user changed the mark of a listed row.
  void markToggled(ExfatFileRecord* record);

 private:
  void list(uint8_t folderMark);
  void takeBatch(bool announce);

  ExfatFileRecord* folder_ = nullptr;
  uint8_t folderMark_ = 0;
  std::vector<ExfatFileRecord*> children_;  // in the folder's order, or sorted
  std::vector<ExfatFileRecord*> given_;     // the order given, while sorted
  std::vector<ExfatFileRecord*> rows_;      // listed so far: folders by name, then files
  size_t listed_ = 0;                       // children taken into rows_
  size_t folderRows_ = 0;                   // folders at the head of rows_
  uint64_t clusterBytes_ = 0;
  bool sorted_ = false;  // by recoverability, in order_ (children_ sorted)
  Qt::SortOrder order_ = Qt::AscendingOrder;
};

}  // namespace dudorazu::widgets
