#pragma once
// Answers the windows' questions from a script and keeps every message.
#include <QDialog>
#include <QList>
#include <QUrl>
#include <functional>
#include <QPair>
#include <QSettings>
#include <QString>
#include <QTemporaryDir>

#include "shell/user_dialogs.h"

namespace dudorazu::test {

// Keeps the program's settings (recent files, placement) in `folder`, away
// from the user's own.
inline void keepSettingsIn(const QString& folder) {
  QSettings::setDefaultFormat(QSettings::IniFormat);
  QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, folder);
}

class RecordingDialogs : public shell::UserDialogs {
 public:
  void message(QWidget*, const QString& text, const QString& caption) override { messages.append({text, caption}); }
  bool confirm(QWidget*, const QString& text, const QString& caption) override {
    messages.append({text, caption});
    return confirmAnswer;
  }
  QString openFile(QWidget*, const QString& filter) override {
    filters.append(filter);
    return nextFile;
  }
  QString saveFile(QWidget*, const QString& filter) override {
    filters.append(filter);
    return nextSaveFile;
  }
  QString chooseFolder(QWidget*, const QString&) override { return nextFolder; }
  void about(QWidget*, const QString& title, const QString&) override { messages.append({title, QString()}); }

  // Fills in a dialog as the user would; its answer is the dialog's result.
  bool run(QDialog& dialog) override { return answerDialog ? answerDialog(dialog) : false; }
  bool openUrl(const QUrl& url) override {
    urls.append(url);
    return true;
  }

  std::function<bool(QDialog&)> answerDialog;
  QList<QUrl> urls;
  QList<QPair<QString, QString>> messages;  // text, caption
  QStringList filters;
  QString nextFile;
  QString nextFolder;
  QString nextSaveFile;
  bool confirmAnswer = false;
};

// Keeps the program's settings (recent files, placement) in a scratch
// folder for as long as it lives.
class ScratchSettings {
 public:
  ScratchSettings() {
    QSettings::setDefaultFormat(QSettings::IniFormat);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir_.path());
  }

 private:
  QTemporaryDir dir_;
};

}  // namespace dudorazu::test
