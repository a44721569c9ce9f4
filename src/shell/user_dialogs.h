#pragma once
// Every message box and chooser of the windows goes through this seam, so
// tests can answer them. QtUserDialogs shows the real ones.
#include <QString>

#include "core/common/messages.h"

#include <QMessageBox>
#include <memory>

class QDialog;
class QWidget;

namespace dudorazu::shell {

class UserDialogs {
 public:
  virtual ~UserDialogs() = default;
  virtual void message(QWidget* parent, const QString& text, const QString& caption) = 0;
  // OK and Cancel; true for OK.
  virtual bool confirm(QWidget* parent, const QString& text, const QString& caption) = 0;
  // An existing file; empty when cancelled.
  virtual QString openFile(QWidget* parent, const QString& filter) = 0;
  // A file to write (the filter's first suffix added when none is typed; an existing one
  // is replaced only once the user agrees); empty when cancelled.
  virtual QString saveFile(QWidget* parent, const QString& filter) = 0;
  virtual QString chooseFolder(QWidget* parent, const QString& title) = 0;
  virtual void about(QWidget* parent, const QString& title, const QString& text) = 0;
  // Runs a dialog of the program modally; true when accepted.
  virtual bool run(QDialog& dialog) = 0;
};

class QtUserDialogs : public UserDialogs {
 public:
  void message(QWidget* parent, const QString& text, const QString& caption) override;
  bool confirm(QWidget* parent, const QString& text, const QString& caption) override;
  QString openFile(QWidget* parent, const QString& filter) override;
  QString saveFile(QWidget* parent, const QString& filter) override;
  QString chooseFolder(QWidget* parent, const QString& title) override;
  void about(QWidget* parent, const QString& title, const QString& text) override;
  bool run(QDialog& dialog) override;
};

// The program's message box, wide enough that a window manager never cuts
// its caption down to "...".
std::unique_ptr<QMessageBox> makeMessageBox(QWidget* parent, QMessageBox::Icon icon, const QString& text,
                                            const QString& caption, QMessageBox::StandardButtons buttons);
// The width a window's frame needs to show `caption` whole beside its icon
// and buttons.
int captionWidth(const QString& caption);

// While `running`, tells the user to wait for the operation under way
// ("等待当前操作完成！", caption "waiting"); returns `running`.
bool refusedWhileRunning(bool running, UserDialogs& dialogs, QWidget* parent);

// The core's messages shown through the seam.
class DialogMessageSink : public MessageSink {
 public:
  DialogMessageSink(UserDialogs& dialogs, QWidget* parent) : dialogs_(dialogs), parent_(parent) {}
  void show(const std::string& text, const std::string& caption) override;

 private:
  UserDialogs& dialogs_;
  QWidget* parent_;
};

// The application's title, the caption of its own message boxes.
QString applicationTitle();

}  // namespace dudorazu::shell
