#pragma once
// A partition's document window: its folder tree on the left (loaded by the
// runner behind "展开分区文件"), the clicked folder's files on the right.
#include <QWidget>
#include <functional>

#include "core/device/disk_record.h"
#include "core/exfat/loaded_volume.h"
#include "core/exfat/subtree_tally.h"
#include "core/recovery/record_search.h"
#include "core/common/long_operation.h"
#include "core/recovery/save_commands.h"
#include "shell/operation_runner.h"

class QMenu;
class QModelIndex;

namespace dudorazu::widgets {
class FileListModel;
class FileListView;
class FolderTreeModel;
class TreeListView;
}  // namespace dudorazu::widgets

namespace dudorazu::shell {

class ProgressWindow;
class SearchResults;
class UserDialogs;

class PartitionWindow : public QWidget {
  Q_OBJECT
 public:
  PartitionWindow(DiskRecord& disk, PartitionRecord& partition, UserDialogs& dialogs, QWidget* parent = nullptr);
  ~PartitionWindow() override;

  // The disk's display name followed by the partition text: one window per key.
  static QString keyOf(const DiskRecord& disk, const PartitionRecord& partition);
  QString key() const { return key_; }
  // What the window last put in the status bar's totals pane.
  QString status() const { return status_; }
  const DiskRecord& disk() const { return disk_; }
  const PartitionRecord& partition() const { return volume_.partition; }

  // Loads the tree again (refused while an operation runs).
  void reload();
  // File statistics of the left pane's selected row, by the runner (one at a
  // time in the whole program), and of the right pane's selected row at once.
  void leftStatistics();
  void rightStatistics();
  // F5 / F4: the top row and every listed row.
  void markAll(uint8_t mark);
  // The find dialog, then a search of the loaded records by the runner; the
  // hits are listed in the results window.
  void find();
  void search(const SearchCriteria& criteria);
  // Shows `record` in its folder: the folder selected on the left, the
  // record's row on the right.
  void showRecord(ExfatFileRecord* record);
  // A single save of the selected row, and a batch save of the ticked rows
  // of a pane (the main menu's act on the left pane). Each asks for the
  // target folder, tests its room and saves on the scheduler's threads;
  // a batch's marks go for each job that saved everything whole. The end
  // is told in a message that names each file not saved whole.
  void singleSave(SaveOrigin origin);
  void batchSave(SaveOrigin origin);
  // A batch save of the ticked hits of the results window.
  void saveHits();
  SaveScheduler& saves() { return saves_; }
  ProgressWindow* saveProgressWindow() const { return saveProgress_; }
  ProgressWindow* singleSaveProgressWindow() const { return singleProgress_; }
  // The lost-file scan, from the main menu or from the top row's menu (each
  // route with its own refusals).
  void lostFileScan(bool fromPaneMenu);
  // An operation of this window runs.
  bool loading() const { return markers_.busy.running(); }
  // What runs in the window, by its progress windows' titles.
  QStringList runningTitles() const { return runner_.runningTitles(); }
  // A close that stops running work asks first, unless the user already
  // agreed (the program's exit asks once for every window).
  void agreeToStop() { stopAgreed_ = true; }
  bool stopAgreed() const { return stopAgreed_; }
  // A tree load or a lost-file scan fills the left pane.
  bool viewLoading() const { return markers_.loading.running(); }

  widgets::TreeListView* folderTree() const { return left_; }
  widgets::FileListView* fileList() const { return right_; }
  widgets::FolderTreeModel* folderModel() const { return folders_; }
  widgets::FileListModel* fileModel() const { return files_; }
  ProgressWindow* progressWindow() const { return progress_; }
  ProgressWindow* scanProgressWindow() const { return scanProgress_; }
  SearchResults* searchResults() const { return results_; }
  QMenu* contextMenuFor(const QModelIndex& index);
  // Shows `folder` on the right as a click on its left row does.
  void showFolder(const QModelIndex& leftRow);

 signals:
  void statusText(const QString& text);
  void loadFinished();
  void scanFinished();
  void searchFinished();
  // The text of a finished statistics count.
  void statistics(const QString& text);
  // "本次保存 ... Byte" of a batch that starts.
  void saveTotal(const QString& text);
  // A save has ended and its report was shown.
  void saveFinished(const QString& report);

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void startLoad();
  void startScan();
  void fillTree(ProgressWindow* window, bool scan, LongOperation operation);
  // The records are about to be emptied: no pane may point at them.
  void dropRows();
  void showTree(std::vector<ExfatFileRecord*> roots);
  void openRow(const QModelIndex& index);
  // A row's mark given on the right or in the search results.
  void syncCheck(ExfatFileRecord* record);
  void folderMarkToggled(ExfatFileRecord* folder);
  void marksChanged();
  QMenu* fileMenuFor(const QModelIndex& index);
  void addSaveActions(QMenu* menu, SaveOrigin origin);
  bool askDestination(std::string& destination, MessageSink& messages);
  void startBatch(const std::vector<ExfatFileRecord*>& marked, const std::string& destination, SaveOrigin origin);
  void clearMarks(const std::vector<ExfatFileRecord*>& records);

  DiskRecord& disk_;
  // What the load or scan read; every member after it (the runner, the
  // saves) ends before it, so no worker outlives the records it uses.
  LoadedVolume volume_;
  UserDialogs& dialogs_;
  QString key_;
  QString status_;
  // busy: any operation of the window runs; loading: a load or a scan
  // fills the left pane.
  PaneMarkers markers_;
  // Set from a save's start until its finishing step has run here; the
  // refusals are worded by the save commands.
  RunningMarker savingSingle_{RunningMarker::Kind::Flag, kWaitForSave, kCaptionError};
  RunningMarker savingBatch_{RunningMarker::Kind::Flag, kWaitForOperation, kCaptionError};
  // Ends (waiting for its jobs) before the child progress windows whose
  // blocks the jobs report to.
  SaveScheduler saves_;
  SubtreeTally totals_;
  widgets::TreeListView* left_;
  widgets::FileListView* right_;
  widgets::FolderTreeModel* folders_;
  widgets::FileListModel* files_;
  ProgressWindow* progress_;
  ProgressWindow* scanProgress_ = nullptr;
  ProgressWindow* saveProgress_ = nullptr;
  ProgressWindow* singleProgress_ = nullptr;
  SearchResults* results_;
  QMenu* menu_ = nullptr;
  uint8_t shownMark_ = 0;
  bool topShown_ = false;
  bool stopAgreed_ = false;
  // Last: its runs end, or are told the window went, before anything they
  // point at goes.
  OperationRunner runner_;
};

}  // namespace dudorazu::shell
