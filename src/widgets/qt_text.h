#pragma once
// Texts from the core are UTF-8; names read from a disk may hold anything,
// so they pass the core's filter before a widget shows them.
#include <QString>
#include <QVariant>
#include <string>

#include "core/common/text.h"

namespace dudorazu::widgets {

inline QString qtText(const std::string& text) { return QString::fromStdString(printableText(text)); }

// A pane's column header: its text, for the eye and for assistive technology.
template <size_t N>
QVariant headerText(const char* const (&headers)[N], int section, Qt::Orientation orientation, int role) {
  if (orientation != Qt::Horizontal || section < 0 || section >= static_cast<int>(N)) return {};
  if (role != Qt::DisplayRole && role != Qt::AccessibleTextRole) return {};
  return QString::fromUtf8(headers[section]);
}

}  // namespace dudorazu::widgets
