#pragma once
// Both kinds of document window are two panes side by side: the left one
// 500 pixels wide, the right one taking the rest. Where the window is too
// narrow for that, the panes share it by what their columns need, so that a
// right pane's columns are seen without scrolling whenever the left pane's
// contents can give up the room; once the user drags the handle, the
// user's widths stay.
class QWidget;

namespace dudorazu::shell {

void placePanes(QWidget* window, QWidget* left, QWidget* right);
// The panes' columns changed (rows filled, columns widened): share the width
// again unless the user has chosen it.
void refitPanes(QWidget* window);

}  // namespace dudorazu::shell
