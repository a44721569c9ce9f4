#include "shell/manual.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QPushButton>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>
#include <QHBoxLayout>

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

ManualWindow::ManualWindow(QWidget* parent) : QDialog(parent), browser_(new QTextBrowser(this)) {
  setWindowTitle(tr("帮助"));
  setAccessibleName(windowTitle());
  browser_->setAccessibleName(tr("帮助文档"));
  browser_->setOpenLinks(true);
  browser_->setOpenExternalLinks(false);
  auto* back = new QPushButton(tr("后退"), this);
  auto* home = new QPushButton(tr("目录"), this);
  auto* close = new QPushButton(tr("关闭"), this);
  for (QPushButton* b : {back, home, close}) b->setAccessibleName(b->text());
  back->setEnabled(false);
  connect(browser_, &QTextBrowser::backwardAvailable, back, &QPushButton::setEnabled);
  connect(back, &QPushButton::clicked, browser_, &QTextBrowser::backward);
  connect(home, &QPushButton::clicked, browser_, &QTextBrowser::home);
  connect(close, &QPushButton::clicked, this, &QDialog::close);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(back);
  buttons->addWidget(home);
  buttons->addStretch();
  buttons->addWidget(close);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(browser_);
  layout->addLayout(buttons);
  resize(820, 640);
}

void ManualWindow::showPage(const QString& page) {
  browser_->setSource(QUrl::fromLocalFile(page));
  show();
  raise();
  activateWindow();
}

}  // namespace dudorazu::shell
