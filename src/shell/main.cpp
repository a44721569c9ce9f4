// dudorazu: the desktop program. Image files named on the command line are
// opened as disks; --screenshot DIR writes pictures of the main windows and
// ends.

#include <QApplication>
#include <QIcon>
#include <QStringList>

#include "core/device/disk_catalogue.h"
#include "platform/platform.h"
#include "shell/disk_window.h"
#include "shell/drive_access.h"
#include "shell/main_window.h"
#include "shell/screenshot.h"
#include "shell/splash_screen.h"
#include "shell/user_dialogs.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setOrganizationName(QStringLiteral("dudorazu"));
  QApplication::setApplicationName(QStringLiteral("dudorazu"));
  QApplication::setWindowIcon(QIcon(QStringLiteral(":/dudorazu.png")));
  dudorazu::shell::loadQtChineseTexts(app);
  QStringList args = QApplication::arguments().mid(1);
  QString screenshotDir;
  int at = args.indexOf(QStringLiteral("--screenshot"));
  if (at >= 0 && at + 1 < args.size()) {
    screenshotDir = args[at + 1];
    args.remove(at, 2);
  }

  using namespace dudorazu;
  DiskCatalogue& catalogue = processCatalogue();
  RecordingMessageSink startMessages;
  if (screenshotDir.isEmpty()) {
    shell::SplashScreen splash;
    splash.show();
    QApplication::processEvents();
    auto enumerator = platform::makeDriveEnumerator();
    buildDiskCatalogue(catalogue, *enumerator, startMessages);
  }

  shell::QtUserDialogs dialogs;
  shell::MainWindow window(catalogue, dialogs);
  window.diskWindow()->listUnopenedDrives(platform::runsAsAdministrator(),
                                          !catalogue.unopenedDrives.empty() && shell::driveServiceAvailable());
  for (const QString& image : args) window.openImageFile(image);
  if (!screenshotDir.isEmpty()) return shell::takeScreenshots(window, screenshotDir);
  window.show();
  for (const auto& m : startMessages.messages)
    dialogs.message(&window, QString::fromStdString(m.text), QString::fromStdString(m.caption));
  // The program's close waits for the work of every window to end.
  return app.exec();
}
