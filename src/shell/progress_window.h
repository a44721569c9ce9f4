#pragma once
// The modeless progress window of a long operation: a label, the text bar,
// the dots and "停止". The runner shows it the operation's ProgressBlock on
// its timer, so the worker never waits for it.
#include <QDialog>

#include "core/common/progress_block.h"
#include "shell/operation_runner.h"

class QLabel;
class QPushButton;

namespace dudorazu::widgets {
class TextProgressBar;
}

namespace dudorazu::shell {

class ProgressWindow : public QDialog, public OperationView {
  Q_OBJECT
 public:
  // `title` names the operation ("展开分区文件").
  ProgressWindow(const QString& title, QWidget* parent = nullptr);

  ProgressBlock& block() override { return block_; }
  // Shows the window for a new run of the operation, with a fresh block.
  void begin() override;
  // Closes it when the operation has ended.
  void finish();
  void showProgress() override { poll(); }
  void end() override { finish(); }
  void stopping() override;
  // After the run: the window shows `text` as its last line over a full
  // bar, its button reading "关闭", until the user closes it.
  void showOutcome(const QString& text);

  QString labelText() const;
  QString barText() const;
  QPushButton* stopButton() const { return stop_; }

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool outcome_ = false;

 private:
  void poll();
  void advanceDots();

  QString title_;
  ProgressBlock block_;
  QLabel* label_;
  widgets::TextProgressBar* bar_;
  QLabel* dots_;
  QPushButton* stop_;
  uint64_t seenUpdates_ = 0;
  uint64_t seenUpper_ = 0;
  bool finishing_ = false;
};

}  // namespace dudorazu::shell
