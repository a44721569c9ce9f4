#pragma once
// "镜像": a disk or partition copied sector by sector into an image file or
// onto another disk, on a worker, with the unreadable sectors listed as they
// are met. Modeless and one at a time: the main window keeps the one
// instance and refuses a second while it is open or still copying.
#include <QDialog>
#include <QSet>

#include "core/common/messages.h"
#include "core/device/disk_catalogue.h"
#include "core/tools/disk_imaging.h"
#include "core/tools/rescue_passes.h"
#include "shell/operation_runner.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTableWidget;
class QTreeWidget;
class QTreeWidgetItem;

namespace dudorazu::widgets {
class BlockMapView;
class TextProgressBar;
}

namespace dudorazu::shell {

class UserDialogs;

class ImagingDialog : public QDialog, public OperationView {
  Q_OBJECT
 public:
  ImagingDialog(DiskCatalogue& catalogue, UserDialogs& dialogs, QWidget* parent = nullptr);

  // The open flag: the window is shown or its copy still runs.
  bool busy() const { return isVisible() || copying(); }
  bool copying() const { return runner_.running(); }
  OperationRunner& runner() { return runner_; }
  // Shows the dialog, narrowed, with `source` (an endpoint text) as source.
  void openFor(const QString& source);
  // "开始": checks the fields, asks before a disk or an existing file is
  // overwritten, and starts the copy.
  void start();
  // Lists one unreadable sector; the first widens the dialog to show the list.
  void addBadSector(uint64_t ordinal, uint64_t sector);

  QLineEdit* sourceField() const { return source_; }
  QLineEdit* sourceStartField() const { return sourceStart_; }
  QLineEdit* sectorCountField() const { return sectorCount_; }
  QRadioButton* toDiskButton() const { return toDisk_; }
  QRadioButton* toFileButton() const { return toFile_; }
  QLineEdit* targetField() const { return target_; }
  QLineEdit* targetStartField() const { return targetStart_; }
  QLineEdit* fileField() const { return file_; }
  QCheckBox* mapfileBox() const { return withMap_; }
  // "继续上次的镜像": the next start goes on from the copy and its map.
  QCheckBox* resumeBox() const { return resume_; }
  widgets::BlockMapView* blockMap() const { return blockMap_; }
  QLabel* rescueCounts() const { return counts_; }
  QLineEdit* mapfileField() const { return mapfile_; }
  QTreeWidget* picker() const { return picker_; }
  QTableWidget* badSectorList() const { return badList_; }
  QLabel* counter() const { return counter_; }
  QLabel* counterLabel() const { return counterLabel_; }
  QPushButton* startButton() const { return startButton_; }
  QPushButton* stopButton() const { return stopButton_; }
  bool widened() const;

  // The copy as the runner shows it: the bar, the sectors done, the fields
  // locked while it runs.
  ProgressBlock& block() override { return block_; }
  void begin() override;
  void showProgress() override;
  void end() override;
  void stopping() override;
  void showRescue();
  // Runs a checked and confirmed copy.
  void runCopy(ImagingJob job);

 signals:
  // A copy has ended and its end was told.
  void imagingFinished();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void showPicker(QLineEdit* edit);
  void pick(QTreeWidgetItem* item);
  void hidePicker();
  void setMode(bool toDisk);
  void setInputsEnabled(bool enabled);
  void chooseFile(QLineEdit* edit, const char* filter);
  void finishRun(const ImagingJob& job, const ImagingOutcome& outcome, const OperationEnd& end);

  DiskCatalogue& catalogue_;
  UserDialogs& dialogs_;
  ProgressBlock block_;
  QSet<QString> confirmedFiles_;  // replacing them was agreed to in the chooser
  QLineEdit* pickingFor_ = nullptr;

  QLineEdit* source_;
  QLineEdit* sourceStart_;
  QLineEdit* sectorCount_;
  QRadioButton* toDisk_;
  QRadioButton* toFile_;
  QWidget* diskPart_[4];  // target label and edit, start label and edit
  QWidget* filePart_[3];  // path label, edit and "..."
  QLineEdit* target_;
  QLineEdit* targetStart_;
  QLineEdit* file_;
  QPushButton* browse_;
  QCheckBox* withMap_;
  QCheckBox* resume_;
  widgets::BlockMapView* blockMap_;
  QLabel* counts_;
  std::shared_ptr<RescueMonitor> monitor_;
  uint64_t seenSnapshot_ = 0;
  QLineEdit* mapfile_;
  QPushButton* browseMap_;
  widgets::TextProgressBar* bar_;
  QLabel* counter_;
  QLabel* counterLabel_;
  QPushButton* startButton_;
  QPushButton* stopButton_;
  QWidget* line_;
  QTableWidget* badList_;
  QTreeWidget* picker_;
  // Last: a copy ends before anything it reports to goes.
  OperationRunner runner_;
};

// The rescue's phase and the bytes in each map state, as the counter and
// the picture beside the bad-sector list show them.
QString rescueCountsText(const RescueSnapshot& snapshot);

}  // namespace dudorazu::shell
