#pragma once
// A bar that writes its percentage ("%d%%") over itself, or "等待..." once
// full while the operation still waits for its end. Positions are 64-bit;
// the bar itself only draws per mille.
#include <QProgressBar>
#include <cstdint>

namespace dudorazu::widgets {

class TextProgressBar : public QProgressBar {
  Q_OBJECT
 public:
  explicit TextProgressBar(QWidget* parent = nullptr);
  void setProgress(uint64_t position, uint64_t upper);
  void setWaiting(bool waiting);
  int percent() const;
  QString text() const override;

 private:
  uint64_t position_ = 0;
  uint64_t upper_ = 0;
  bool waiting_ = false;
};

}  // namespace dudorazu::widgets
