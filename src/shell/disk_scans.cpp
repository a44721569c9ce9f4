#include "shell/disk_scans.h"

#include <QWidget>
#include <memory>

#include "core/common/long_operation.h"
#include "core/device/sector_device.h"
#include "core/tools/upcase_scans.h"
#include "shell/disk_window.h"
#include "shell/partition_search_window.h"
#include "shell/progress_window.h"
#include "shell/user_dialogs.h"
#include "widgets/disk_tree_model.h"

namespace dudorazu::shell {
namespace {

QString text(const char* utf8) { return QString::fromUtf8(utf8); }

}  // namespace

DiskScans::DiskScans(DiskWindow& disks, UserDialogs& dialogs, QWidget* parent)
    : QObject(parent), disks_(disks), dialogs_(dialogs), parent_(parent) {}

bool DiskScans::refused(const RunningMarker& marker) { return refusedWhileRunning(marker.running(), dialogs_, parent_); }

DiskRecord* DiskScans::diskOf(const QModelIndex& row) {
  DiskRecord* disk = row.isValid() ? disks_.diskModel()->diskAt(row) : nullptr;
  if (!disk) dialogs_.message(parent_, QStringLiteral("没有选择磁盘"), text(kCaptionError));
  return disk;
}

void DiskScans::search(const QModelIndex& row) {
  if (refused(searching_)) return;
  DiskRecord* disk = diskOf(row);
  if (!disk) return;
  SearchDiskDialog dialog(*disk, parent_);
  if (dialogs_.run(dialog)) startSearch(row, dialog.mode(), dialog.heads());
}

bool DiskScans::startSearch(const QModelIndex& row, SearchMode mode, uint8_t heads) {
  if (refused(searching_)) return false;
  DiskRecord* disk = diskOf(row);
  if (!disk) return false;
  if (!searchWindow_) searchWindow_ = new PartitionSearchWindow(parent_);
  PartitionSearchWindow* window = searchWindow_;
  window->begin(mode);
  ProgressBlock* block = &window->block();
  QPersistentModelIndex diskRow = disks_.diskModel()->indexOfDisk(*disk);
  // Rows reach the window through its event queue, ahead of the end.
  auto onFound = [window](const FoundVolume& volume) {
    QMetaObject::invokeMethod(window, [window, volume] { window->addVolume(volume); }, Qt::QueuedConnection);
  };
  // A search that was not stopped yet ended early could not read the disk.
  auto completed = std::make_shared<bool>(false);
  return startWorker(
      searching_, this,
      [disk, mode, heads, block, onFound, completed] {
        *completed = searchPartitions(*disk, mode, heads, *block, onFound);
      },
      [this, window, block, diskRow, completed] {
        refreshBranch(diskRow);
        using Ending = PartitionSearchWindow::Ending;
        window->finish(block->cancelled() ? Ending::Stopped : *completed ? Ending::Completed : Ending::Unreadable);
        emit searchFinished();
      });
}

void DiskScans::wholeDiskScan(const QModelIndex& row) {
  if (refused(searching_)) return;
  if (diskOf(row)) scan(row, nullptr);
}

void DiskScans::partitionScan(const QModelIndex& row) {
  if (refused(scanningPartition_)) return;
  PartitionRecord* partition = row.isValid() ? disks_.diskModel()->partitionAt(row) : nullptr;
  if (!partition) {
    dialogs_.message(parent_, QStringLiteral("请选择分区"), text(kCaptionError));
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
  window->begin();
  ProgressBlock* block = &window->block();
  QPersistentModelIndex diskRow = disks_.diskModel()->indexOfDisk(*disk);
  auto found = std::make_shared<uint64_t>(UINT64_MAX);
  startWorker(
      partition ? scanningPartition_ : searching_, this,
      [disk, partition, block, found] {
        uint64_t sector = 0;
        if (partition ? scanPartition(*disk, *partition, *block, &sector) : scanWholeDisk(*disk, *block, &sector))
          *found = sector;
      },
      [this, window, partition, title, diskRow, found] {
        refreshBranch(diskRow);
        window->finish();
        if (*found != UINT64_MAX) {
          QString where = QStringLiteral("找到 exFAT 大写转换表：磁盘第 %1 扇区").arg(*found);
          if (partition)
            where += QStringLiteral("（分区内第 %1 扇区）").arg(*found - partition->startOffset() / kSectorSize);
          dialogs_.message(parent_, where, title);
        }
        emit scanFinished();
      });
}

// The disk row remembered when the command was given; gone when its image
// was closed meanwhile.
void DiskScans::refreshBranch(const QPersistentModelIndex& diskRow) {
  if (!disks_.refreshDiskRows(diskRow)) dialogs_.message(parent_, QStringLiteral("此操作执行失败！"), text(kCaptionError));
}

}  // namespace dudorazu::shell
