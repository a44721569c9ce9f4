#include "shell/imaging_dialog.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFileInfo>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "core/common/text.h"
#include "core/present/display_format.h"
#include "core/tools/imaging_form.h"
#include "core/tools/long_operations.h"
#include "core/tools/tool_messages.h"
#include "core/tools/write_questions.h"
#include "shell/drive_access.h"
#include "shell/table_operations.h"
#include "shell/user_dialogs.h"
#include "widgets/block_map_view.h"
#include "widgets/qt_text.h"
#include "widgets/text_progress_bar.h"

namespace dudorazu::shell {
namespace {

const char* const kMapFilter = "Map files(*.map);;All files(*)";

QString number(uint64_t n) { return QString::number(static_cast<qulonglong>(n)); }

QString sizeText(uint64_t bytes) {
  const std::string text = formatSizeLong(bytes);
  return QString::fromStdString(text.empty() ? "0B" : text);
}

}  // namespace

QString rescueCountsText(const RescueSnapshot& s) {
  const QString way = s.forwards ? ImagingDialog::tr("正向") : ImagingDialog::tr("反向");
  QString phase;
  switch (s.phase) {
    case '?': phase = ImagingDialog::tr("复制未读取的块：第 %1 遍，%2").arg(s.pass).arg(way); break;
    case '*': phase = ImagingDialog::tr("修边：逐扇区读取失败块的两端，%1").arg(way); break;
    case '/': phase = ImagingDialog::tr("逐扇区读取失败块的其余部分，%1").arg(way); break;
    case '-': phase = ImagingDialog::tr("重试坏扇区：第 %1 次，%2").arg(s.pass).arg(way); break;
    default: phase = ImagingDialog::tr("已结束"); break;
  }
  const RescueCounts& c = s.counts;
  return phase +
         ImagingDialog::tr(
             "\n已复制 %1，未读取 %2\n待修边 %3，待逐扇区 %4\n无法读取 %5（%6 处）\n速度 %7/秒，距上次成功读取 %8 秒")
             .arg(sizeText(c.rescued), sizeText(c.nonTried), sizeText(c.nonTrimmed), sizeText(c.nonScraped),
                  sizeText(c.bad), QString::number(c.badAreas), sizeText(s.currentRate),
                  QString::number(s.sinceLastGoodRead.count() / 1000));
}

ImagingDialog::ImagingDialog(DiskCatalogue& catalogue, UserDialogs& dialogs, QWidget* parent)
    : QDialog(parent), catalogue_(catalogue), dialogs_(dialogs), runner_(dialogs, this) {
  setWindowTitle(widgets::coreText(kTitleImaging));
  setModal(false);
  auto named = [](QWidget* w, const QString& name) {
    w->setAccessibleName(name);
    return w;
  };
  auto label = [this](const QString& text) { return new QLabel(text, this); };
  auto edit = [this, &named](const QString& name, const QString& initial = {}) {
    auto* e = new QLineEdit(initial, this);
    named(e, name);
    return e;
  };
  auto button = [this](const QString& text, auto slot) {
    auto* b = new QPushButton(text, this);
    b->setAccessibleName(text == QStringLiteral("...") ? tr("浏览") : text);
    b->setAutoDefault(false);
    if (text == QStringLiteral("...")) b->setMaximumWidth(40);
    connect(b, &QPushButton::clicked, this, slot);
    return b;
  };

  auto* form = new QGridLayout;
  QLabel* sourceLabel = label(tr("源文件："));
  source_ = edit(sourceLabel->text());
  QLabel* startLabel = label(tr("起始扇区："));
  sourceStart_ = edit(tr("源起始扇区"), QStringLiteral("0"));
  QLabel* countLabel = label(tr("扇区数目："));
  sectorCount_ = edit(countLabel->text(), QStringLiteral("0"));
  sectorCount_->setReadOnly(true);
  form->addWidget(sourceLabel, 0, 0);
  form->addWidget(source_, 0, 1, 1, 4);
  form->addWidget(startLabel, 1, 0);
  form->addWidget(sourceStart_, 1, 1);
  form->addWidget(countLabel, 1, 2);
  form->addWidget(sectorCount_, 1, 3, 1, 2);

  auto* group = new QGroupBox(tr("选择"), this);
  auto* choice = new QHBoxLayout(group);
  toDisk_ = new QRadioButton(tr("到磁盘"), group);
  toFile_ = new QRadioButton(tr("到文件"), group);
  for (QRadioButton* r : {toDisk_, toFile_}) {
    named(r, r->text());
    choice->addWidget(r);
  }
  choice->addStretch(1);
  form->addWidget(group, 2, 0, 1, 5);

  QLabel* targetLabel = label(tr("目标磁盘："));
  target_ = edit(targetLabel->text());
  QLabel* targetStartLabel = label(tr("起始扇区："));
  targetStart_ = edit(tr("目标起始扇区"), QStringLiteral("0"));
  form->addWidget(targetLabel, 3, 0);
  form->addWidget(target_, 3, 1);
  form->addWidget(targetStartLabel, 3, 2);
  form->addWidget(targetStart_, 3, 3, 1, 2);
  diskPart_[0] = targetLabel;
  diskPart_[1] = target_;
  diskPart_[2] = targetStartLabel;
  diskPart_[3] = targetStart_;

  QLabel* fileLabel = label(tr("文件路径："));
  file_ = edit(fileLabel->text());
  browse_ = button(QStringLiteral("..."), [this] { chooseFile(file_, kImgFilter); });
  form->addWidget(fileLabel, 4, 0);
  form->addWidget(file_, 4, 1, 1, 3);
  form->addWidget(browse_, 4, 4);
  filePart_[0] = fileLabel;
  filePart_[1] = file_;
  filePart_[2] = browse_;

  // The map GNU ddrescue reads, so a copy that stopped or met bad sectors
  // can be taken further by it.
  withMap_ = new QCheckBox(tr("映射文件："), this);
  named(withMap_, tr("保存ddrescue映射文件"));
  withMap_->setToolTip(tr("同时保存 GNU ddrescue 格式的映射文件，记录已复制、坏扇区和未复制的部分"));
  mapfile_ = edit(tr("映射文件路径"));
  browseMap_ = button(QStringLiteral("..."), [this] { chooseFile(mapfile_, kMapFilter); });
  browseMap_->setAccessibleName(tr("浏览映射文件"));
  form->addWidget(withMap_, 5, 0);
  form->addWidget(mapfile_, 5, 1, 1, 3);
  form->addWidget(browseMap_, 5, 4);
  auto mapEnabled = [this] {
    bool on = withMap_->isChecked() && withMap_->isEnabled();
    mapfile_->setEnabled(on);
    browseMap_->setEnabled(on);
  };
  connect(withMap_, &QCheckBox::toggled, this, mapEnabled);
  // A copy that stopped, or left areas unread, goes on from its map: what
  // the map calls copied is never read again.
  resume_ = new QCheckBox(tr("继续上次的镜像"), this);
  named(resume_, resume_->text());
  resume_->setToolTip(tr("按映射文件继续：已复制的部分不再读取，只读取未完成的部分，无法读取的扇区再试一次"));
  connect(resume_, &QCheckBox::toggled, this, [this](bool on) {
    if (on) withMap_->setChecked(true);
  });
  connect(withMap_, &QCheckBox::toggled, this, [this](bool on) {
    if (!on) resume_->setChecked(false);
  });

  bar_ = new widgets::TextProgressBar(this);
  named(bar_, widgets::coreText(kTitleImaging));
  form->addWidget(bar_, 6, 0, 1, 5);
  counter_ = new QLabel(QStringLiteral("0"), this);
  counterLabel_ = label(tr("扇区完成镜像"));
  counterLabel_->hide();
  startButton_ = button(tr("开始"), [this] { start(); });
  stopButton_ = button(tr("停止"), [this] {
    if (copying()) block_.cancel();
  });
  auto* bottom = new QHBoxLayout;
  bottom->addWidget(counter_);
  bottom->addWidget(counterLabel_);
  bottom->addStretch(1);
  bottom->addWidget(startButton_);
  bottom->addWidget(stopButton_);
  form->addLayout(bottom, 7, 0, 1, 5);
  form->addWidget(resume_, 8, 0, 1, 5);
  form->setColumnMinimumWidth(1, 150);
  form->setColumnMinimumWidth(3, 110);

  auto* line = new QFrame(this);
  line->setFrameShape(QFrame::VLine);
  line->setFrameShadow(QFrame::Sunken);
  line_ = line;
  badList_ = new QTableWidget(0, 2, this);
  named(badList_, tr("坏扇区列表"));
  badList_->setHorizontalHeaderLabels({tr("坏扇区数目"), tr("坏扇区扇区号")});
  badList_->setSelectionBehavior(QAbstractItemView::SelectRows);
  badList_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  badList_->setShowGrid(true);
  badList_->verticalHeader()->hide();
  // Wide enough for the texts the rows hold.
  const QFontMetrics metrics(badList_->font());
  const int widths[2] = {std::max(50, metrics.horizontalAdvance(tr("第10000个坏扇区")) + 12),
                         std::max(100, metrics.horizontalAdvance(tr("坏扇区扇区号")) + 16)};
  for (int c = 0; c < 2; ++c) badList_->setColumnWidth(c, widths[c]);
  badList_->setFixedWidth(widths[0] + widths[1] + badList_->frameWidth() * 2 + 18);
  // Hidden until the first bad sector: the dialog ends at the line.
  line_->hide();
  badList_->hide();

  // Going on is offered for the copy that just ran: another source, target
  // or map is a new copy.
  for (QLineEdit* field : {source_, sourceStart_, target_, targetStart_, file_, mapfile_})
    connect(field, &QLineEdit::textChanged, this, [this] { resume_->setChecked(false); });
  connect(toDisk_, &QRadioButton::toggled, this, [this] { resume_->setChecked(false); });

  // The rescue as a picture: a grid over the source by map state, and the
  // bytes in each state, beside the bad-sector list.
  blockMap_ = new widgets::BlockMapView(this);
  blockMap_->setFixedSize(208, 160);
  counts_ = new QLabel(this);
  counts_->setWordWrap(true);
  counts_->setFixedWidth(208);
  counts_->setMinimumHeight(counts_->fontMetrics().lineSpacing() * 6);
  counts_->setAlignment(Qt::AlignTop | Qt::AlignLeft);
  auto* rescue = new QVBoxLayout;
  rescue->addWidget(blockMap_);
  rescue->addWidget(counts_, 1);

  auto* layout = new QHBoxLayout(this);
  layout->addLayout(form);
  layout->addLayout(rescue);
  layout->addWidget(line_);
  layout->addWidget(badList_);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  picker_ = new QTreeWidget(this);
  named(picker_, tr("选择磁盘或分区"));
  picker_->setHeaderHidden(true);
  picker_->hide();
  connect(picker_, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item) { pick(item); });
  for (QLineEdit* e : {source_, target_}) e->installEventFilter(this);
  picker_->installEventFilter(this);

