#include "shell/partition_window.h"

#include <QCloseEvent>
#include <QMenu>
#include <QPointer>
#include <memory>
#include <mutex>
#include <optional>

#include "core/recovery/check_marks.h"
#include "core/present/statistics.h"
#include "core/recovery/record_search.h"
#include "core/recovery/save_report.h"
#include "core/tools/long_operations.h"
#include "shell/document_panes.h"
#include "shell/find_dialog.h"
#include "shell/progress_window.h"
#include "shell/save_dialog.h"
#include "shell/search_results.h"
#include "shell/user_dialogs.h"
#include "widgets/file_list_model.h"
#include "widgets/file_list_view.h"
#include "widgets/folder_tree_model.h"
#include "widgets/qt_text.h"
#include "widgets/tree_list_view.h"

namespace dudorazu::shell {
namespace {

ExfatFileRecord* recordOf(uint64_t rowId) { return reinterpret_cast<ExfatFileRecord*>(static_cast<uintptr_t>(rowId)); }
uint64_t rowIdOf(const ExfatFileRecord* record) { return reinterpret_cast<uintptr_t>(record); }

// A record's row as the save commands see it; the children of a partly
// marked folder are its files as well as its folders, so a ticked file in
// it is saved.
CheckRow checkRowOf(const ExfatFileRecord& record) {
  CheckRow row;
  row.check = record.checkState;
  row.rowId = rowIdOf(&record);
  if (record.checkState == kPartlyChecked)
    for (const ExfatFileRecord& child : record.children) row.children.push_back(checkRowOf(child));
  return row;
}

std::vector<CheckRow> checkRowsOf(const std::vector<ExfatFileRecord*>& records) {
  std::vector<CheckRow> rows;
  for (const ExfatFileRecord* record : records) {
    rows.emplace_back();
    rows.back().check = record->checkState;
    rows.back().rowId = rowIdOf(record);
  }
  return rows;
}

// What the jobs of one save said, gathered on their threads.
struct SaveOutcome {
  std::mutex mutex;
  std::vector<std::string> problems;
  SaveTotals totals;
  bool succeeded = false;
  SaveJobOptions options(const std::shared_ptr<SaveOutcome>& self) {
    SaveJobOptions o;
    o.onFile = [self](const SavedFile& file) {
      std::string line = savedFileProblem(file);
      if (line.empty()) return;
      std::lock_guard<std::mutex> lock(self->mutex);
      self->problems.push_back(std::move(line));
    };
    return o;
  }
};

}  // namespace

using widgets::FileListModel;
using widgets::FolderTreeModel;

QString PartitionWindow::keyOf(const DiskRecord& disk, const PartitionRecord& partition) {
  return QString::fromStdString(displayName(disk) + partitionText(partition));
}

PartitionWindow::PartitionWindow(DiskRecord& disk, PartitionRecord& partition, UserDialogs& dialogs, QWidget* parent)
    : QWidget(parent),
      disk_(disk),
      partition_(partition),
      dialogs_(dialogs),
      key_(keyOf(disk, partition)),
      runner_(dialogs, this, &markers_.busy) {
  QString title = widgets::qtText(partitionText(partition));
  setWindowTitle(title);
  folders_ = new FolderTreeModel(title, this);
  files_ = new FileListModel(this);
  left_ = new widgets::TreeListView(QStringLiteral("磁盘分区"));
  left_->setColumns(folders_, FolderTreeModel::columnWidth);
  right_ = new widgets::FileListView(QStringLiteral("文件"));
  right_->setFileModel(files_);
  placePanes(this, left_, right_);
  progress_ = new ProgressWindow(QString::fromUtf8(kTitleExpandPartition), this);
  results_ = new SearchResults(this);
  connect(results_, &SearchResults::showRequested, this, &PartitionWindow::showRecord);
  connect(results_, &SearchResults::markToggled, this, &PartitionWindow::hitMarkToggled);
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
  startLoad();
}

PartitionWindow::~PartitionWindow() = default;

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
}

