// Measures the desktop program off screen on two images made by
// make-tree-image.py: the time from the double click on a partition to its
// folder tree shown; for a folder of many children, the time from the click
// to its first rows painted, whether scrolling to the end lists every row,
// and the memory the panes take per row over the loaded records; and the
// window thread's longest stall while a tree load, a lost-file scan and a
// batch save of all but one folder of SAVE_IMAGE's root into SAVE_FOLDER, a
// sector-by-sector partition search of TREE_IMAGE and its imaging into
// SAVE_FOLDER run.
//   gui_bench TREE_IMAGE BIG_FOLDER_IMAGE SAVE_IMAGE SAVE_FOLDER [RUNS]
// At the scale of a backup drive (--scale), on a tree of a million files and
// a folder of a million children: the tree load, the first rows, and the
// window thread's longest stall while the load runs, the list scrolls to its
// end, sorts, has the whole folder ticked, and the find dialog's search
// goes over every record.
//   gui_bench --scale TREE_IMAGE BIG_FOLDER_IMAGE [RUNS]
// Prints one "name value" line per figure.
#include <QApplication>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QHeaderView>
#include <QRadioButton>
#include <QPushButton>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <functional>
#include <string>

#include "core/device/disk_catalogue.h"
#include "shell/disk_scans.h"
#include "shell/disk_window.h"
#include "shell/imaging_dialog.h"
#include "shell/main_window.h"
#include "shell/partition_window.h"
#include "shell/save_dialog.h"
#include "shell/user_dialogs.h"
#include "widgets/disk_tree_model.h"
#include "widgets/file_list_model.h"
#include "widgets/file_list_view.h"
#include "widgets/folder_tree_model.h"
#include "widgets/tree_list_view.h"

using namespace dudorazu;

namespace {

class SilentDialogs : public shell::UserDialogs {
 public:
  void message(QWidget*, const QString& text, const QString&) override {
    std::fprintf(stderr, "message: %s\n", text.toUtf8().constData());
  }
  bool confirm(QWidget*, const QString&, const QString&) override { return true; }
  QString openFile(QWidget*, const QString&) override { return {}; }
  QString saveFile(QWidget*, const QString&) override { return {}; }
  QString chooseFolder(QWidget*, const QString&) override { return {}; }
  void about(QWidget*, const QString&, const QString&) override {}
  bool run(QDialog& dialog) override { return answer && answer(dialog); }
  std::function<bool(QDialog&)> answer;
};

// The longest gap between two ticks of a 1 ms timer on the window thread.
class StallMeter : public QObject {
 public:
  StallMeter() {
    timer_.setTimerType(Qt::PreciseTimer);
    timer_.setInterval(1);
    connect(&timer_, &QTimer::timeout, this, [this] {
      longest_ = std::max(longest_, clock_.nsecsElapsed());
      clock_.restart();
    });
  }
  void start() {
    longest_ = 0;
    clock_.start();
    timer_.start();
  }
  double stopMs() {
    timer_.stop();
    return longest_ / 1e6;
  }