  connect(toDisk_, &QRadioButton::toggled, this, [this](bool on) { setMode(on); });
  toDisk_->setChecked(true);
  setMode(true);
  mapEnabled();
}

bool ImagingDialog::widened() const { return badList_->isVisible(); }

void ImagingDialog::openFor(const QString& source) {
  source_->setText(source);
  sectorCount_->setText(number(endpointSizeSectors(catalogue_, source.toStdString())));
  badList_->setRowCount(0);
  line_->hide();
  badList_->hide();
  counter_->setText(QStringLiteral("0"));
  counterLabel_->hide();
  bar_->setProgress(0, 0);
  hidePicker();
  show();
  raise();
  activateWindow();
}

// A click into an endpoint field (or Down in it) opens the list of disks
// and partitions under it; Escape closes the list.
bool ImagingDialog::eventFilter(QObject* watched, QEvent* event) {
  auto* edit = qobject_cast<QLineEdit*>(watched);
  if (edit && edit->isEnabled()) {
    if (event->type() == QEvent::MouseButtonPress) showPicker(edit);
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Down) {
      showPicker(edit);
      return true;
    }
  }
  if (watched == picker_ && event->type() == QEvent::KeyPress &&
      static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
    hidePicker();
    return true;
  }
  return QDialog::eventFilter(watched, event);
}

