#include "widgets/file_icons.h"

#include <QFileIconProvider>
#include <QHash>
#include <QMimeDatabase>

namespace dudorazu::widgets {

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