 private:
  QTimer timer_;
  QElapsedTimer clock_;
  qint64 longest_ = 0;
};

long residentBytes() {
  std::ifstream statm("/proc/self/statm");
  long pages = 0, resident = 0;
  statm >> pages >> resident;
  return resident * 4096;
}

void settle() {
  for (int i = 0; i < 5; ++i) QApplication::processEvents();
}

// Double-clicks the image's first partition and waits for its tree; the
// time until the tree has been painted.
shell::PartitionWindow* openPartition(shell::MainWindow& window, double* ms) {
  window.documents()->setActiveSubWindow(window.documents()->subWindowList().front());
  widgets::DiskTreeModel* disks = window.diskWindow()->diskModel();
  QModelIndex row = disks->index(0, 0, disks->index(disks->rowCount() - 1, 0));
  QElapsedTimer clock;
  clock.start();
  emit window.diskWindow()->diskTree()->doubleClicked(row);
  shell::PartitionWindow* w = window.partitionWindows().back();
  QSignalSpy loaded(w, &shell::PartitionWindow::loadFinished);
  if (!loaded.wait(600000)) return nullptr;
  w->folderTree()->viewport()->repaint();
  *ms = clock.nsecsElapsed() / 1e6;
  return w;
}

qint64 bytesBelow(const QString& folder) {
  qint64 total = 0;
  for (QDirIterator it(folder, QDir::Files, QDirIterator::Subdirectories); it.hasNext();)
    total += it.nextFileInfo().size();
  return total;
}

void closeCurrent(shell::MainWindow& window) {
  window.documents()->closeActiveSubWindow();
  settle();
}

// Opens IMAGE and loads its first partition RUNS times: the mean and best
// time to the tree shown and the longest stall in any of them. The last
// load stays open.
bool measureTreeLoads(shell::MainWindow& window, const char* image, int runs, StallMeter& stall) {
  window.openImageFile(QString::fromLocal8Bit(image));
  double total = 0, best = 1e18, loadStall = 0;
  for (int r = 0; r < runs; ++r) {
    double ms = 0;
    stall.start();
    if (!openPartition(window, &ms)) return false;
    loadStall = std::max(loadStall, stall.stopMs());
    total += ms;
    best = std::min(best, ms);
    if (r + 1 < runs) closeCurrent(window);
  }
  std::printf("gui_tree_load_mean_ms %.1f\ngui_tree_load_min_ms %.1f\nstall_tree_load_ms %.1f\n", total / runs, best,
              loadStall);
  return true;
}

// Opens BIG's partition and clicks its root's first folder, the big one:
// the time to its first rows painted, printed with the number shown.
// `loaded` is the memory held once the records are loaded, before the click.
shell::PartitionWindow* openBigFolder(shell::MainWindow& window, const char* big, long* loaded) {
  window.openImageFile(QString::fromLocal8Bit(big));
  double ignored = 0;
  shell::PartitionWindow* w = openPartition(window, &ignored);
  if (!w) return nullptr;
  widgets::FolderTreeModel* folders = w->folderModel();
  QModelIndex folder = folders->index(0, 0, folders->indexOf(folders->root()));
  settle();
  *loaded = residentBytes();
  QElapsedTimer clock;
  clock.start();
  w->folderTree()->setCurrentIndex(folder);
  emit w->folderTree()->clicked(folder);
  w->fileList()->viewport()->repaint();
  std::printf("big_folder_children %d\nfirst_rows %d\nfirst_rows_ms %.1f\n", w->fileModel()->childCount(),
              w->fileModel()->rowCount(), clock.nsecsElapsed() / 1e6);
  return w;
}

// Scrolls the list to its end as a user holding End does; the longest
// stall between two batches and the rows listed.
void scrollToEnd(shell::PartitionWindow* w, StallMeter& stall) {
  widgets::FileListModel* files = w->fileModel();
  QScrollBar* bar = w->fileList()->verticalScrollBar();
  QElapsedTimer clock;
  clock.start();
  stall.start();
  // The mean time of a batch over the last hundred, when the list is longest.
  QElapsedTimer last;
  int lastRows = files->childCount() - 100 * 100;
  for (int steps = 0; files->rowCount() < files->childCount() && steps < 1000000; ++steps) {
    if (files->rowCount() >= lastRows && !last.isValid()) last.start();
    bar->setValue(bar->maximum());
    QApplication::processEvents();
  }
  std::printf("rows_after_scrolling %d\nscroll_to_end_ms %.1f\nstall_scroll_ms %.1f\nlast_batches_ms %.1f\n",
              files->rowCount(), clock.nsecsElapsed() / 1e6, stall.stopMs(),
              last.isValid() ? last.nsecsElapsed() / 1e6 / 100 : 0.0);
}

// Runs `step` on the window thread, then lets the events it queued run
// until `done` says it has finished; prints its time and longest stall.
void timed(const char* name, StallMeter& stall, const std::function<void()>& step,
           const std::function<bool()>& done = [] { return true; }) {
  QElapsedTimer clock;
  clock.start();
  stall.start();
  QTimer::singleShot(0, step);
  QApplication::processEvents();
  while (!done() && clock.elapsed() < 600000) QTest::qWait(1);
  settle();
  std::printf("%s_ms %.1f\nstall_%s_ms %.1f\n", name, clock.nsecsElapsed() / 1e6, name, stall.stopMs());
}

int runScale(shell::MainWindow& window, int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: gui_bench --scale TREE_IMAGE BIG_FOLDER_IMAGE [RUNS]\n");
    return 2;
  }
  int runs = argc > 4 ? std::max(1, std::atoi(argv[4])) : 3;
  StallMeter stall;
  if (!measureTreeLoads(window, argv[2], runs, stall)) return 1;
  timed("close", stall, [&] { closeCurrent(window); });