void ImagingDialog::showPicker(QLineEdit* edit) {
  picker_->clear();
  for (const DiskRecord& disk : catalogue_.disks) {
    auto* top = new QTreeWidgetItem(picker_, {widgets::qtText(displayName(disk))});
    for (const PartitionRecord& p : disk.partitions) new QTreeWidgetItem(top, {widgets::qtText(partitionText(p))});
  }
  picker_->expandAll();
  pickingFor_ = edit;
  QPoint at = edit->mapTo(this, QPoint(0, edit->height()));
  picker_->setGeometry(at.x(), at.y(), edit->width(), edit->height() * 4);
  picker_->show();
  picker_->raise();
  picker_->setFocus();
}

void ImagingDialog::pick(QTreeWidgetItem* item) {
  if (!pickingFor_ || !item) return;
  QString text = item->parent() ? item->parent()->text(0) + QLatin1Char(',') + item->text(0) : item->text(0);
  pickingFor_->setText(text);
  if (pickingFor_ == source_) sectorCount_->setText(number(endpointSizeSectors(catalogue_, text.toStdString())));
  QLineEdit* edit = pickingFor_;
  hidePicker();
  edit->setFocus();
}

void ImagingDialog::hidePicker() {
  picker_->hide();
  pickingFor_ = nullptr;
}

