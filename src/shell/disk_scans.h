#pragma once
// The disk window's search tools: the lost-partition search "扫描分区", the
// whole-disk scan "全盘扫描" and the partition scan "分区扫描", each run by
// the runner; the search and the whole-disk scan share the program's search
// marker, the partition scan has its own. When a search or scan ends, the
// disk's branch of the disk tree is filled again from its partition list,
// so found volumes stand in green.
#include <QObject>
#include <QPersistentModelIndex>

#include "core/tools/partition_search.h"
#include "shell/operation_runner.h"

class QWidget;

namespace dudorazu::shell {

class DiskWindow;
class PartitionSearchWindow;
class ProgressWindow;
class UserDialogs;

class DiskScans : public QObject {
  Q_OBJECT
 public:
  DiskScans(DiskWindow& disks, UserDialogs& dialogs, QWidget* parent);

  // "扫描分区" on the disk of `row` (a disk row or one of its partitions):
  // asks how to search, then searches.
  void search(const QModelIndex& row);
  // The search itself, as the dialog's answer starts it. False when refused.
  bool startSearch(const QModelIndex& row, SearchMode mode, uint8_t heads);
  // "全盘扫描" on the disk of `row`.
  void wholeDiskScan(const QModelIndex& row);
  // "分区扫描" on the partition of `row`; refused for a disk row.
  void partitionScan(const QModelIndex& row);

  // The program closes once they have ended.
  OperationRunner& runner() { return runner_; }
  PartitionSearchWindow* searchWindow() const { return searchWindow_; }
  ProgressWindow* scanWindow(bool partition) const { return partition ? partitionProgress_ : diskProgress_; }

 signals:
  void searchFinished();
  void scanFinished();

 private:
  bool refused(const RunningMarker& marker);
  DiskRecord* diskOf(const QModelIndex& row);
  void scan(const QModelIndex& row, PartitionRecord* partition);
  void refreshBranch(const QPersistentModelIndex& diskRow);

  DiskWindow& disks_;
  UserDialogs& dialogs_;
  QWidget* parent_;
  PartitionSearchWindow* searchWindow_ = nullptr;
  ProgressWindow* diskProgress_ = nullptr;
  ProgressWindow* partitionProgress_ = nullptr;
  // Last: its runs end before anything they point at goes.
  OperationRunner runner_;
};

}  // namespace dudorazu::shell
