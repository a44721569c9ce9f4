#include "shell/disk_scans.h"

#include <QWidget>
#include <memory>

#include "core/tools/long_operations.h"
#include "core/tools/upcase_scans.h"
#include "shell/disk_window.h"
#include "shell/partition_search_window.h"
#include "shell/progress_window.h"
#include "shell/user_dialogs.h"
#include "widgets/disk_tree_model.h"
#include "widgets/qt_text.h"

namespace dudorazu::shell {
namespace {

QString text(const char* utf8) { return widgets::coreText(utf8); }

}  // namespace

DiskScans::DiskScans(DiskWindow& disks, UserDialogs& dialogs, QWidget* parent)
    : QObject(parent), disks_(disks), dialogs_(dialogs), parent_(parent), runner_(dialogs, parent) {}

bool DiskScans::refused(const RunningMarker& marker) {
  DialogMessageSink messages(dialogs_, parent_);
  return marker.refuse(messages);
}

DiskRecord* DiskScans::diskOf(const QModelIndex& row) {
  DiskRecord* disk = row.isValid() ? disks_.diskModel()->diskAt(row) : nullptr;
  if (!disk) dialogs_.message(parent_, tr("没有选择磁盘"), text(kCaptionError));
  return disk;
}

void DiskScans::search(const QModelIndex& row) {
  if (refused(processMarkers().search)) return;
  DiskRecord* disk = diskOf(row);
  if (!disk) return;
  SearchDiskDialog dialog(*disk, parent_);
  if (dialogs_.run(dialog)) startSearch(row, dialog.mode(), dialog.heads());
}

bool DiskScans::startSearch(const QModelIndex& row, SearchMode mode, uint8_t heads) {
  if (refused(processMarkers().search)) return false;
  DiskRecord* disk = diskOf(row);
  if (!disk) return false;
  if (!searchWindow_) searchWindow_ = new PartitionSearchWindow(parent_);
  PartitionSearchWindow* window = searchWindow_;
  window->setMode(mode);
  QPersistentModelIndex diskRow = disks_.diskModel()->indexOfDisk(*disk);
  // Rows reach the window through its event queue, ahead of the end.
  auto onFound = [window](const FoundVolume& volume) {
    QMetaObject::invokeMethod(window, [window, volume] { window->addVolume(volume); }, Qt::QueuedConnection);
  };
  LongOperation operation = searchOperation(*disk, mode, heads, onFound);
  operation.marker = &processMarkers().search;
  return runner_.start(std::move(operation), window, [this, window, diskRow](const OperationEnd& end) {
    refreshBranch(diskRow);
    // A search that was not stopped yet ended early could not read the disk.
    using Ending = PartitionSearchWindow::Ending;
    window->finish(end.stopped ? Ending::Stopped : end.succeeded ? Ending::Completed : Ending::Unreadable);
    emit searchFinished();
  });
}

void DiskScans::wholeDiskScan(const QModelIndex& row) {
  if (refused(processMarkers().search)) return;
  if (diskOf(row)) scan(row, nullptr);
}

void DiskScans::partitionScan(const QModelIndex& row) {
  if (refused(processMarkers().partitionScan)) return;
  PartitionRecord* partition = row.isValid() ? disks_.diskModel()->partitionAt(row) : nullptr;
  if (!partition) {
    dialogs_.message(parent_, tr("请选择分区"), text(kCaptionError));
    return;
  }
  scan(row, partition);
}

// Either up-case scan. Where the table stands is said when it was found; a
// scan that was stopped or found nothing says nothing.
void DiskScans::scan(const QModelIndex& row, PartitionRecord* partition) {
  DiskRecord* disk = disks_.diskModel()->diskAt(row);
  ProgressWindow*& window = partition ? partitionProgress_ : diskProgress_;
  const QString title = text(partition ? kTitlePartitionScan : kTitleWholeDiskScan);
  if (!window) window = new ProgressWindow(title, parent_);
  QPersistentModelIndex diskRow = disks_.diskModel()->indexOfDisk(*disk);
  auto found = std::make_shared<uint64_t>(0);
  LongOperation operation = upcaseScanOperation(*disk, partition, *found);
  operation.marker = partition ? &processMarkers().partitionScan : &processMarkers().search;
  runner_.start(std::move(operation), window, [this, partition, title, diskRow, found](const OperationEnd& end) {
    refreshBranch(diskRow);
    if (end.succeeded) dialogs_.message(parent_, widgets::coreText(upcaseFoundText(partition, *found)), title);
    emit scanFinished();
  });
}

// The disk row remembered when the command was given; gone when its image
// was closed meanwhile.
void DiskScans::refreshBranch(const QPersistentModelIndex& diskRow) {
  if (!disks_.refreshDiskRows(diskRow)) dialogs_.message(parent_, tr("此操作执行失败！"), text(kCaptionError));
}

}  // namespace dudorazu::shell
