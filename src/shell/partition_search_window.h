#pragma once
// The lost-partition search as the user sees it: the dialog that asks how
// to walk the disk ("扫描丢失磁盘分区") and the window that lists what the
// search meets while it runs ("搜索分区", titled "扫描分区").
#include <QDialog>

#include "core/common/progress_block.h"
#include "core/tools/partition_search.h"
#include "shell/operation_runner.h"

class QButtonGroup;
class QComboBox;
class QLabel;
class QPushButton;
class QTableWidget;

namespace dudorazu::widgets {
class TextProgressBar;
}

namespace dudorazu::shell {

class SearchDiskDialog : public QDialog {
  Q_OBJECT
 public:
  // The heads list holds the disk's own value as a seventh item when it is
  // none of the six usual ones, and starts on it.
  explicit SearchDiskDialog(const DiskRecord& disk, QWidget* parent = nullptr);

  SearchMode mode() const;
  void setMode(SearchMode mode);
  // The heads the search walks by; 0 (the disk's own value) when the
  // chosen value does not fit the search's 8 bits.
  uint8_t heads() const;
  QComboBox* headsBox() const { return heads_; }

 private:
  QButtonGroup* modes_;
  QComboBox* heads_;
};

class PartitionSearchWindow : public QDialog, public OperationView {
  Q_OBJECT
 public:
  enum Column { kFileSystem, kLabel, kChs, kSize, kKind, kColumnCount };
  static int columnWidth(int column);

  explicit PartitionSearchWindow(QWidget* parent = nullptr);

  ProgressBlock& block() override { return block_; }
  // Shows the window for a new search: no rows, the stop flag down.
  void begin(SearchMode mode);
  void begin() override { begin(mode_); }
  void showProgress() override { poll(); }
  void end() override {}
  void stopping() override { stop(); }
  // The next search's mode, for the runner's begin().
  void setMode(SearchMode mode) { mode_ = mode; }
  // Adds the row of a volume the search met. Cylinder-grid searches add it
  // at the end; the sector search puts it before the last row.
  void addVolume(const FoundVolume& volume);
  enum class Ending { Completed, Stopped, Unreadable };
  // The search has ended: the bar stands where it stopped, the rows stay
  // for reading and the window stays open until "关闭".
  void finish(Ending ending);

  QTableWidget* list() const { return list_; }
  QPushButton* stopButton() const { return stop_; }
  QPushButton* closeButton() const { return close_; }
  QString stateText() const;
  bool searching() const { return searching_; }

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void poll();
  void stop();

  ProgressBlock block_;
  SearchMode mode_ = SearchMode::Aligned;
  QTableWidget* list_;
  widgets::TextProgressBar* bar_;
  QLabel* state_;
  QPushButton* stop_;
  QPushButton* close_;
  bool searching_ = false;
  uint64_t seenUpdates_ = 0;
};

}  // namespace dudorazu::shell
