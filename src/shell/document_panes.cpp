#include "shell/document_panes.h"

#include <QHeaderView>
#include <QScrollBar>
#include <QSplitter>
#include <QHeaderView>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

#include "widgets/tree_list_view.h"

namespace dudorazu::shell {
namespace {

constexpr int kLeftWidth = 500;

// The width a pane needs to show every visible column's header and rows
// uncut without scrolling sideways, with its frame and vertical scroll bar;
// a column wider than its contents needs only its contents.
int neededWidth(QWidget* pane) {
  auto* view = qobject_cast<widgets::TreeListView*>(pane);
  if (!view || !view->model()) return pane->sizeHint().width();
  int width = 0;
  for (int c = 0; c < view->model()->columnCount(); ++c) {
    if (view->isColumnHidden(c)) continue;
    width = std::max(width, view->header()->sectionPosition(c) + std::min(view->columnWidth(c), view->contentsWidth(c)));
  }
  // A few pixels more than the sum: the last glyph of a column must not
  // touch the pane's edge.
  return width + 2 * view->frameWidth() + view->style()->pixelMetric(QStyle::PM_ScrollBarExtent) + 8;
}

class PaneSplitter : public QSplitter {
 public:
  explicit PaneSplitter(QWidget* parent) : QSplitter(parent) {
    connect(this, &QSplitter::splitterMoved, this, [this] { chosen_ = true; });
  }
  // Rows shown or columns widened in `pane` share the width again, once
  // the pane has laid them out.
  void follow(QWidget* pane) {
    auto* view = qobject_cast<widgets::TreeListView*>(pane);
    if (!view || !view->model()) return;
    connect(view->header(), &QHeaderView::sectionResized, this, &PaneSplitter::fitSoon);
    connect(view->model(), &QAbstractItemModel::modelReset, this, &PaneSplitter::fitSoon);
    connect(view->model(), &QAbstractItemModel::rowsInserted, this, &PaneSplitter::fitSoon);
  }
  void fitSoon() {
    if (fitAsked_ || chosen_) return;
    fitAsked_ = true;
    QTimer::singleShot(0, this, [this] {
      fitAsked_ = false;
      fit();
    });
  }
  void fit() {
    if (chosen_ || count() != 2) return;
    int total = width() - handleWidth();
    if (total <= 0) return;
    int left = std::max(neededWidth(widget(0)), std::min(kLeftWidth, total - neededWidth(widget(1))));
    left = std::min(left, std::max(kLeftWidth, total / 2));
    setSizes({left, std::max(0, total - left)});
  }

 protected:
  void resizeEvent(QResizeEvent* event) override {
    QSplitter::resizeEvent(event);
    fit();
  }

 private:
  bool chosen_ = false;
  bool fitAsked_ = false;
};

}  // namespace

void placePanes(QWidget* window, QWidget* left, QWidget* right) {
  auto* splitter = new PaneSplitter(window);
  splitter->addWidget(left);
  splitter->addWidget(right);
  splitter->follow(left);
  splitter->follow(right);
  splitter->setStretchFactor(0, 0);
  splitter->setStretchFactor(1, 1);
  splitter->setSizes({kLeftWidth, 100});
  auto* layout = new QVBoxLayout(window);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(splitter);
}

void refitPanes(QWidget* window) {
  if (auto* splitter = dynamic_cast<PaneSplitter*>(window->findChild<QSplitter*>(QString(), Qt::FindDirectChildrenOnly)))
    splitter->fit();
}

}  // namespace dudorazu::shell
