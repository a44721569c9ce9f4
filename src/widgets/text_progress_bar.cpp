#include "widgets/text_progress_bar.h"

namespace dudorazu::widgets {

TextProgressBar::TextProgressBar(QWidget* parent) : QProgressBar(parent) {
  setRange(0, 1000);
  setValue(0);
  setTextVisible(true);
  setAlignment(Qt::AlignCenter);
}

void TextProgressBar::setProgress(uint64_t position, uint64_t upper) {
  position_ = std::min(position, upper);
  upper_ = upper;
  int permille = upper == 0 ? 0 : static_cast<int>(static_cast<long double>(position_) * 1000 / upper);
  // Only a change of what is drawn repaints.
  if (permille != value()) setValue(permille);
  else update();
}

void TextProgressBar::setWaiting(bool waiting) {
  waiting_ = waiting;
  update();
}

int TextProgressBar::percent() const {
  return upper_ == 0 ? 0 : static_cast<int>(static_cast<long double>(position_) * 100 / upper_);
}

QString TextProgressBar::text() const {
  int p = percent();
  if (p == 100 && waiting_) return tr("等待...");
  return QString::asprintf("%d%%", p);
}

}  // namespace dudorazu::widgets
