#include "shell/manual.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace dudorazu::shell {

QString manualIndex() {
  const QString bin = QCoreApplication::applicationDirPath();
  const QString candidates[] = {
      bin + QStringLiteral("/../share/doc/dudorazu/manual/index.html"),
#ifdef DUDORAZU_SOURCE_MANUAL
      QStringLiteral(DUDORAZU_SOURCE_MANUAL "/index.html"),
#endif
  };
  for (const QString& path : candidates)
    if (QFileInfo(path).isFile()) return QFileInfo(path).canonicalFilePath();
  return {};
}

}  // namespace dudorazu::shell
