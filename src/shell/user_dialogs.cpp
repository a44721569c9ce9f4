#include "shell/user_dialogs.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QLibraryInfo>
#include <QLocale>
#include <QMessageBox>
#include <QRegularExpression>
#include <QTranslator>

#include "core/common/long_operation.h"

namespace dudorazu::shell {

bool loadQtChineseTexts(QCoreApplication& app) {
  // qtbase holds the texts of the widgets' own dialogs and buttons; the
  // "qt" file only names the modules' files and holds none of them itself.
  auto* translator = new QTranslator(&app);
  if (!translator->load(QLocale(QLocale::Chinese, QLocale::China), QStringLiteral("qtbase"), QStringLiteral("_"),
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    delete translator;
    return false;
  }
  return QCoreApplication::installTranslator(translator);
}

QString applicationTitle() { return QString::fromUtf8(kApplicationTitle); }

void QtUserDialogs::message(QWidget* parent, const QString& text, const QString& caption) {
  QMessageBox box(QMessageBox::Information, caption, text, QMessageBox::Ok, parent);
  box.exec();
}

bool QtUserDialogs::confirm(QWidget* parent, const QString& text, const QString& caption) {
  QMessageBox box(QMessageBox::Question, caption, text, QMessageBox::Ok | QMessageBox::Cancel, parent);
  return box.exec() == QMessageBox::Ok;
}

namespace {

QString chooseFile(QWidget* parent, const QString& filter, QFileDialog::AcceptMode mode) {
  QFileDialog dialog(parent);
  dialog.setAcceptMode(mode);
  if (mode == QFileDialog::AcceptOpen) dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setNameFilter(filter);
  // The first pattern of the filter names the suffix a typed name gets.
  QRegularExpressionMatch suffix = QRegularExpression(QStringLiteral("\\(\\*\\.(\\w+)")).match(filter);
  dialog.setDefaultSuffix(suffix.hasMatch() ? suffix.captured(1) : QStringLiteral("img"));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return dialog.selectedFiles().front();
}

}  // namespace

QString QtUserDialogs::openFile(QWidget* parent, const QString& filter) {
  return chooseFile(parent, filter, QFileDialog::AcceptOpen);
}

QString QtUserDialogs::saveFile(QWidget* parent, const QString& filter) {
  return chooseFile(parent, filter, QFileDialog::AcceptSave);
}

QString QtUserDialogs::chooseFolder(QWidget* parent, const QString& title) {
  return QFileDialog::getExistingDirectory(parent, title);
}

void QtUserDialogs::about(QWidget* parent, const QString& title, const QString& text) {
  QMessageBox::about(parent, title, text);
}

bool QtUserDialogs::run(QDialog& dialog) { return dialog.exec() == QDialog::Accepted; }

bool refusedWhileRunning(bool running, UserDialogs& dialogs, QWidget* parent) {
  if (running)
    dialogs.message(parent, QString::fromUtf8(kWaitForCurrentOperation), QString::fromUtf8(kCaptionWaiting));
  return running;
}

void DialogMessageSink::show(const std::string& text, const std::string& caption) {
  dialogs_.message(parent_, QString::fromStdString(text), QString::fromStdString(caption));
}

}  // namespace dudorazu::shell
