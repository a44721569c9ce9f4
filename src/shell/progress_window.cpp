#include "shell/progress_window.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "widgets/text_progress_bar.h"
#include "widgets/qt_text.h"

namespace dudorazu::shell {
namespace {

const char* const kInitialLabel = QT_TRANSLATE_NOOP("dudorazu::shell::ProgressWindow", "正在执行操作,请稍后...");
const char* const kStoppingLabel = QT_TRANSLATE_NOOP("dudorazu::shell::ProgressWindow", "正在分析文件，请稍后!");

// One count of dots for every progress window of the run.
int dotCount = 1;

}  // namespace

ProgressWindow::ProgressWindow(const QString& title, QWidget* parent) : QDialog(parent), title_(title) {
  setWindowTitle(title);
  setModal(false);
  label_ = new QLabel(tr(kInitialLabel), this);
  bar_ = new widgets::TextProgressBar(this);
  bar_->setAccessibleName(title);
  bar_->setMinimumWidth(320);
  dots_ = new QLabel(this);
  dots_->setMinimumWidth(60);
  stop_ = new QPushButton(tr("停止"), this);
  stop_->setAccessibleName(stop_->text());
  // The dots that show the work is alive follow the label's words
  // ("正在保存文件...."); beside the bar they read as part of its figure.
  auto* heading = new QHBoxLayout;
  heading->setSpacing(0);
  heading->addWidget(label_);
  heading->addWidget(dots_);
  heading->addStretch(1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(heading);
  layout->addWidget(bar_);
  layout->addWidget(stop_, 0, Qt::AlignRight);
  connect(stop_, &QPushButton::clicked, this, [this] {
    if (outcome_) return finish();
    block_.cancel();
    stopping();
  });
}

void ProgressWindow::showOutcome(const QString& text) {
  outcome_ = true;
  label_->setText(text);
  label_->setAccessibleName(text);
  dots_->clear();
  bar_->setProgress(1, 1);
  stop_->setText(tr("关闭"));
  stop_->setAccessibleName(stop_->text());
  stop_->setEnabled(true);
  show();
}

void ProgressWindow::stopping() {
  label_->setText(tr(kStoppingLabel));
  label_->setAccessibleName(label_->text());
  stop_->setEnabled(false);
}

void ProgressWindow::begin() {
  block_.clearCancel();
  block_.clearText();
  block_.setRange(0, 1);
  outcome_ = false;
  stop_->setText(tr("停止"));
  stop_->setAccessibleName(stop_->text());
  stop_->setEnabled(true);
  seenUpdates_ = block_.updates();
  seenUpper_ = 0;
  label_->setText(tr(kInitialLabel));
  label_->setAccessibleName(label_->text());
  bar_->setProgress(0, 0);
  show();
  raise();
}

void ProgressWindow::finish() {
  finishing_ = true;
  close();
  finishing_ = false;
}

QString ProgressWindow::labelText() const { return label_->text(); }
QString ProgressWindow::barText() const { return bar_->text(); }

void ProgressWindow::poll() {
  uint64_t updates = block_.updates();
  if (updates == seenUpdates_) return;
  seenUpdates_ = updates;
  uint64_t upper = block_.upper();
  // A range set by the worker names the operation in the label; a title
  // that already says "正在" ("正在保存文件") is not said twice.
  if (upper != seenUpper_ && !block_.cancelled()) {
    seenUpper_ = upper;
    label_->setText(title_.startsWith(QStringLiteral("正在")) ? title_ : tr("正在%1").arg(title_));
    label_->setAccessibleName(label_->text());
  }
  bar_->setProgress(block_.position(), upper);
  advanceDots();
}

void ProgressWindow::advanceDots() {
  dots_->setText(QString(dotCount, QLatin1Char('.')));
  if (++dotCount == 7) dotCount = 1;
}

// The close box stops the operation as "停止" does.
void ProgressWindow::closeEvent(QCloseEvent* event) {
  if (!finishing_) block_.cancel();
  event->accept();
}

}  // namespace dudorazu::shell
