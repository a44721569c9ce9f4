#pragma once
// Icons of the panes: the desktop's folder and drive icons, and the icon of
// each file type (by the name's extension), looked up once per extension.
#include <QIcon>
#include <QString>

namespace dudorazu::widgets {

QIcon folderIcon();
QIcon driveIcon();
QIcon fileIcon(const QString& name);

}  // namespace dudorazu::widgets
