// dudorazu: the desktop program. Image files named on the command line are
// opened as disks; --screenshot DIR writes pictures of the main windows and
// ends.

#include <QApplication>
#include <QIcon>
#include <QStringList>
#include <cstdio>
#include <cstring>

#include "core/device/disk_catalogue.h"
#include "platform/platform.h"
#include "shell/disk_window.h"
#include "shell/drive_access.h"
#include "shell/language.h"
#include "shell/main_window.h"
#include "shell/screenshot.h"
#include "shell/splash_screen.h"
#include "shell/user_dialogs.h"
#include "widgets/qt_text.h"

namespace {

// Answered before Qt starts, so it works without a display (the manual page
// is made from it at build time).
constexpr const char* kUsage =
    "usage: dudorazu [--language en|zh] [IMAGE...]\n"
    "       dudorazu [--language en|zh] --screenshot DIR [IMAGE...]\n"
    "\n"
    "The desktop program of dudorazu: lists the machine's drives and the image\n"
    "files named, finds their partitions, loads the folder trees of exFAT\n"
    "volumes (deleted files and folders included) and copies files out to\n"
    "another drive. It never writes to the disk it reads from.\n"
    "\n"
    "  IMAGE             an image file opened as a disk: a raw image, the first\n"
    "                    piece (NAME.001) of a split one, an EWF evidence file\n"
    "                    (NAME.E01), or a VHD, VHDX, VMDK or QCOW2 virtual disk;\n"
    "                    the kind is told by the file's contents\n"
    "  --language en|zh  the windows' language: English or Chinese (the default\n"
    "                    is the one chosen in the help menu, else English where\n"
    "                    the system's language is English, else Chinese)\n"
    "  --screenshot DIR  write pictures of the main windows into DIR and end\n"
    "  --help            show this text and end\n"
    "  --version         show the version and end\n"
    "\n"
    "Drives are read with the rights of the user who starts the program; the\n"
    "command line dudorazu-cli does the same work in a terminal.\n";

}  // namespace

int main(int argc, char** argv) {
  dudorazu::platform::settleLocalTimeZone();
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (std::strcmp(argv[i], "--version") == 0) {
      std::printf("dudorazu %s\n", DUDORAZU_VERSION);
      return 0;
    }
  }
  QApplication app(argc, argv);
  QApplication::setOrganizationName(QStringLiteral("dudorazu"));
  QApplication::setApplicationName(QStringLiteral("dudorazu"));
  QApplication::setWindowIcon(QIcon(QStringLiteral(":/dudorazu.png")));
  QStringList args = QApplication::arguments().mid(1);
  dudorazu::shell::setLanguage(dudorazu::shell::chosenLanguage(args));
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
    dialogs.message(&window, widgets::coreText(m.text), widgets::coreText(m.caption));
  // The program's close waits for the work of every window to end.
  return app.exec();
}
