#pragma once
// Texts from the core are UTF-8; names read from a disk may hold anything,
// so they pass the core's filter before a widget shows them.
#include <QCoreApplication>
#include <QString>
#include <QVariant>
#include <string>

#include "core/common/text.h"

namespace dudorazu::widgets {

inline QString qtText(const std::string& text) { return QString::fromStdString(printableText(text)); }

// A text the core made (a message, a state, a title, a note with numbers
// in it) in the window's language, each line made printable as qtText
// does. Names read from a disk go through qtText alone: a folder that a
// user called like one of the core's words keeps its name.
QString coreText(const std::string& text);

// A pane's column header: its text, for the eye and for assistive
// technology, translated in `context`.
template <size_t N>
QVariant headerText(const char* context, const char* const (&headers)[N], int section, Qt::Orientation orientation,
                    int role) {
  if (orientation != Qt::Horizontal || section < 0 || section >= static_cast<int>(N)) return {};
  if (role != Qt::DisplayRole && role != Qt::AccessibleTextRole) return {};
  return QCoreApplication::translate(context, headers[section]);
}

}  // namespace dudorazu::widgets
