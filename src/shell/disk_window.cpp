#include "shell/disk_window.h"

#include <QLabel>
#include <QMenu>
#include <QHeaderView>
#include <QPersistentModelIndex>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "core/device/unopened_drives.h"
#include "core/present/display_format.h"
#include "core/present/properties.h"
#include "shell/commands.h"
#include "shell/document_panes.h"
#include "widgets/disk_tree_model.h"
#include "widgets/properties_model.h"
#include "widgets/tree_list_view.h"
#include "widgets/qt_text.h"

namespace dudorazu::shell {

DiskWindow::DiskWindow(DiskCatalogue& catalogue, QWidget* parent) : QWidget(parent), catalogue_(catalogue) {
  setWindowTitle(tr("磁盘文件"));
  diskModel_ = new widgets::DiskTreeModel(this);
  properties_ = new widgets::PropertiesModel(this);
  left_ = new widgets::TreeListView(tr("磁盘"));
  left_->setColumns(diskModel_, widgets::DiskTreeModel::columnWidth);
  right_ = new widgets::TreeListView(tr("属性"));
  right_->setRootIsDecorated(false);
  right_->setColumns(properties_, [](int) { return widgets::PropertiesModel::kColumnWidth; });
  placePanes(this, left_, right_);
  note_ = new QLabel(this);
  note_->setWordWrap(true);
  note_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  note_->setContentsMargins(6, 4, 6, 4);
  note_->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Maximum);
  note_->hide();
  unopened_ = new QTreeWidget(this);
  unopened_->setHeaderLabels({tr("未打开的驱动器"), tr("型号"), tr("大小"), tr("状态")});
  unopened_->setRootIsDecorated(false);
  unopened_->setAccessibleName(tr("未打开的驱动器"));
  unopened_->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Maximum);
  unopened_->hide();
  if (auto* layout = qobject_cast<QVBoxLayout*>(this->layout())) {
    layout->insertWidget(0, note_);
    layout->insertWidget(1, unopened_);
    layout->setStretch(2, 1);
  }
  connect(unopened_, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item) {
    emit unopenedDriveRequested(item->text(0));
  });

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

namespace {
constexpr int kStatusColumn = 3;
}  // namespace

void DiskWindow::listUnopenedDrives(bool asRoot, bool canAskSystem) {
  asRoot_ = asRoot, canAskSystem_ = canAskSystem;
  const std::vector<UnopenedDrive>& drives = catalogue_.unopenedDrives;
  setDriveNote(widgets::coreText(unopenedDrivesDesktopNote(drives, asRoot, canAskSystem)));
  unopened_->clear();
  for (const UnopenedDrive& d : drives) {
    const QString model = QString::fromStdString(d.identity.vendor + " " + d.identity.product).simplified();
    const QString size = d.identity.sizeBytes ? QString::fromStdString(formatSizeLong(d.identity.sizeBytes)) : QString();
    // Only a refusal for want of rights is the system's to lift.
    const QString status = unopenedForWantOfRights({d}) && canAskSystem
                               ? tr("双击请求读取权限")
                               : widgets::coreText(unopenedReasonText(d.error));
    new QTreeWidgetItem(unopened_, {QString::fromStdString(d.devicePath), model, size, status});
  }
  for (int c = 0; c < unopened_->columnCount(); ++c) unopened_->resizeColumnToContents(c);
  // As tall as its rows, so the disks keep the room.
  unopened_->setMaximumHeight(unopened_->header()->sizeHint().height() +
                              unopened_->sizeHintForRow(0) * static_cast<int>(drives.size()) + 2 * unopened_->frameWidth() + 2);
  unopened_->setVisible(!drives.empty());
}

bool DiskWindow::markDriveRequested(const QString& devicePath, bool waiting) {
  for (int r = 0; r < unopened_->topLevelItemCount(); ++r) {
    QTreeWidgetItem* row = unopened_->topLevelItem(r);
    if (row->text(0) != devicePath) continue;
    const QString status = waiting ? tr("正在向系统请求…") : tr("双击请求读取权限");
    if (row->text(kStatusColumn) == status) return false;
    row->setText(kStatusColumn, status);
    return true;
  }
  return false;
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
    command(tr("创建分区镜像文件     Ctrl+Alt+J"), kCreateImage);
    menu_->addAction(tr("提取分区空闲空间     Ctrl+Alt+G"))->setEnabled(false);
    QPersistentModelIndex row = index;
    connect(menu_->addAction(tr("分区扫描")), &QAction::triggered, this,
            [this, row] { emit partitionScanRequested(row); });
  } else {
    QPersistentModelIndex row = index;
    connect(menu_->addAction(tr("扫描丢失分区    Ctrl+Alt+P")), &QAction::triggered, this,
            [this, row] { emit searchRequested(row); });
    command(tr("分区表操作     Ctrl+Alt+O"), kTableOperation);
    QAction* close = menu_->addAction(tr("关闭镜像文件"));
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
