#include "shell/table_operations.h"

#include <QCoreApplication>
#include <QPersistentModelIndex>
#include <QWidget>
#include <memory>

#include "core/common/long_operation.h"
#include "core/device/disk_catalogue.h"
#include "core/tools/mbr_rebuild.h"
#include "core/tools/partition_table_backup.h"
#include "core/tools/partition_table_restore.h"
#include "core/tools/system_disk_guard.h"
#include "core/tools/tool_messages.h"
#include "core/tools/write_questions.h"
#include "shell/rebuild_dialog.h"
#include "shell/user_dialogs.h"
#include "shell/drive_access.h"
#include "shell/operation_runner.h"
#include "widgets/disk_tree_model.h"
#include "widgets/qt_text.h"

namespace dudorazu::shell {
namespace {

QString text(const char* utf8) { return widgets::coreText(utf8); }

// The disk of the current row; a message and none when no row is current.
DiskRecord* chosenDisk(const widgets::DiskTreeModel& disks, const QModelIndex& row, UserDialogs& dialogs,
                       QWidget* parent) {
  DiskRecord* disk = row.isValid() ? disks.diskAt(row) : nullptr;
  if (!disk)
    dialogs.message(parent, QCoreApplication::translate("TableOperations", "没有选择磁盘"), text(kCaptionError));
  return disk;
}

// Table work has no progress window: one or a few sectors, but a failing
// disk may take its time over each.
LongOperation tableOperation(std::function<bool(MessageSink&)> work) {
  return {"", &processMarkers().tables, false,
          [work = std::move(work)](ProgressBlock&, MessageSink& messages, Questions&) { return work(messages); }};
}

bool refusedWhileTableWork(UserDialogs& dialogs, QWidget* parent) {
  DialogMessageSink messages(dialogs, parent);
  return processMarkers().tables.refuse(messages);
}

}  // namespace

void backupTableOf(const widgets::DiskTreeModel& disks, const QModelIndex& row, OperationRunner& runner,
                   UserDialogs& dialogs, QWidget* parent) {
  if (refusedWhileTableWork(dialogs, parent)) return;
  DiskRecord* disk = chosenDisk(disks, row, dialogs, parent);
  if (!disk) return;
  QString path = dialogs.saveFile(parent, text(kImgFilter));
  if (path.isEmpty()) return;
  if (disks.partitionAt(row)) {
    dialogs.message(parent, QCoreApplication::translate("TableOperations", "没有正确选择磁盘"), text(kCaptionError));
    return;
  }
  runner.start(tableOperation([disk, file = path.toStdString()](MessageSink& messages) {
                 return backupPartitionTable(*disk, file, messages) == BackupResult::Written;
               }),
               nullptr);
}

void restoreTableOf(widgets::DiskTreeModel& disks, const QModelIndex& row, OperationRunner& runner,
                    UserDialogs& dialogs, QWidget* parent) {
  if (refusedWhileTableWork(dialogs, parent)) return;
  DiskRecord* disk = chosenDisk(disks, row, dialogs, parent);
  if (!disk) return;
  QString path = dialogs.openFile(parent, text(kImgFilter));
  if (path.isEmpty()) return;
  DialogMessageSink messages(dialogs, parent);
  // A partition row is not the disk a backup names.
  if (disks.partitionAt(row)) {
    messages.show(kMsgBackupMismatch, kCaptionError);
    return;
  }
  std::optional<BackupContents> contents = readBackupFile(path.toStdString());
  if (!contents) {
    messages.show(kMsgBadBackupFile, kCaptionError);
    return;
  }
  if (refuseForeignBackup(*disk, *contents, messages)) return;
  if (diskHasMountedVolume(*disk)) {
    messages.show(kMsgSystemDisk, kCaptionError);
    return;
  }
  if (!contents->offsets.empty()) {
    Question question = restoreQuestion(*disk, *contents, Wording::Chinese);
    if (!dialogs.confirm(parent, widgets::coreText(question.text),
                         QCoreApplication::translate("TableOperations", "分区表恢复")))
      return;
  }
  // The partitions of the restored table join the disk's rows.
  auto added = std::make_shared<size_t>(0);
  auto kept = std::make_shared<BackupContents>(std::move(*contents));
  withWriteAccess(disk->devicePath, dialogs, parent, [&disks, &runner, disk, added, kept] {
    runner.start(tableOperation([disk, added, kept](MessageSink& messages) {
                   if (restoreFromBackup(*disk, *kept, messages) != RestoreResult::Restored) return false;
                   *added = addPartitionsReadBack(*disk);
                   return true;
                 }),
                 nullptr, [&disks, disk, added](const OperationEnd&) {
                   if (*added) disks.refreshPartitions(disks.indexOfDisk(*disk));
                 });
  });
}

void rebuildTableOf(const widgets::DiskTreeModel& disks, const QModelIndex& row, OperationRunner& runner,
                    UserDialogs& dialogs, QWidget* parent) {
  if (refusedWhileTableWork(dialogs, parent)) return;
  DiskRecord* disk = chosenDisk(disks, row, dialogs, parent);
  if (!disk) return;
  if (disks.partitionAt(row)) {
    dialogs.message(parent, QCoreApplication::translate("TableOperations", "请正确选择磁盘"), text(kCaptionError));
    return;
  }
  DialogMessageSink messages(dialogs, parent);
  if (!rebuildAllowed(*disk, messages)) return;
  RebuildDialog dialog(*disk, dialogs, parent);
  QPersistentModelIndex kept(row);
  QObject::connect(&dialog, &RebuildDialog::backupRequested, &dialog,
                   [&, kept] { backupTableOf(disks, kept, runner, dialogs, parent); });
  dialogs.run(dialog);
}

}  // namespace dudorazu::shell
