#include "shell/partition_search_window.h"

#include <QCoreApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "core/partitions/file_system_text.h"
#include "widgets/qt_text.h"
#include "widgets/text_progress_bar.h"

namespace dudorazu::shell {
namespace {

const char* const kHeadChoices[] = {"255", "240", "128", "64", "32", "16"};
const char* const kHeaders[] = {
    QT_TRANSLATE_NOOP("PartitionSearchWindow", "文件系统"), QT_TRANSLATE_NOOP("PartitionSearchWindow", "卷标"),
    QT_TRANSLATE_NOOP("PartitionSearchWindow", "柱面-磁头-扇区"),
    QT_TRANSLATE_NOOP("PartitionSearchWindow", "分区大小"), QT_TRANSLATE_NOOP("PartitionSearchWindow", "分区类型")};
const int kWidths[] = {70, 40, 120, 150, 100};
constexpr int kCellPadding = 12;

// The radios in the order of the search's mode numbers.
const char* const kModeTexts[] = {
    QT_TRANSLATE_NOOP("SearchDiskDialog", "柱面"), QT_TRANSLATE_NOOP("SearchDiskDialog", "磁头"),
    QT_TRANSLATE_NOOP("SearchDiskDialog", "扇区"), QT_TRANSLATE_NOOP("SearchDiskDialog", "快速对齐")};

}  // namespace

SearchDiskDialog::SearchDiskDialog(const DiskRecord& disk, QWidget* parent) : QDialog(parent) {
  setWindowTitle(tr("扫描丢失磁盘分区"));
  modes_ = new QButtonGroup(this);
  auto* radios = new QHBoxLayout;
  for (int m = 0; m < 4; ++m) {
    auto* radio = new QRadioButton(QCoreApplication::translate("SearchDiskDialog", kModeTexts[m]), this);
    radio->setAccessibleName(radio->text());
    modes_->addButton(radio, m);
    radios->addWidget(radio);
  }
  modes_->button(static_cast<int>(SearchMode::Aligned))->setToolTip(tr("每 1 MB 边界与柱面起点，最快"));
  setMode(SearchMode::Aligned);

  heads_ = new QComboBox(this);
  for (const char* h : kHeadChoices) heads_->addItem(QString::fromLatin1(h));
  QString own = QString::number(disk.tracksPerCylinder);
  int at = heads_->findText(own);
  if (at < 0) {
    heads_->addItem(own);
    at = heads_->count() - 1;
  }
  heads_->setCurrentIndex(at);
  auto* headsLabel = new QLabel(tr("磁头数:"), this);
  headsLabel->setBuddy(heads_);
  heads_->setAccessibleName(headsLabel->text());
  auto* headsRow = new QHBoxLayout;
  headsRow->addWidget(headsLabel);
  headsRow->addWidget(heads_, 1);

  auto* buttons = new QDialogButtonBox(this);
  buttons->addButton(tr("确定"), QDialogButtonBox::AcceptRole);
  buttons->addButton(tr("取消"), QDialogButtonBox::RejectRole);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  setMinimumWidth(340);
  layout->addLayout(radios);
  layout->addLayout(headsRow);
  layout->addWidget(buttons);
}

SearchMode SearchDiskDialog::mode() const { return static_cast<SearchMode>(modes_->checkedId()); }

void SearchDiskDialog::setMode(SearchMode mode) { modes_->button(static_cast<int>(mode))->setChecked(true); }

uint8_t SearchDiskDialog::heads() const {
  uint32_t value = heads_->currentText().toUInt();
  return value <= 255 ? static_cast<uint8_t>(value) : 0;
}

int PartitionSearchWindow::columnWidth(int column) { return kWidths[column]; }

PartitionSearchWindow::PartitionSearchWindow(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("搜索分区"));
  setWindowTitle(tr("扫描分区"));
  setModal(false);
  list_ = new QTableWidget(0, kColumnCount, this);
  list_->setAccessibleName(windowTitle());
  list_->setSelectionBehavior(QAbstractItemView::SelectRows);
  list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  list_->setShowGrid(true);
  list_->verticalHeader()->hide();
  list_->horizontalHeader()->setStretchLastSection(true);
  for (int c = 0; c < kColumnCount; ++c) {
    list_->setHorizontalHeaderItem(
        c, new QTableWidgetItem(QCoreApplication::translate("PartitionSearchWindow", kHeaders[c])));
    list_->setColumnWidth(c, kWidths[c]);
  }
  bar_ = new widgets::TextProgressBar(this);
  bar_->setAccessibleName(windowTitle());
  state_ = new QLabel(this);
  stop_ = new QPushButton(tr("停止"), this);
  close_ = new QPushButton(tr("关闭"), this);
  for (QPushButton* b : {stop_, close_}) b->setAccessibleName(b->text());
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(state_, 1);
  buttons->addWidget(stop_);
  buttons->addWidget(close_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(list_, 1);
  layout->addWidget(bar_);
  layout->addLayout(buttons);
  resize(540, 300);

  connect(stop_, &QPushButton::clicked, this, &PartitionSearchWindow::stop);
  connect(close_, &QPushButton::clicked, this, &QDialog::close);
}

void PartitionSearchWindow::begin(SearchMode mode) {
  mode_ = mode;
  block_.clearCancel();
  block_.clearText();
  block_.setRange(0, 1);
  seenUpdates_ = block_.updates();
  list_->setRowCount(0);
  bar_->setProgress(0, 0);
  state_->setText(tr("正在扫描分区"));
  state_->setAccessibleName(state_->text());
  stop_->setEnabled(true);
  searching_ = true;
  show();
  raise();
}

// Columns are filled from the volume's fields, not by splitting its
// description at ";", so a label holding ";" stays in its own column.
void PartitionSearchWindow::addVolume(const FoundVolume& volume) {
  int row = mode_ == SearchMode::Sector ? std::max(list_->rowCount() - 1, 0) : list_->rowCount();
  list_->insertRow(row);
  const QString texts[kColumnCount] = {QStringLiteral("exFat"), widgets::qtText(volume.label),
                                       QString::fromStdString(volume.chs), QString::number(volume.sizeSectors),
                                       widgets::coreText(entryKindText(volume.entryKind))};
  for (int c = 0; c < kColumnCount; ++c) {
    list_->setItem(row, c, new QTableWidgetItem(texts[c]));
    // The widths are where columns start; a longer text widens its column.
    int wanted = list_->fontMetrics().horizontalAdvance(texts[c]) + kCellPadding;
    if (c + 1 < kColumnCount && wanted > list_->columnWidth(c)) list_->setColumnWidth(c, wanted);
  }
}

void PartitionSearchWindow::finish(Ending ending) {
  searching_ = false;
  poll();
  stop_->setEnabled(false);
  const int found = list_->rowCount();
  switch (ending) {
    case Ending::Completed:
      // It has looked at all of the disk.
      bar_->setProgress(block_.upper(), block_.upper());
      state_->setText(tr("扫描完毕，找到 %1 个分区").arg(found));
      break;
    case Ending::Stopped: state_->setText(tr("扫描已停止，找到 %1 个分区").arg(found)); break;
    case Ending::Unreadable: state_->setText(tr("无法读取磁盘，扫描未完成")); break;
  }
  state_->setAccessibleName(state_->text());
}

QString PartitionSearchWindow::stateText() const { return state_->text(); }

void PartitionSearchWindow::poll() {
  uint64_t updates = block_.updates();
  if (updates == seenUpdates_) return;
  seenUpdates_ = updates;
  bar_->setProgress(block_.position(), block_.upper());
}

void PartitionSearchWindow::stop() {
  block_.cancel();
  if (searching_) state_->setText(tr("正在停止..."));
}

// "关闭" and the close box stop a running search as "停止" does.
void PartitionSearchWindow::closeEvent(QCloseEvent* event) {
  stop();
  event->accept();
}

}  // namespace dudorazu::shell