  long before = 0;
  shell::PartitionWindow* w = openBigFolder(window, argv[3], &before);
  if (!w) return 1;
  scrollToEnd(w, stall);
  settle();
  widgets::FileListModel* files = w->fileModel();
  std::printf("pane_bytes_per_row %.1f\n",
              files->rowCount() ? double(residentBytes() - before) / files->rowCount() : 0.0);
  timed("sort", stall, [&] { w->fileList()->header()->sectionClicked(widgets::FileListModel::kRecoverability); });
  timed("unsort", stall, [&] { w->fileList()->header()->sectionClicked(0); });
  widgets::FolderTreeModel* folders = w->folderModel();
  QModelIndex folder = folders->index(0, 0, folders->indexOf(folders->root()));
  timed("tick_folder", stall, [&] { folders->setData(folder, Qt::Checked, Qt::CheckStateRole); });
  timed("untick_folder", stall, [&] { folders->setData(folder, Qt::Unchecked, Qt::CheckStateRole); });
  QSignalSpy searched(w, &shell::PartitionWindow::searchFinished);
  SearchCriteria criteria;
  criteria.text = ".dat";
  timed("find", stall, [&] { w->search(criteria); }, [&] { return !searched.isEmpty(); });
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  DiskCatalogue catalogue;
  SilentDialogs dialogs;
  shell::MainWindow window(catalogue, dialogs);
  window.setWindowState(Qt::WindowNoState);
  window.resize(1200, 800);
  window.show();
  settle();
  if (argc > 1 && std::string(argv[1]) == "--scale") return runScale(window, argc, argv);
  if (argc < 5) {
    std::fprintf(stderr, "usage: gui_bench TREE_IMAGE BIG_FOLDER_IMAGE SAVE_IMAGE SAVE_FOLDER [RUNS]\n");
    return 2;
  }
  int runs = argc > 5 ? std::max(1, std::atoi(argv[5])) : 5;
  StallMeter stall;

  if (!measureTreeLoads(window, argv[1], runs, stall)) return 1;

  // Lost-file scan of the same partition.
  shell::PartitionWindow* scanned = window.partitionWindows().back();
  QSignalSpy scanDone(scanned, &shell::PartitionWindow::scanFinished);
  QElapsedTimer scanClock;
  scanClock.start();
  stall.start();
  scanned->lostFileScan(false);
  if (!scanDone.wait(600000)) return 1;
  std::printf("gui_scan_ms %.1f\nstall_scan_ms %.1f\n", scanClock.nsecsElapsed() / 1e6, stall.stopMs());
  closeCurrent(window);

  // The folder of many children.
  window.openImageFile(QString::fromLocal8Bit(argv[2]));
  double ignored = 0;
  shell::PartitionWindow* w = openPartition(window, &ignored);
  if (!w) return 1;
  widgets::FolderTreeModel* folders = w->folderModel();
  QModelIndex big = folders->index(0, 0, folders->indexOf(folders->root()));
  widgets::FileListModel* files = w->fileModel();
  settle();
  long before = residentBytes();
  QElapsedTimer clock;
  clock.start();
  w->folderTree()->setCurrentIndex(big);
  emit w->folderTree()->clicked(big);
  w->fileList()->viewport()->repaint();
  double firstRows = clock.nsecsElapsed() / 1e6;
  int shownFirst = files->rowCount();
  QScrollBar* bar = w->fileList()->verticalScrollBar();
  int steps = 0;
  while (files->rowCount() < files->childCount() && steps < 100000) {
    bar->setValue(bar->maximum());
    QApplication::processEvents();
    ++steps;
  }
  double allRows = clock.nsecsElapsed() / 1e6;
  settle();
  long after = residentBytes();
  std::printf("big_folder_children %d\nfirst_rows %d\nfirst_rows_ms %.1f\nrows_after_scrolling %d\n"
              "scroll_to_end_ms %.1f\npane_bytes_per_row %.1f\n",
              files->childCount(), shownFirst, firstRows, files->rowCount(), allRows,
              files->rowCount() ? double(after - before) / files->rowCount() : 0.0);
  closeCurrent(window);

