#pragma once
// Both kinds of document window are two panes side by side: the left one
// 500 pixels wide and keeping that width, the right one taking the rest.
class QWidget;

namespace dudorazu::shell {

void placePanes(QWidget* window, QWidget* left, QWidget* right);

}  // namespace dudorazu::shell
