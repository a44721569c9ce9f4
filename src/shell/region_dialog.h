#pragma once
// "创建区域": a stretch of a disk's sectors, typed in sectors, GB, MB or KB,
// that is then treated as a partition (a region) and gets its row.
#include <QDialog>

#include "core/tools/region_input.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QModelIndex;

namespace dudorazu::widgets {
class DiskTreeModel;
}

namespace dudorazu::shell {

class UserDialogs;

class RegionDialog : public QDialog {
  Q_OBJECT
 public:
  RegionDialog(uint64_t diskSectors, UserDialogs& dialogs, QWidget* parent = nullptr);

  // "确定": closes only when the numbers are right and lie on the disk.
  void accept() override;
  // What was typed, as the core reads it.
  const RegionInput& input() const { return input_; }

  QLabel* diskSizeLabel() const { return size_; }
  QLineEdit* startField() const { return start_; }
  QLineEdit* sizeField() const { return length_; }
  QComboBox* startUnit() const { return startUnit_; }
  QComboBox* sizeUnit() const { return sizeUnit_; }

 private:
  uint64_t diskSectors_;
  UserDialogs& dialogs_;
  RegionInput input_;
  QLabel* size_;
  QLineEdit* start_;
  QLineEdit* length_;
  QComboBox* startUnit_;
  QComboBox* sizeUnit_;
};

// The region command on the disk of `row`: the dialog, then the region
// appended to the disk; the disk that got it, or none (refused, cancelled,
// or the disk could not be read).
DiskRecord* createRegionOn(const widgets::DiskTreeModel& disks, const QModelIndex& row, UserDialogs& dialogs,
                           QWidget* parent);

}  // namespace dudorazu::shell