void ImagingDialog::setMode(bool toDisk) {
  for (QWidget* w : diskPart_) w->setEnabled(toDisk);
  for (QWidget* w : filePart_) w->setEnabled(!toDisk);
}

void ImagingDialog::setInputsEnabled(bool enabled) {
  for (QWidget* w : std::initializer_list<QWidget*>{source_, sourceStart_, sectorCount_, toDisk_, toFile_, withMap_, resume_})
    w->setEnabled(enabled);
  for (QWidget* w : diskPart_) w->setEnabled(enabled && toDisk_->isChecked());
  for (QWidget* w : filePart_) w->setEnabled(enabled && !toDisk_->isChecked());
  mapfile_->setEnabled(enabled && withMap_->isChecked());
  browseMap_->setEnabled(enabled && withMap_->isChecked());
  startButton_->setEnabled(enabled);
}

// The chooser asks before it lets an existing file be chosen; that answer
// stands for the start.
void ImagingDialog::chooseFile(QLineEdit* edit, const char* filter) {
  QString path = dialogs_.saveFile(this, QString::fromUtf8(filter));
  if (path.isEmpty()) return;
  edit->setText(path);
  confirmedFiles_.insert(path);
}

void ImagingDialog::start() {
  if (copying()) return;
  hidePicker();
  ImagingForm form;
  form.source = source_->text().toStdString();
  form.sectorCount = sectorCount_->text().toStdString();
  form.sourceStart = sourceStart_->text().trimmed().toStdString();
  form.toDisk = toDisk_->isChecked();
  form.filePath = file_->text().toStdString();
  form.target = target_->text().toStdString();
  form.targetStart = targetStart_->text().trimmed().toStdString();
  form.withMapfile = withMap_->isChecked();
  form.mapfile = mapfile_->text().toStdString();
  form.resume = resume_->isChecked();
  // Going on tries what never read once more too: a card that failed may
  // read after being seated again.
  form.retryPasses = form.resume ? 1 : 0;
  DialogMessageSink messages(dialogs_, this);
  std::optional<ImagingJob> job = imagingJobFromForm(catalogue_, form, messages);
  if (!job) return;
  if (imagingTargetInUse(*job)) {
    messages.show(kMsgTargetInUse, kCaptionError);
    return;
  }
  auto unconfirmed = [this](const QString& path) {
    return !path.isEmpty() && !confirmedFiles_.contains(path) && QFileInfo::exists(path);
  };
  std::string targetText = form.target + (job->target.devicePath.empty() ? "" : " (" + job->target.devicePath + ")");
  std::optional<Question> question =
      // Going on writes into the copy and its map; it replaces neither.
      imagingQuestion(*job, imagingSectors(*job), targetText, !job->toDisk && !job->resume && unconfirmed(file_->text()),
                      !job->mapfile.empty() && !job->resume && unconfirmed(mapfile_->text()), Wording::Chinese);
  if (question &&
      !dialogs_.confirm(this, widgets::coreText(question->text), job->toDisk ? tr("警告") : applicationTitle()))
    return;
  // The question let other commands run; a copy may have started meanwhile.
  if (copying()) return;

  // A target drive held through the system's read grant is asked for
  // write access first; the copy starts once it is given.
  const std::string targetDevice = job->toDisk ? job->target.devicePath : std::string();
  auto run = [this, job = std::move(*job)]() mutable { runCopy(std::move(job)); };
  if (targetDevice.empty()) return run();
  withWriteAccess(targetDevice, dialogs_, this, std::move(run));
}

