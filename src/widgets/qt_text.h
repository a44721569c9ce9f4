#pragma once
// Texts from the core are UTF-8; names read from a disk may hold anything,
// so they pass the core's filter before a widget shows them.
#include <QString>
#include <string>

#include "core/common/text.h"

namespace dudorazu::widgets {

inline QString qtText(const std::string& text) { return QString::fromStdString(printableText(text)); }
inline std::string coreText(const QString& text) { return text.toStdString(); }

}  // namespace dudorazu::widgets
