#pragma once
// "重建分区表": the volumes of one disk that can enter a new MBR, ticked by
// the user; "保存" writes sector 0 from up to four of them once the user
// agrees, "分区表备份" backs the current table up first.
#include <QDialog>

#include <vector>

#include "core/device/disk_record.h"
#include "core/tools/mbr_rebuild.h"

class QTreeWidget;

namespace dudorazu::shell {

class UserDialogs;

class RebuildDialog : public QDialog {
  Q_OBJECT
 public:
  RebuildDialog(const DiskRecord& disk, UserDialogs& dialogs, QWidget* parent = nullptr);
  QTreeWidget* list() const { return list_; }

 signals:
  void backupRequested();

 private:
  void save();

  const DiskRecord& disk_;
  std::vector<RebuildRow> rows_;  // one for each list row, in order
  UserDialogs& dialogs_;
  QTreeWidget* list_;
};

}  // namespace dudorazu::shell