void PartitionWindow::startLoad() { fillTree(progress_, false, treeLoadOperation(disk_, partition_)); }

// A tree load or a lost-file scan: the run fills the records behind its
// progress window. After a scan, found folders stand under the root
// folder's row and carved files under the row of the extended folder.
void PartitionWindow::fillTree(ProgressWindow* window, bool scan, LongOperation operation) {
  // The callers refuse while anything runs: the records are in use then.
  if (markers_.busy.running()) return;
  dropRows();
  // The folder totals are counted while the records are the run's alone.
  auto totals = std::make_shared<SubtreeTally>();
  operation.run = [run = std::move(operation.run), scan, totals, root = &partition_.rootRecord](
                      ProgressBlock& block, MessageSink& messages, Questions& questions) {
    bool done = run(block, messages, questions);
    if (scan) block.setText("正在分析文件，请稍后！");
    else *totals = tallySubtree(root);
    return done;
  };
  operation.marker = &markers_.loading;
  runner_.start(std::move(operation), window, [this, scan, totals](const OperationEnd&) {
    if (scan) {
      showTree({&partition_.rootRecord, &partition_.extendedRecord});
    } else {
      totals_ = *totals;
      showTree({&partition_.rootRecord});
    }
    if (scan) emit scanFinished();
    else emit loadFinished();
  });
}

void PartitionWindow::reload() {
  DialogMessageSink messages(dialogs_, this);
  if (markers_.busy.refuse(messages)) return;
  startLoad();
}

// The main menu's route asks about a running operation first, the top row's
// menu about a running load or scan first.
void PartitionWindow::lostFileScan(bool fromPaneMenu) {
  const QString error = QString::fromUtf8(kCaptionError);
  const bool filling = markers_.loading.running(), busy = markers_.busy.running();
  if (fromPaneMenu) {
    if (filling) return dialogs_.message(this, QString::fromUtf8(kWaitForThisOperation), QString::fromUtf8(kCaptionWaiting));
    totals_ = {};
    if (busy) return dialogs_.message(this, QString::fromUtf8(kWaitForCurrentOperation), error);
  } else {
    if (busy) return dialogs_.message(this, QString::fromUtf8(kWaitForCurrentOperationPlease), error);
    if (filling) return dialogs_.message(this, QString::fromUtf8(kWaitForThisOperation), error);
  }
  startScan();
}

void PartitionWindow::startScan() {
  if (!scanProgress_) scanProgress_ = new ProgressWindow(QString::fromUtf8(kTitleLostFileScan), this);
  fillTree(scanProgress_, true, lostFileScanOperation(disk_, partition_));
}

void PartitionWindow::find() {
  FindDialog dialog(this);
  if (dialogs_.run(dialog)) search(dialog.criteria());
}

