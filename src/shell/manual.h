#pragma once
// Where the user manual is: beside an installed program
// (share/doc/dudorazu/manual), or in the source tree of a build.
#include <QDialog>
#include <QString>

class QTextBrowser;

namespace dudorazu::shell {

// The manual's first page; empty when no copy is found.
QString manualIndex();

// The manual in a window of the program's own, so that F1 works on a
// machine without a web browser; its links open in the same window.
class ManualWindow : public QDialog {
  Q_OBJECT

 public:
  explicit ManualWindow(QWidget* parent);
  // Shows `page` (a local HTML file) and brings the window up.
  void showPage(const QString& page);
  QTextBrowser* browser() const { return browser_; }

 private:
  QTextBrowser* browser_;
};

}  // namespace dudorazu::shell
