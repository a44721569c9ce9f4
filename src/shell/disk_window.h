#pragma once
// The first document window, "磁盘文件": every disk with its partitions on
// the left, the properties of the clicked row on the right.
#include <QWidget>

#include "core/device/disk_catalogue.h"

class QLabel;
class QMenu;
class QModelIndex;
class QTreeWidget;

namespace dudorazu::widgets {
class DiskTreeModel;
class PropertiesModel;
class TreeListView;
}  // namespace dudorazu::widgets

namespace dudorazu::shell {

class DiskWindow : public QWidget {
  Q_OBJECT
 public:
  explicit DiskWindow(DiskCatalogue& catalogue, QWidget* parent = nullptr);

  // Adds the rows of a disk appended to the catalogue.
  void fillDiskRows(DiskRecord& disk);
  // Takes a closed image's rows away; the record stays in the catalogue,
  // which only grows.
  void removeImageRows(DiskRecord* disk);
  // Fills the partition rows of a disk row again (expanded); false when
  // `diskRow` is no longer a disk row.
  bool refreshDiskRows(const QModelIndex& diskRow);
  // Opens an image file as one more disk; false when it cannot be read.
  bool openImage(const QString& path);

  // Says above the disks which drives could not be opened and why (hidden
  // when `text` is empty).
  void setDriveNote(const QString& text);
  QLabel* driveNote() const { return note_; }
  // Lists the drives the catalogue could not open (model and size as the
  // system gives them without opening), each to be double-clicked, under a
  // note saying why. `canAskSystem`: the system's disk service is there to
  // be asked for them. Without arguments, lists them again as last said.
  void listUnopenedDrives(bool asRoot, bool canAskSystem);
  void listUnopenedDrives() { listUnopenedDrives(asRoot_, canAskSystem_); }
  // The service turned out to be missing: the note says how to start with
  // the rights instead.
  void forgetDriveService() { listUnopenedDrives(asRoot_, false); }
  QTreeWidget* unopenedList() const { return unopened_; }
  // Marks the row of `devicePath` as waiting for the system's answer (or no
  // longer); false when it already waits or is not listed.
  bool markDriveRequested(const QString& devicePath, bool waiting);

  widgets::TreeListView* diskTree() const { return left_; }
  widgets::TreeListView* propertiesView() const { return right_; }
  widgets::DiskTreeModel* diskModel() const { return diskModel_; }
  // The context menu for the row (143 for a disk, 144 for a partition).
  QMenu* contextMenuFor(const QModelIndex& index);

 signals:
  void openPartitionRequested(DiskRecord* disk, PartitionRecord* partition);
  // The search tools of the context menus, for the clicked row.
  void searchRequested(const QModelIndex& row);
  void partitionScanRequested(const QModelIndex& row);
  // A main-window command (shell/commands.h) from a row's menu, for the row
  // made current.
  void commandRequested(int command);
  // "关闭镜像文件" on an image's row.
  void closeImageRequested(DiskRecord* disk);
  // A row of the drives not opened yet was double-clicked.
  void unopenedDriveRequested(const QString& devicePath);

 private:
  void showProperties(const QModelIndex& index);
  void activateRow(const QModelIndex& index);


  DiskCatalogue& catalogue_;
  widgets::TreeListView* left_;
  widgets::TreeListView* right_;
  widgets::DiskTreeModel* diskModel_;
  widgets::PropertiesModel* properties_;
  QLabel* note_;
  QTreeWidget* unopened_;
  bool asRoot_ = false, canAskSystem_ = false;
  QMenu* menu_ = nullptr;
};

}  // namespace dudorazu::shell
