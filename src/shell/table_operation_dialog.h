#pragma once
// "分区表操作": back up, restore or rebuild the partition table of the
// clicked disk. The choice is -1 until a radio button is clicked.
#include <QDialog>

class QRadioButton;

namespace dudorazu::shell {

class TableOperationDialog : public QDialog {
  Q_OBJECT
 public:
  enum Choice { kNone = -1, kBackup = 0, kRestore = 1, kRebuild = 2 };

  explicit TableOperationDialog(QWidget* parent = nullptr);
  int choice() const { return choice_; }
  QRadioButton* option(int choice) const { return options_[choice]; }

 private:
  QRadioButton* options_[3];
  int choice_ = kNone;
};

}  // namespace dudorazu::shell