void ImagingDialog::runCopy(ImagingJob job) {
  if (copying()) return;
  monitor_ = std::make_shared<RescueMonitor>();
  seenSnapshot_ = 0;
  job.monitor = monitor_;
  auto shared = std::make_shared<const ImagingJob>(std::move(job));
  auto outcome = std::make_shared<ImagingOutcome>();
  LongOperation operation = imagingOperation(*shared, *outcome, [this](uint64_t ordinal, uint64_t sector) {
    QMetaObject::invokeMethod(this, [this, ordinal, sector] { addBadSector(ordinal, sector); }, Qt::QueuedConnection);
  });
  operation.marker = &processMarkers().imaging;
  runner_.start(std::move(operation), this, [this, shared, outcome](OperationEnd& end) {
    finishRun(*shared, *outcome, end);
    end.messages.clear();
  });
}

void ImagingDialog::begin() {
  setInputsEnabled(false);
  blockMap_->setCells({});
  counts_->clear();
  badList_->setRowCount(0);
  counter_->setText(QStringLiteral("0"));
  counterLabel_->setText(tr("扇区完成镜像"));
  counterLabel_->show();
  stopButton_->setEnabled(true);
  block_.clearCancel();
  block_.clearText();
  block_.setRange(0, 1);
  bar_->setProgress(0, 0);
}

void ImagingDialog::end() {
  showRescue();
  setInputsEnabled(true);
  counterLabel_->setText(tr("扇区完成镜像"));
  stopButton_->setEnabled(true);
}

void ImagingDialog::addBadSector(uint64_t ordinal, uint64_t sector) {
  int row = badList_->rowCount();
  badList_->insertRow(row);
  badList_->setItem(row, 0, new QTableWidgetItem(widgets::coreText(badSectorRowText(ordinal))));
  badList_->setItem(row, 1, new QTableWidgetItem(number(sector)));
  if (widened()) return;
  line_->show();
  badList_->show();
}

// The counter's caption says the copy is stopping until it has.
void ImagingDialog::stopping() {
  stopButton_->setEnabled(false);
  counterLabel_->setText(tr("正在停止..."));
  counterLabel_->show();
}

void ImagingDialog::showProgress() {
  bar_->setProgress(block_.position(), block_.upper());
  QString done = widgets::coreText(block_.text());
  if (!done.isEmpty()) counter_->setText(done);
  showRescue();
}

// The latest state of the map: the picture and the counts.
void ImagingDialog::showRescue() {
  if (!monitor_ || monitor_->updates() == seenSnapshot_) return;
  seenSnapshot_ = monitor_->updates();
  const RescueSnapshot snapshot = monitor_->snapshot();
  std::string cells;
  for (RescueState state : rescueGrid(snapshot.areas, snapshot.domain, static_cast<size_t>(blockMap_->cellCount())))
    cells += static_cast<char>(state);
  blockMap_->setCells(cells);
  counts_->setText(rescueCountsText(snapshot));
  counts_->setAccessibleName(counts_->text());
}

// The end is told honestly: "镜像完毕" names the sectors that could not be
// read, a stop says what was kept. The dialog stays for its list to be read.
void ImagingDialog::finishRun(const ImagingJob& job, const ImagingOutcome& outcome, const OperationEnd& end) {
  const std::string shortfall = imagingShortfallText(job, outcome);
  bool told = false;
  for (const RecordingMessageSink::Message& m : end.messages) {
    std::string text = m.text;
    if (text == kMsgImagingDone && !shortfall.empty()) {
      text += "\n" + shortfall;
      told = true;
    }
    dialogs_.message(this, widgets::coreText(text), widgets::coreText(m.caption));
  }
  if (!told && !shortfall.empty() && outcome.status == ImagingStatus::Stopped)
    dialogs_.message(this, widgets::coreText(shortfall), applicationTitle());
  // A copy with a map that stopped or left areas unread is taken further
  // by the next start.
  resume_->setChecked(outcome.mapfileSaved && !outcome.whole());
  emit imagingFinished();
}

// Closing stops a copy that runs; what was written stays.
void ImagingDialog::closeEvent(QCloseEvent* event) {
  if (copying()) block_.cancel();
  hidePicker();
  QDialog::closeEvent(event);
}

}  // namespace dudorazu::shell