// Refused while a load, a scan or a count runs; a window whose load was
// stopped searches what it shows. The search counts as busy, so no reload
// or scan empties the records it walks.
void PartitionWindow::search(const SearchCriteria& criteria) {
  DialogMessageSink messages(dialogs_, this);
  if (markers_.busy.refuse(messages)) return;
  if (!folders_->root()) return;
  auto hits = std::make_shared<std::vector<ExfatFileRecord*>>();
  runner_.start(recordSearchOperation(folders_->roots(), criteria, *hits), nullptr,
                [this, hits](const OperationEnd&) {
                  results_->showHits(std::move(*hits));
                  emit searchFinished();
                });
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

// A hit ticked in the results: what it holds and the folders above it follow.
void PartitionWindow::hitMarkToggled(ExfatFileRecord* record) {
  if (record->isFolder()) markSubtree(*record, record->checkState);
  markAncestors(*record);
  folders_->setTopMark(partition_.rootRecord.checkState);
  marksChanged();
}

void PartitionWindow::showFolder(const QModelIndex& leftRow) {
  if (!leftRow.isValid() || !folders_->root()) return;
  ExfatFileRecord* folder = folders_->recordAt(leftRow);
  topShown_ = folder == nullptr;
  if (topShown_) files_->showRecords(folders_->roots(), folders_->topMark());
  else files_->showFolder(folder, folder->checkState);
  right_->fitColumns();
  emit statusText(widgets::qtText(folderStatusText(totals_.bytes, totals_.folders, totals_.files)));
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

// A row's mark changed on the right: what the row holds takes the mark, the
// shown folder's row takes the mark of all its listed rows, and each folder
// above it the mark of its children.
void PartitionWindow::syncCheck(ExfatFileRecord* record) {
  if (record->isFolder()) markSubtree(*record, record->checkState);
  if (topShown_) {
    folders_->setTopMark(files_->folderMark());
  } else if (ExfatFileRecord* shown = files_->shownFolder()) {
    shown->checkState = files_->folderMark();
    markAncestors(*shown);
    folders_->setTopMark(partition_.rootRecord.checkState);
  }
  marksChanged();
}

// A mark given on the left passes down to everything below the row (and to
// the rows shown on the right), and up to the folders above it.
void PartitionWindow::folderMarkToggled(ExfatFileRecord* folder) {
  ExfatFileRecord& changed = folder ? *folder : partition_.rootRecord;
  uint8_t mark = folder ? folder->checkState : folders_->topMark();
  changed.checkState = mark;
  markSubtree(changed, mark);
  markAncestors(changed);
  // The top row holds the carved files too, once a scan has listed them.
  if (!folder && folders_->roots().size() > 1) {
    partition_.extendedRecord.checkState = mark;
    markSubtree(partition_.extendedRecord, mark);
  }
  if (folder) folders_->setTopMark(partition_.rootRecord.checkState);
  if (folder ? files_->shownFolder() == folder : topShown_) files_->setFolderMark(mark);
  marksChanged();
}

void PartitionWindow::markAll(uint8_t mark) {
  folders_->setTopMark(mark);
  folderMarkToggled(nullptr);
}

// Marks live in the records; the views only need to draw them again.
void PartitionWindow::marksChanged() {
  left_->viewport()->update();
  right_->viewport()->update();
}

// The top row counts its root folder. The run only reads the tree; the
// pane counts as busy meanwhile, so no reload empties it underneath.
void PartitionWindow::leftStatistics() {
  DialogMessageSink messages(dialogs_, this);
  if (processMarkers().statistics.refuse(messages)) return;
  QModelIndex row = left_->currentIndex();
  bool selected = row.isValid() && folders_->root();
  ExfatFileRecord* record = !selected ? nullptr : folders_->isTop(row) ? folders_->root() : folders_->recordAt(row);
  auto text = std::make_shared<std::optional<std::string>>();
  LongOperation operation = statisticsOperation(selected, record, *text);
  operation.marker = &processMarkers().statistics;
  runner_.start(std::move(operation), nullptr, [this, text](const OperationEnd&) {
    if (*text) emit statistics(widgets::qtText(**text));
  });
}

void PartitionWindow::rightStatistics() {
  if (ExfatFileRecord* record = files_->recordAt(right_->currentIndex()))
    emit statistics(widgets::qtText(statisticsMessage(tallySubtree(record))));
}

bool PartitionWindow::askDestination(std::string& destination, MessageSink& messages) {
  SaveDialog dialog(dialogs_, this);
  if (!dialogs_.run(dialog)) return false;
  destination = dialog.destination().toStdString();
  return !refuseEmptyDestination(destination, messages);
}

void PartitionWindow::singleSave(SaveOrigin origin) {
  DialogMessageSink sink(dialogs_, this);
  ExfatFileRecord* record = nullptr;
  if (origin == SaveOrigin::RightPane) {
    record = files_->recordAt(right_->currentIndex());
  } else if (QModelIndex row = left_->currentIndex(); row.isValid() && folders_->root()) {
    record = folders_->isTop(row) ? folders_->root() : folders_->recordAt(row);
  }
  std::string destination;
  if (refuseSingleSave(savingSingle_.running(), origin, record != nullptr, sink) || !askDestination(destination, sink))
    return;
  // The dialog let other commands run; one may have started a save, whose
  // end this one's would be taken for.
  if (refuseSingleSave(savingSingle_.running(), origin, true, sink)) return;
  uint64_t freeBytes = 0;
  if (!freeBytesForSave(destination, freeBytes, sink)) return;
  if (!singleProgress_) singleProgress_ = new ProgressWindow(QString::fromUtf8(kTitleSaving), this);
  // The job ends on the scheduler's thread, which posts the end here.
  auto outcome = std::make_shared<SaveOutcome>();
  auto started = std::make_shared<bool>(false);
  OperationRunner::Completion done =
      runner_.track(&savingSingle_, singleProgress_, [this, outcome, started, record, origin](const OperationEnd& end) {
        if (!*started) return;
        // The job has ended: nothing writes the outcome any more.
        if (origin == SaveOrigin::RightPane && outcome->succeeded) clearMark(record);
        QString report = widgets::qtText(saveReportText(outcome->totals, outcome->problems, end.stopped));
        dialogs_.message(this, report, applicationTitle());
        emit saveFinished(report);
      });
  if (!done) return;
  SaveStart start = startSingleSave(saves_, {&disk_, &partition_, record}, rowIdOf(record), destination, freeBytes,
                                    singleProgress_->block(), sink, outcome->options(outcome),
                                    [outcome, done](const SaveJob& job) {
                                      {
                                        std::lock_guard<std::mutex> lock(outcome->mutex);
                                        outcome->totals = job.totals;
                                        outcome->succeeded = jobSucceeded(job);
                                      }
                                      done(true);
                                    });
  *started = start == SaveStart::Started;
  if (!*started) done(false);
}

void PartitionWindow::batchSave(SaveOrigin origin) {
  DialogMessageSink sink(dialogs_, this);
  if (refuseBatchSave(savingBatch_.running(), origin, sink)) return;
  if (!folders_->root()) return sink.show(kNothingLoaded, kCaptionError);
  std::string destination;
  if (!askDestination(destination, sink)) return;
  if (origin != SaveOrigin::RightPane) {
    std::vector<CheckRow> rows;
    for (const ExfatFileRecord* root : folders_->roots()) rows.push_back(checkRowOf(*root));
    return startBatch(collectLeftRequests(rows, {}, destination), origin);
  }
  std::vector<ExfatFileRecord*> listed = files_->records();
  startBatch(collectRightRequests(checkRowsOf(listed), {}, destination), origin);
}

void PartitionWindow::saveHits() {
  DialogMessageSink sink(dialogs_, this);
  if (refuseBatchSave(savingBatch_.running(), SaveOrigin::RightPane, sink)) return;
  std::string destination;
  if (!askDestination(destination, sink)) return;
  startBatch(collectRightRequests(checkRowsOf(results_->model()->records()), {}, destination), SaveOrigin::RightPane);
}

// The batch's jobs run on the scheduler's threads; the last one's end is
// posted here, and the runner shows their progress meanwhile.
void PartitionWindow::startBatch(const std::vector<SaveRequest>& requests, SaveOrigin origin) {
  if (requests.empty()) return;
  DialogMessageSink sink(dialogs_, this);
  // The dialog let other commands run; one may have started a batch.
  if (refuseBatchSave(savingBatch_.running(), origin, sink)) return;
  uint64_t freeBytes = 0;
  if (!freeBytesForSave(requests.front().destination, freeBytes, sink)) return;
  std::vector<PlannedRecord> records;
  for (const SaveRequest& r : requests) records.push_back({{&disk_, &partition_, recordOf(r.rowId)}, r.destination, r.rowId});
  if (!saveProgress_) saveProgress_ = new ProgressWindow(QString::fromUtf8(kTitleSaving), this);
  auto outcome = std::make_shared<SaveOutcome>();
  auto started = std::make_shared<bool>(false);
  OperationRunner::Completion done =
      runner_.track(&savingBatch_, saveProgress_, [this, outcome, started](const OperationEnd& end) {
        if (!*started) return;
        // Every job has ended: nothing writes the outcome any more.
        QString report = widgets::qtText(saveReportText(outcome->totals, outcome->problems, end.stopped));
        dialogs_.message(this, report, applicationTitle());
        emit saveFinished(report);
      });
  if (!done) return;
  BatchStart start = startBatchSave(
      saves_, records, freeBytes, saveProgress_->block(), sink, outcome->options(outcome),
      [this](const SaveJob& job) {
        if (!jobSucceeded(job)) return;
        ExfatFileRecord* record = recordOf(job.rowId);
        QMetaObject::invokeMethod(this, [this, record] { clearMark(record); }, Qt::QueuedConnection);
      },
      [this, outcome, done] {
        {
          std::lock_guard<std::mutex> lock(outcome->mutex);
          outcome->totals = sumTotals(saves_.saveQueue());
        }
        done(true);
      });
  if (!start.statusText.empty()) emit saveTotal(widgets::qtText(start.statusText));
  *started = start.result == SaveStart::Started;
  if (!*started) done(false);
}

// A job that saved everything whole takes its row's mark away, and the
// folders above it follow.
void PartitionWindow::clearMark(ExfatFileRecord* record) {
  if (!record || !folders_->root()) return;
  record->checkState = kUnchecked;
  markSubtree(*record, kUnchecked);
  markAncestors(*record);
  folders_->setTopMark(partition_.rootRecord.checkState);
  if (ExfatFileRecord* shown = files_->shownFolder()) files_->setFolderMark(shown->checkState);
  marksChanged();
}

void PartitionWindow::addSaveActions(QMenu* menu, SaveOrigin origin) {
  connect(menu->addAction(QStringLiteral("保存当前选中文件     Ctrl+Alt+R")), &QAction::triggered, this,
          [this, origin] { singleSave(origin); });
  connect(menu->addAction(QStringLiteral("保存打勾文件         Ctrl+S")), &QAction::triggered, this,
          [this, origin] { batchSave(origin); });
}

QMenu* PartitionWindow::contextMenuFor(const QModelIndex& index) {
  if (!index.isValid()) return nullptr;
  delete menu_;
  menu_ = new QMenu(this);
  if (folders_->isTop(index)) {
    connect(menu_->addAction(QStringLiteral("扫描丢失文件     Ctrl+L")), &QAction::triggered, this,
            [this] { lostFileScan(true); });
  } else {
    addSaveActions(menu_, SaveOrigin::LeftPane);
    connect(menu_->addAction(QStringLiteral("文件大小统计         Ctrl+Alt+A")), &QAction::triggered, this,
            &PartitionWindow::leftStatistics);
  }
  return menu_;
}

QMenu* PartitionWindow::fileMenuFor(const QModelIndex& index) {
  if (!index.isValid()) return nullptr;
  delete menu_;
  menu_ = new QMenu(this);
  addSaveActions(menu_, SaveOrigin::RightPane);
  connect(menu_->addAction(QStringLiteral("文件大小统计         Ctrl+Alt+A")), &QAction::triggered, this,
          &PartitionWindow::rightStatistics);
  return menu_;
}

// The one closing rule: a tab closed while its operations run asks them to
// stop and goes (through the frame around it, when it has one) once they
// have ended; a closed window releases the partition's loaded records.
void PartitionWindow::closeEvent(QCloseEvent* event) {
  QPointer<QWidget> frame = parentWidget() ? parentWidget() : this;
  if (!runner_.closeWhenIdle([frame] {
        if (frame) frame->close();
      })) {
    event->ignore();
    return;
  }
  dropRows();
  partition_.emptyResults();
  event->accept();
}

}  // namespace dudorazu::shell
