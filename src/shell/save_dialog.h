#pragma once
// The save target dialog "Recover": the folder the saved files go into,
// typed or chosen with ">" through the dialog seam.
#include <QDialog>

class QLineEdit;
class QPushButton;

namespace dudorazu::shell {

class UserDialogs;

class SaveDialog : public QDialog {
  Q_OBJECT
 public:
  SaveDialog(UserDialogs& dialogs, QWidget* parent = nullptr);
  QString destination() const;
  QLineEdit* pathField() const { return path_; }
  QPushButton* browseButton() const { return browse_; }

 private:
  void browse();

  UserDialogs& dialogs_;
  QLineEdit* path_;
  QPushButton* browse_;
};

}  // namespace dudorazu::shell
