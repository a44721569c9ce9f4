#include "shell/document_panes.h"

#include <QSplitter>
#include <QVBoxLayout>

namespace dudorazu::shell {

void placePanes(QWidget* window, QWidget* left, QWidget* right) {
  auto* splitter = new QSplitter(window);
  splitter->addWidget(left);
  splitter->addWidget(right);
  splitter->setStretchFactor(0, 0);
  splitter->setStretchFactor(1, 1);
  splitter->setSizes({500, 100});
  auto* layout = new QVBoxLayout(window);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(splitter);
}

}  // namespace dudorazu::shell
