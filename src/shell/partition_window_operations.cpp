#include <memory>
#include <mutex>
#include <optional>

#include "core/present/check_marks.h"
#include "core/present/statistics.h"
#include "core/recovery/record_search.h"
#include "core/recovery/save_report.h"
#include "core/tools/long_operations.h"
#include "shell/find_dialog.h"
#include "shell/partition_window.h"
#include "shell/progress_window.h"
#include "shell/save_dialog.h"
#include "shell/search_results.h"
#include "shell/user_dialogs.h"
#include "widgets/file_list_model.h"
#include "widgets/file_list_view.h"
#include "widgets/folder_tree_model.h"
#include "widgets/qt_text.h"
#include "widgets/tree_list_view.h"

// The window's six operations: tree load, lost-file scan, search,
// statistics, single save and batch save. Each is refused, started, shown
// and finished through the one runner; this file says how, for all of them.
namespace dudorazu::shell {
namespace {

ExfatFileRecord* recordOf(uint64_t rowId) { return reinterpret_cast<ExfatFileRecord*>(static_cast<uintptr_t>(rowId)); }
uint64_t rowIdOf(const ExfatFileRecord* record) { return reinterpret_cast<uintptr_t>(record); }

// What the jobs of one save said, gathered on their threads.
struct SaveOutcome {
  std::mutex mutex;
  std::vector<std::string> problems;
  std::vector<ExfatFileRecord*> savedWhole;  // rows whose marks go at the end
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

void PartitionWindow::startLoad() { fillTree(progress_, false, treeLoadOperation(disk_, volume_)); }

// A tree load or a lost-file scan: the run fills the records behind its
// progress window. After a scan, found folders stand under the root
// folder's row and carved files under the row of the extended folder.
void PartitionWindow::fillTree(ProgressWindow* window, bool scan, LongOperation operation) {
  // The callers refuse while anything runs: the records are in use then.
  if (markers_.busy.running()) return;
  dropRows();
  // The folder totals are counted while the records are the run's alone.
  auto totals = std::make_shared<SubtreeTally>();
  operation.run = [run = std::move(operation.run), scan, totals, root = &volume_.rootRecord](
                      ProgressBlock& block, MessageSink& messages, Questions& questions) {
    bool done = run(block, messages, questions);
    if (scan) block.setText("正在分析文件，请稍后！");
    else *totals = tallySubtree(root);
    return done;
  };
  operation.marker = &markers_.loading;
  runner_.start(std::move(operation), window, [this, window, scan, totals](const OperationEnd&) {
    if (scan) {
      showTree({&volume_.rootRecord, &volume_.extendedRecord});
    } else {
      totals_ = *totals;
      showTree({&volume_.rootRecord});
    }
    if (scan) {
      // A scan that ends says what it found, in its window and the status bar.
      const QString found = widgets::coreText(lostScanSummary(volume_.rootRecord, volume_.extendedRecord));
      window->showOutcome(found);
      emit statusText(found);
      emit scanFinished();
    } else {
      emit loadFinished();
    }
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
  const QString error = widgets::coreText(kCaptionError);
  const bool filling = markers_.loading.running(), busy = markers_.busy.running();
  if (fromPaneMenu) {
    if (filling)
      return dialogs_.message(this, widgets::coreText(kWaitForThisOperation), widgets::coreText(kCaptionWaiting));
    totals_ = {};
    if (busy) return dialogs_.message(this, widgets::coreText(kWaitForCurrentOperation), error);
  } else {
    if (busy) return dialogs_.message(this, widgets::coreText(kWaitForCurrentOperationPlease), error);
    if (filling) return dialogs_.message(this, widgets::coreText(kWaitForThisOperation), error);
  }
  startScan();
}

void PartitionWindow::startScan() {
  if (!scanProgress_) scanProgress_ = new ProgressWindow(widgets::coreText(kTitleLostFileScan), this);
  fillTree(scanProgress_, true, lostFileScanOperation(disk_, volume_));
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
                  results_->model()->setClusterBytes(volume_.clusterBytes());
                  results_->showHits(std::move(*hits));
                  emit searchFinished();
                });
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
    if (*text) emit statistics(widgets::coreText(**text));
  });
}

void PartitionWindow::rightStatistics() {
  if (ExfatFileRecord* record = files_->recordAt(right_->currentIndex()))
    emit statistics(widgets::coreText(statisticsMessage(tallySubtree(record))));
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
  if (!singleProgress_) singleProgress_ = new ProgressWindow(widgets::coreText(kTitleSaving), this);
  // The job ends on the scheduler's thread, which posts the end here.
  auto outcome = std::make_shared<SaveOutcome>();
  auto started = std::make_shared<bool>(false);
  OperationRunner::Completion done =
      runner_.track(&savingSingle_, singleProgress_, [this, outcome, started, record, origin](const OperationEnd& end) {
        if (!*started) return;
        // The job has ended: nothing writes the outcome any more.
        if (origin == SaveOrigin::RightPane && outcome->succeeded) clearMarks({record});
        QString report = widgets::coreText(saveReportText(outcome->totals, outcome->problems, end.stopped));
        dialogs_.message(this, report, applicationTitle());
        emit saveFinished(report);
      });
  if (!done) return;
  SaveStart start = startSingleSave(saves_, {&disk_, &volume_, record}, rowIdOf(record), destination, freeBytes,
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
  if (origin != SaveOrigin::RightPane) return startBatch(markedInTree(folders_->roots()), destination, origin);
  startBatch(markedRows(files_->records()), destination, origin);
}

void PartitionWindow::saveHits() {
  DialogMessageSink sink(dialogs_, this);
  if (refuseBatchSave(savingBatch_.running(), SaveOrigin::RightPane, sink)) return;
  std::string destination;
  if (!askDestination(destination, sink)) return;
  startBatch(markedRows(results_->model()->records()), destination, SaveOrigin::RightPane);
}

// The batch's jobs run on the scheduler's threads; the last one's end is
// posted here, and the runner shows their progress meanwhile.
void PartitionWindow::startBatch(const std::vector<ExfatFileRecord*>& marked, const std::string& destination,
                                 SaveOrigin origin) {
  if (marked.empty()) return;
  DialogMessageSink sink(dialogs_, this);
  // The dialog let other commands run; one may have started a batch.
  if (refuseBatchSave(savingBatch_.running(), origin, sink)) return;
  uint64_t freeBytes = 0;
  if (!freeBytesForSave(destination, freeBytes, sink)) return;
  std::vector<PlannedRecord> records;
  for (ExfatFileRecord* r : marked) records.push_back({{&disk_, &volume_, r}, destination, rowIdOf(r)});
  if (!saveProgress_) saveProgress_ = new ProgressWindow(widgets::coreText(kTitleSaving), this);
  auto outcome = std::make_shared<SaveOutcome>();
  auto started = std::make_shared<bool>(false);
  OperationRunner::Completion done =
      runner_.track(&savingBatch_, saveProgress_, [this, outcome, started](const OperationEnd& end) {
        if (!*started) return;
        // Every job has ended: nothing writes the outcome any more.
        clearMarks(outcome->savedWhole);
        QString report = widgets::coreText(saveReportText(outcome->totals, outcome->problems, end.stopped));
        dialogs_.message(this, report, applicationTitle());
        emit saveFinished(report);
      });
  if (!done) return;
  BatchStart start = startBatchSave(
      saves_, records, freeBytes, saveProgress_->block(), sink, outcome->options(outcome),
      [outcome](const SaveJob& job) {
        if (!jobSucceeded(job)) return;
        std::lock_guard<std::mutex> lock(outcome->mutex);
        outcome->savedWhole.push_back(recordOf(job.rowId));
      },
      [this, outcome, done] {
        {
          std::lock_guard<std::mutex> lock(outcome->mutex);
          outcome->totals = sumTotals(saves_.saveQueue());
        }
        done(true);
      });
  if (!start.statusText.empty()) emit saveTotal(widgets::coreText(start.statusText));
  *started = start.result == SaveStart::Started;
  if (!*started) done(false);
}

}  // namespace dudorazu::shell
