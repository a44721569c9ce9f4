#include "shell/disk_window.h"

#include <QLabel>
#include <QMenu>
#include <QPersistentModelIndex>
#include <QVBoxLayout>

#include "core/present/properties.h"
#include "shell/commands.h"
#include "shell/document_panes.h"
#include "widgets/disk_tree_model.h"
#include "widgets/properties_model.h"
#include "widgets/tree_list_view.h"

namespace dudorazu::shell {

DiskWindow::DiskWindow(DiskCatalogue& catalogue, QWidget* parent) : QWidget(parent), catalogue_(catalogue) {
  setWindowTitle(QStringLiteral("磁盘文件"));
  diskModel_ = new widgets::DiskTreeModel(this);
  properties_ = new widgets::PropertiesModel(this);
  left_ = new widgets::TreeListView(QStringLiteral("磁盘"));
  left_->setColumns(diskModel_, widgets::DiskTreeModel::columnWidth);
  right_ = new widgets::TreeListView(QStringLiteral("属性"));
  right_->setRootIsDecorated(false);
  right_->setColumns(properties_, [](int) { return widgets::PropertiesModel::kColumnWidth; });
  placePanes(this, left_, right_);
  note_ = new QLabel(this);
  note_->setWordWrap(true);
  note_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  note_->setContentsMargins(6, 4, 6, 4);
  note_->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Maximum);
  note_->hide();
  if (auto* layout = qobject_cast<QVBoxLayout*>(this->layout())) {
    layout->insertWidget(0, note_);
    layout->setStretch(1, 1);
  }

  for (DiskRecord& disk : catalogue_.disks) fillDiskRows(disk);
  connect(left_, &QAbstractItemView::clicked, this, &DiskWindow::showProperties);
  connect(left_, &QAbstractItemView::doubleClicked, this, &DiskWindow::activateRow);
  connect(left_, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
    QModelIndex index = left_->indexAt(at);
    if (QMenu* menu = contextMenuFor(index)) menu->popup(left_->viewport()->mapToGlobal(at));
  });
}

void DiskWindow::setDriveNote(const QString& text) {
  note_->setText(text);
  note_->setAccessibleName(text);
  note_->setVisible(!text.isEmpty());
}

void DiskWindow::fillDiskRows(DiskRecord& disk) {
  diskModel_->fillDiskRows(disk);
  left_->expand(diskModel_->indexOfDisk(disk));
  left_->fitColumns();
  refitPanes(this);
}

bool DiskWindow::refreshDiskRows(const QModelIndex& diskRow) {
  if (!diskModel_->refreshPartitions(diskRow)) return false;
  left_->expand(diskRow.siblingAtColumn(0));
  left_->fitColumns();
  refitPanes(this);
  return true;
}

bool DiskWindow::openImage(const QString& path) {
  if (!openImageAsDisk(catalogue_, path.toStdString())) return false;
  fillDiskRows(catalogue_.disks.back());
  return true;
}

void DiskWindow::showProperties(const QModelIndex& index) {
  DiskRecord* disk = diskModel_->diskAt(index);
  if (!disk) return;
  PartitionRecord* partition = diskModel_->partitionAt(index);
  properties_->setRows(partition ? partitionProperties(*disk, *partition) : diskProperties(*disk));
  right_->fitColumns();
}

void DiskWindow::activateRow(const QModelIndex& index) {
  PartitionRecord* partition = diskModel_->partitionAt(index);
  if (partition) emit openPartitionRequested(diskModel_->diskAt(index), partition);
}

// Tools of later work stand in the menus disabled until they exist.
QMenu* DiskWindow::contextMenuFor(const QModelIndex& index) {
  DiskRecord* disk = diskModel_->diskAt(index);
  if (!disk) return nullptr;
  delete menu_;
  menu_ = new QMenu(this);
  auto command = [this, index](const QString& text, CommandId id) {
    connect(menu_->addAction(text), &QAction::triggered, this, [this, index, id] {
      left_->setCurrentIndex(index);
      emit commandRequested(id);
    });
  };
  if (diskModel_->partitionAt(index)) {
    command(QStringLiteral("创建分区镜像文件     Ctrl+Alt+J"), kCreateImage);
    menu_->addAction(QStringLiteral("提取分区空闲空间     Ctrl+Alt+G"))->setEnabled(false);
    QPersistentModelIndex row = index;
    connect(menu_->addAction(QStringLiteral("分区扫描")), &QAction::triggered, this,
            [this, row] { emit partitionScanRequested(row); });
  } else {
    QPersistentModelIndex row = index;
    connect(menu_->addAction(QStringLiteral("扫描丢失分区    Ctrl+Alt+P")), &QAction::triggered, this,
            [this, row] { emit searchRequested(row); });
    command(QStringLiteral("分区表操作     Ctrl+Alt+O"), kTableOperation);
    QAction* close = menu_->addAction(QStringLiteral("关闭镜像文件"));
    close->setEnabled(!isPhysicalDrive(*disk));
    connect(close, &QAction::triggered, this, [this, disk] { emit closeImageRequested(disk); });
  }
  return menu_;
}

void DiskWindow::removeImageRows(DiskRecord* disk) {
  diskModel_->removeDisk(*disk);
  properties_->setRows({});
}

}  // namespace dudorazu::shell
