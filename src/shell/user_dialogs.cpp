#include "shell/user_dialogs.h"

#include <QApplication>
#include <QCoreApplication>
#include <QGridLayout>
#include <QFileDialog>
#include <QMessageBox>
#include <QRegularExpression>

#include "core/common/long_operation.h"
#include "widgets/qt_text.h"

namespace dudorazu::shell {

QString applicationTitle() { return QString::fromUtf8(kApplicationTitle); }

int captionWidth(const QString& caption) {
  // The frame's font is the window manager's, usually bold and a little
  // larger than the program's; its icon and three buttons take about 120
  // pixels.
  QFont font = QApplication::font();
  font.setBold(true);
  font.setPointSizeF(font.pointSizeF() * 1.2);
  return QFontMetrics(font).horizontalAdvance(caption) + 120;
}

std::unique_ptr<QMessageBox> makeMessageBox(QWidget* parent, QMessageBox::Icon icon, const QString& text,
                                            const QString& caption, QMessageBox::StandardButtons buttons) {
  auto box = std::make_unique<QMessageBox>(icon, caption, text, buttons, parent);
  // A message box sizes itself to its text and buttons only; a row of
  // nothing as wide as the caption widens it.
  if (auto* grid = qobject_cast<QGridLayout*>(box->layout()))
    grid->addItem(new QSpacerItem(captionWidth(caption), 0, QSizePolicy::Fixed, QSizePolicy::Minimum),
                  grid->rowCount(), 0, 1, grid->columnCount());
  return box;
}

void QtUserDialogs::message(QWidget* parent, const QString& text, const QString& caption) {
  makeMessageBox(parent, QMessageBox::Information, text, caption, QMessageBox::Ok)->exec();
}

bool QtUserDialogs::confirm(QWidget* parent, const QString& text, const QString& caption) {
  return makeMessageBox(parent, QMessageBox::Question, text, caption, QMessageBox::Ok | QMessageBox::Cancel)->exec() ==
         QMessageBox::Ok;
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
  if (running) dialogs.message(parent, widgets::coreText(kWaitForCurrentOperation), widgets::coreText(kCaptionWaiting));
  return running;
}

void DialogMessageSink::show(const std::string& text, const std::string& caption) {
  dialogs_.message(parent_, widgets::coreText(text), widgets::coreText(caption));
}

}  // namespace dudorazu::shell
