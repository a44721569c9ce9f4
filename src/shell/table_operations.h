#pragma once
// The partition table backup, restore and rebuild of the disk clicked in the disk
// window, with their file choosers, questions and messages through the
// dialog seam.
class QModelIndex;
class QWidget;

namespace dudorazu::widgets {
class DiskTreeModel;
}

namespace dudorazu::shell {

class OperationRunner;
class UserDialogs;

inline constexpr const char* kImgFilter = "Img files(*.img);;All files(*)";

// A backup or restore reads and writes on `runner`: a failing disk may take
// its time over each sector, and the window must not wait for it. Its
// messages are shown once it has ended. While one runs (the program's
// tables marker) a second is refused, and so is a rebuild.

// `row` is the disk tree's current row (invalid when none is).
void backupTableOf(const widgets::DiskTreeModel& disks, const QModelIndex& row, OperationRunner& runner,
                   UserDialogs& dialogs, QWidget* parent);
// Nothing is written before the file is read, vouched for this disk and
// the user has agreed to the sectors it names. Partitions the restored table
// lists that the disk did not are added to its rows.
void restoreTableOf(widgets::DiskTreeModel& disks, const QModelIndex& row, OperationRunner& runner,
                    UserDialogs& dialogs, QWidget* parent);

// The rebuild dialog for the disk of `row`; the system disk is refused
// before it opens.
void rebuildTableOf(const widgets::DiskTreeModel& disks, const QModelIndex& row, OperationRunner& runner,
                    UserDialogs& dialogs, QWidget* parent);

}  // namespace dudorazu::shell
