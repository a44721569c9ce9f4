#include "widgets/block_map_view.h"

#include <QPainter>
#include <algorithm>

namespace dudorazu::widgets {
namespace {

constexpr int kCell = 8;  // pixels, a one-pixel gap included

}  // namespace

BlockMapView::BlockMapView(QWidget* parent) : QWidget(parent) {
  setAccessibleName(tr("块图"));
  setAccessibleDescription(tr("绿色：已复制；灰色：未读取；黄色：待修边；橙色：待逐扇区读取；红色：无法读取"));
  setToolTip(accessibleDescription());
}

int BlockMapView::columns() const { return std::max(1, width() / kCell); }

int BlockMapView::cellCount() const { return columns() * std::max(1, height() / kCell); }

void BlockMapView::setCells(const std::string& states) {
  if (states == cells_) return;
  cells_ = states;
  update();
}

QColor BlockMapView::colourOf(char state) {
  switch (state) {
    case '+': return {0, 160, 0};
    case '*': return {230, 200, 0};
    case '/': return {240, 130, 0};
    case '-': return {210, 0, 0};
    default: return {190, 190, 190};
  }
}

QRect BlockMapView::cellRect(int index) const {
  return {(index % columns()) * kCell, (index / columns()) * kCell, kCell - 1, kCell - 1};
}

void BlockMapView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), palette().base());
  const int shown = std::min<int>(cellCount(), static_cast<int>(cells_.size()));
  for (int i = 0; i < shown; ++i) painter.fillRect(cellRect(i), colourOf(cells_[static_cast<size_t>(i)]));
}

}  // namespace dudorazu::widgets
