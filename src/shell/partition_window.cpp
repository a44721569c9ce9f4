#include "shell/partition_window.h"

#include <QCloseEvent>
#include <QMenu>
#include <QPointer>

#include "core/device/map_limited_device.h"
#include "core/present/statistics.h"
#include "shell/document_panes.h"
#include "shell/progress_window.h"
#include "shell/search_results.h"
#include "shell/user_dialogs.h"
#include "widgets/file_list_model.h"
#include "widgets/file_list_view.h"
#include "widgets/folder_tree_model.h"
#include "widgets/qt_text.h"
#include "widgets/tree_list_view.h"

// Construction, navigation between the panes, and closing. The operations,
// the marks and the menus have files of their own beside this one.
namespace dudorazu::shell {

using widgets::FileListModel;
using widgets::FolderTreeModel;

QString PartitionWindow::keyOf(const DiskRecord& disk, const PartitionRecord& partition) {
  return QString::fromStdString(displayName(disk) + partitionText(partition));
}

PartitionWindow::PartitionWindow(DiskRecord& disk, PartitionRecord& partition, UserDialogs& dialogs, QWidget* parent)
    : QWidget(parent),
      disk_(disk),
      volume_(partition),
      dialogs_(dialogs),
      key_(keyOf(disk, partition)),
      runner_(dialogs, this, &markers_.busy) {
  QString title = widgets::qtText(partitionText(partition));
  setWindowTitle(title);
  connect(this, &PartitionWindow::statusText, this, [this](const QString& text) { status_ = text; });
  folders_ = new FolderTreeModel(title, this);
  files_ = new FileListModel(this);
  left_ = new widgets::TreeListView(tr("磁盘分区"));
  left_->setColumns(folders_, FolderTreeModel::columnWidth);
  right_ = new widgets::FileListView(tr("文件"));
  right_->setFileModel(files_);
  placePanes(this, left_, right_);
  progress_ = new ProgressWindow(widgets::coreText(kTitleExpandPartition), this);
  results_ = new SearchResults(this);
  connect(results_, &SearchResults::showRequested, this, &PartitionWindow::showRecord);
  connect(results_, &SearchResults::markToggled, this, &PartitionWindow::syncCheck);
  connect(results_, &SearchResults::saveRequested, this, &PartitionWindow::saveHits);

  connect(left_, &QAbstractItemView::clicked, this, &PartitionWindow::showFolder);
  connect(right_, &QAbstractItemView::doubleClicked, this, &PartitionWindow::openRow);
  connect(files_, &FileListModel::markToggled, this, &PartitionWindow::syncCheck);
  connect(folders_, &FolderTreeModel::markToggled, this, &PartitionWindow::folderMarkToggled);
  connect(left_, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
    if (QMenu* menu = contextMenuFor(left_->indexAt(at))) menu->popup(left_->viewport()->mapToGlobal(at));
  });
  connect(right_, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
    if (QMenu* menu = fileMenuFor(right_->indexAt(at))) menu->popup(right_->viewport()->mapToGlobal(at));
  });
  // An image read with its rescue map: the areas the map does not call
  // copied are unreadable for every file's state.
  volume_.unreadableGiven = unreadableByMap(disk.devicePath, disk.diskSize);
  startLoad();
}

// The panes are children, deleted after the members: none may still point
// into the volume's records once it is gone.
PartitionWindow::~PartitionWindow() { dropRows(); }

// A load or scan fills the records until it ends: no row may point into them.
void PartitionWindow::dropRows() {
  folders_->setRoot(nullptr);
  files_->clear();
  results_->forget();
  topShown_ = false;
}

void PartitionWindow::showTree(std::vector<ExfatFileRecord*> roots) {
  folders_->setRoots(std::move(roots));
  left_->expand(folders_->topIndex());
  for (ExfatFileRecord* root : folders_->roots()) left_->expand(folders_->indexOf(root));
  refitPanes(this);
  // A mark given to the top row while the run owned the records went nowhere.
  marksChanged();
}

void PartitionWindow::showRecord(ExfatFileRecord* record) {
  if (!record || !record->parent || markers_.busy.running()) return;
  QModelIndex leftRow = folders_->indexOf(record->parent);
  if (!leftRow.isValid()) return;
  for (QModelIndex up = leftRow.parent(); up.isValid(); up = up.parent()) left_->expand(up);
  left_->setCurrentIndex(leftRow);
  left_->scrollTo(leftRow);
  showFolder(leftRow);
  QModelIndex row = files_->indexOfRecord(record);
  right_->setCurrentIndex(row);
  right_->scrollTo(row);
  window()->activateWindow();
}

void PartitionWindow::showFolder(const QModelIndex& leftRow) {
  if (!leftRow.isValid() || !folders_->root()) return;
  ExfatFileRecord* folder = folders_->recordAt(leftRow);
  topShown_ = folder == nullptr;
  files_->setClusterBytes(volume_.clusterBytes());
  if (topShown_) files_->showRecords(folders_->roots(), folders_->topMark());
  else files_->showFolder(folder, folder->checkState);
  right_->fitColumns();
  refitPanes(this);
  emit statusText(widgets::coreText(folderStatusText(totals_.bytes, totals_.folders, totals_.files)));
}

// A double click on a folder row opens that folder as its left row would.
void PartitionWindow::openRow(const QModelIndex& index) {
  ExfatFileRecord* record = files_->recordAt(index);
  if (!record || !record->isFolder()) return;
  QModelIndex leftRow = folders_->indexOf(record);
  if (!leftRow.isValid()) return;
  for (QModelIndex up = leftRow.parent(); up.isValid(); up = up.parent()) left_->expand(up);
  left_->expand(leftRow);
  left_->setCurrentIndex(leftRow);
  showFolder(leftRow);
}

// The one closing rule: a tab closed while its operations run asks the user,
// then asks them to stop and goes (through the frame around it, when it has one) once they
// have ended; a closed window releases the partition's loaded records.
void PartitionWindow::closeEvent(QCloseEvent* event) {
  if (runner_.running() && !stopAgreed_) {
    if (!dialogs_.confirm(this, stopQuestion(runner_.runningTitles(), tr("关闭"), tr("要关闭这个分区窗口吗?")),
                          applicationTitle())) {
      event->ignore();
      return;
    }
    stopAgreed_ = true;
  }
  QPointer<QWidget> frame = parentWidget() ? parentWidget() : this;
  if (!runner_.closeWhenIdle([frame] {
        if (frame) frame->close();
      })) {
    event->ignore();
    return;
  }
  dropRows();
  OperationRunner::releaseElsewhere(volume_.takeRecords());
  volume_.emptyResults();
  event->accept();
}

}  // namespace dudorazu::shell
