#include <QMenu>

#include "shell/partition_window.h"
#include "widgets/folder_tree_model.h"

// The context menus of the two panes.
namespace dudorazu::shell {

void PartitionWindow::addSaveActions(QMenu* menu, SaveOrigin origin) {
  connect(menu->addAction(tr("保存当前选中文件     Ctrl+Alt+R")), &QAction::triggered, this,
          [this, origin] { singleSave(origin); });
  connect(menu->addAction(tr("保存打勾文件         Ctrl+S")), &QAction::triggered, this,
          [this, origin] { batchSave(origin); });
}

QMenu* PartitionWindow::contextMenuFor(const QModelIndex& index) {
  if (!index.isValid()) return nullptr;
  delete menu_;
  menu_ = new QMenu(this);
  if (folders_->isTop(index)) {
    connect(menu_->addAction(tr("扫描丢失文件     Ctrl+L")), &QAction::triggered, this, [this] { lostFileScan(true); });
  } else {
    addSaveActions(menu_, SaveOrigin::LeftPane);
    connect(menu_->addAction(tr("文件大小统计         Ctrl+Alt+A")), &QAction::triggered, this,
            &PartitionWindow::leftStatistics);
  }
  return menu_;
}

QMenu* PartitionWindow::fileMenuFor(const QModelIndex& index) {
  if (!index.isValid()) return nullptr;
  delete menu_;
  menu_ = new QMenu(this);
  addSaveActions(menu_, SaveOrigin::RightPane);
  connect(menu_->addAction(tr("文件大小统计         Ctrl+Alt+A")), &QAction::triggered, this,
          &PartitionWindow::rightStatistics);
  return menu_;
}

}  // namespace dudorazu::shell
