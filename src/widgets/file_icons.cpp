#include "widgets/file_icons.h"

#include <QFileIconProvider>
#include <QHash>
#include <QMimeDatabase>
#include <QStandardPaths>

namespace dudorazu::widgets {
namespace {

// Without a desktop's own theme (a bare X server, off screen) Qt knows no
// icon theme and every file would look alike: the system's themes are
// looked for where the desktop keeps them, Adwaita first.
void useSystemIconTheme() {
  static const bool done = [] {
    if (!QIcon::themeName().isEmpty() && QIcon::hasThemeIcon(QStringLiteral("text-x-generic"))) return true;
    QStringList paths = QIcon::themeSearchPaths();
    for (const QString& data : QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation))
      paths << data + QStringLiteral("/icons");
    paths << QStringLiteral("/usr/share/icons");
    paths.removeDuplicates();
    QIcon::setThemeSearchPaths(paths);
    for (const QString& theme : {QStringLiteral("Adwaita"), QStringLiteral("hicolor")}) {
      QIcon::setThemeName(theme);
      if (QIcon::hasThemeIcon(QStringLiteral("text-x-generic"))) break;
    }
    return true;
  }();
  (void)done;
}

}  // namespace

QIcon folderIcon() {
  static const QIcon icon = QFileIconProvider().icon(QFileIconProvider::Folder);
  return icon;
}

QIcon driveIcon() {
  static const QIcon icon = QFileIconProvider().icon(QFileIconProvider::Drive);
  return icon;
}

// Names come from the disk, not from files that exist here, so the type is
// told by the extension alone and nothing is read.
QIcon fileIcon(const QString& name) {
  useSystemIconTheme();
  static QHash<QString, QIcon> bySuffix;
  static const QIcon generic = QFileIconProvider().icon(QFileIconProvider::File);
  int dot = name.lastIndexOf(QLatin1Char('.'));
  QString suffix = dot > 0 ? name.mid(dot + 1).toLower() : QString();
  auto found = bySuffix.constFind(suffix);
  if (found != bySuffix.constEnd()) return *found;
  QIcon icon = generic;
  if (!suffix.isEmpty()) {
    QMimeType type = QMimeDatabase().mimeTypeForFile(QStringLiteral("x.") + suffix, QMimeDatabase::MatchExtension);
    icon = QIcon::fromTheme(type.iconName(), QIcon::fromTheme(type.genericIconName(), generic));
  }
  bySuffix.insert(suffix, icon);
  return icon;
}

}  // namespace dudorazu::widgets