  // A batch save from the left pane, started by Ctrl+S as a user does: each
  // folder under the root but the last is ticked, and is one job (with all
  // of them ticked the root would be ticked whole, one job).
  window.openImageFile(QString::fromLocal8Bit(argv[3]));
  shell::PartitionWindow* saving = openPartition(window, &ignored);
  if (!saving) return 1;
  widgets::FolderTreeModel* tree = saving->folderModel();
  QModelIndex rootRow = tree->indexOf(tree->root());
  for (int i = 0; i + 1 < tree->rowCount(rootRow); ++i)
    tree->setData(tree->index(i, 0, rootRow), Qt::Checked, Qt::CheckStateRole);
  QString target = QString::fromLocal8Bit(argv[4]);
  dialogs.answer = [&](QDialog& d) {
    static_cast<shell::SaveDialog&>(d).pathField()->setText(target);
    return true;
  };
  QApplication::setActiveWindow(&window);
  if (!QTest::qWaitForWindowActive(&window)) return 1;
  settle();
  QSignalSpy saveDone(saving, &shell::PartitionWindow::saveFinished);
  QElapsedTimer saveClock;
  saveClock.start();
  stall.start();
  saving->folderTree()->setFocus();
  QTest::keyClick(saving->folderTree(), Qt::Key_S, Qt::ControlModifier);
  if (!saving->saveProgressWindow() || !saveDone.wait(600000)) {
    std::fprintf(stderr, "the batch save did not run\n");
    return 1;
  }
  double saveMs = saveClock.nsecsElapsed() / 1e6, saveStall = stall.stopMs();
  std::printf("gui_save_jobs %zu\ngui_save_bytes %lld\ngui_save_ms %.1f\nstall_save_ms %.1f\n",
              saving->saves().saveQueue().size(), static_cast<long long>(bytesBelow(target)), saveMs, saveStall);
  closeCurrent(window);

  // The rescue tools on the first image's disk: a search sector by sector,
  // then an image of the whole disk into SAVE_FOLDER.
  QModelIndex disk = window.diskWindow()->diskModel()->index(0, 0);
  QSignalSpy searched(window.diskScans(), &shell::DiskScans::searchFinished);
  QElapsedTimer searchClock;
  searchClock.start();
  stall.start();
  if (!window.diskScans()->startSearch(disk, SearchMode::Sector, 0) || !searched.wait(600000)) {
    std::fprintf(stderr, "the partition search did not run\n");
    return 1;
  }
  std::printf("gui_search_ms %.1f\nstall_search_ms %.1f\n", searchClock.nsecsElapsed() / 1e6, stall.stopMs());
  shell::ImagingDialog& imaging = *window.imagingDialog();
  imaging.openFor(disk.data().toString());
  imaging.toFileButton()->setChecked(true);
  imaging.fileField()->setText(target + QStringLiteral("/disk-copy.img"));
  QSignalSpy imaged(&imaging, &shell::ImagingDialog::imagingFinished);
  QElapsedTimer imagingClock;
  imagingClock.start();
  stall.start();
  imaging.startButton()->click();
  if (!imaged.wait(600000)) {
    std::fprintf(stderr, "the imaging did not run\n");
    return 1;
  }
  std::printf("gui_imaging_ms %.1f\nstall_imaging_ms %.1f\ngui_imaging_bytes %lld\n", imagingClock.nsecsElapsed() / 1e6,
              stall.stopMs(), static_cast<long long>(QFileInfo(target + QStringLiteral("/disk-copy.img")).size()));
  return 0;
}
