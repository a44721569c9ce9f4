#include "shell/main_window.h"

#include <QDir>
#include <QFileInfo>
#include <QAction>
#include <QActionGroup>
#include <QCloseEvent>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QGuiApplication>
#include <QMenuBar>
#include <QPointer>
#include <QScreen>
#include <QSettings>
#include <QStatusBar>
#include <QTabBar>
#include <QToolBar>
#include <QUrl>

#include "core/device/map_limited_device.h"
#include "core/common/long_operation.h"
#include "core/partitions/file_system_text.h"
#include "core/present/statistics.h"
#include "shell/commands.h"
#include "shell/disk_scans.h"
#include "shell/disk_window.h"
#include "shell/drive_access.h"
#include "shell/imaging_dialog.h"
#include "shell/language.h"
#include "shell/manual.h"
#include "shell/partition_window.h"
#include "shell/region_dialog.h"
#include "shell/table_operation_dialog.h"
#include "shell/table_operations.h"
#include "shell/user_dialogs.h"
#include "widgets/disk_tree_model.h"
#include "widgets/qt_text.h"
#include "widgets/tree_list_view.h"

namespace dudorazu::shell {
namespace {

// The disk window's tab cannot be closed.
class KeepOpen : public QObject {
 public:
  using QObject::QObject;
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() != QEvent::Close) return false;
    event->ignore();
    return true;
  }
};

}  // namespace

MainWindow::MainWindow(DiskCatalogue& catalogue, UserDialogs& dialogs, QWidget* parent)
    : QMainWindow(parent), catalogue_(catalogue), dialogs_(dialogs), runner_(dialogs, this) {
  setWindowTitle(applicationTitle());
  commands_ = new Commands(this);
  mdi_ = new QMdiArea(this);
  mdi_->setViewMode(QMdiArea::TabbedView);
  mdi_->setTabsClosable(true);
  mdi_->setDocumentMode(true);
  setCentralWidget(mdi_);

  diskWindow_ = new DiskWindow(catalogue_, this);
  diskSubWindow_ = mdi_->addSubWindow(diskWindow_);
  diskSubWindow_->installEventFilter(new KeepOpen(diskSubWindow_));
  if (auto* tabs = mdi_->findChild<QTabBar*>())
    for (auto side : {QTabBar::LeftSide, QTabBar::RightSide})
      if (QWidget* button = tabs->tabButton(0, side)) button->hide();
  connect(diskWindow_, &DiskWindow::openPartitionRequested, this, &MainWindow::openPartitionWindow);
  connect(diskWindow_, &DiskWindow::closeImageRequested, this, &MainWindow::closeImage);
  connect(diskWindow_, &DiskWindow::unopenedDriveRequested, this, [this](const QString& devicePath) {
    openUnopenedDrive(*diskWindow_, catalogue_, dialogs_, devicePath.toStdString());
  });
  scans_ = new DiskScans(*diskWindow_, dialogs_, this);
  connect(diskWindow_, &DiskWindow::searchRequested, scans_, &DiskScans::search);
  connect(diskWindow_, &DiskWindow::partitionScanRequested, scans_, &DiskScans::partitionScan);
  connect(diskWindow_, &DiskWindow::commandRequested, this, [this](int id) {
    if (QAction* a = commands_->action(static_cast<CommandId>(id)); a && a->isEnabled()) a->trigger();
  });
  imaging_ = new ImagingDialog(catalogue_, dialogs_, this);

  buildMenus();
  buildToolbar();
  buildStatusBar();
  connectCommands();
  restorePlacement();
  connect(mdi_, &QMdiArea::subWindowActivated, this, &MainWindow::currentWindowChanged);
  diskSubWindow_->showMaximized();
  mdi_->setActiveSubWindow(diskSubWindow_);
  currentWindowChanged(diskSubWindow_);
}

// One menu of each title for both kinds of window, its entries changed in
// place: assistive technology knows a command's entry by its action and the
// first menu it met it in, so an action in two menus reads as hidden in the
// one on screen.
void MainWindow::buildMenus() {
  // Named by their Chinese titles in every language, for the tests and
  // assistive technology to find them by.
  auto menu = [this](const char* title) {
    auto* m = new QMenu(tr(title), this);
    m->menuAction()->setObjectName(QString::fromUtf8(title));
    return m;
  };
  fileMenu_ = menu(QT_TR_NOOP("文件(&F)"));
  fileMenu_->addAction(commands_->action(kOpenImage));
  fileMenu_->addSeparator();
  fileMenu_->addSeparator();  // the recent files stand between the two
  fileMenu_->addAction(commands_->action(kCloseApp));
  recoverMenu_ = menu(QT_TR_NOOP("恢复(&R)"));
  for (CommandId id : {kSaveSelected, kSaveTicked, kStatistics}) recoverMenu_->addAction(commands_->action(id));
  recoverMenu_->addSeparator();
  recoverMenu_->addAction(commands_->action(kCheckAll));
  recoverMenu_->addAction(commands_->action(kUncheckAll));
  toolsMenu_ = menu(QT_TR_NOOP("工具(&T)"));
  QMenu* help = menu(QT_TR_NOOP("帮助(&H)"));
  help->addAction(commands_->action(kHelp));
  help->addAction(commands_->action(kAbout));
  // Each language is named in its own words. The choice is stored and
  // taken at the next start: the windows are made in one language.
  QMenu* languages = help->addMenu(tr("语言"));
  auto* choice = new QActionGroup(languages);
  for (auto [language, name] : {std::pair{Language::Chinese, QStringLiteral("中文")},
                                std::pair{Language::English, QStringLiteral("English")}}) {
    QAction* a = choice->addAction(name);
    a->setCheckable(true);
    a->setChecked(currentLanguage() == language);
    connect(a, &QAction::triggered, this, [this, language] {
      storeLanguage(language);
      dialogs_.message(this, tr("重新启动后生效"), applicationTitle());
    });
  }
  languages->addActions(choice->actions());
  for (QMenu* m : {fileMenu_, recoverMenu_, toolsMenu_, help}) menuBar()->addMenu(m);
  fillRecentMenus();
}

// The partition window's entries join the menus; the disk window's leave.
void MainWindow::showMenusOf(bool partition) {
  for (CommandId id : {kReload, kClosePartition}) fileMenu_->removeAction(commands_->action(id));
  if (partition) {
    QAction* firstSeparator = fileMenu_->actions().at(1);
    fileMenu_->insertActions(firstSeparator, {commands_->action(kReload), commands_->action(kClosePartition)});
  }
  recoverMenu_->menuAction()->setVisible(partition);
  toolsMenu_->clear();
  toolsMenu_->addAction(commands_->action(kPartitionSearch));
  if (partition) {
    toolsMenu_->addAction(commands_->action(kLostFileScan));
  } else {
    toolsMenu_->addAction(commands_->action(kWholeDiskScan));
    toolsMenu_->addAction(commands_->action(kTableOperation));
  }
}

void MainWindow::buildToolbar() {
  QToolBar* bar = addToolBar(tr("工具栏"));
  bar->setObjectName(QStringLiteral("toolbar"));
  bar->setAccessibleName(bar->windowTitle());
  for (CommandId id : Commands::toolbarOrder()) {
    QAction* a = commands_->action(id);
    bar->addAction(a);
    bar->widgetForAction(a)->setAccessibleName(a->text().simplified());
  }
}

// Three panes: the idle text, the shown folder's totals, the save total.
void MainWindow::buildStatusBar() {
  for (int i = 0; i < 3; ++i) {
    panes_[i] = new QLabel(this);
    statusBar()->addWidget(panes_[i], i == 0 ? 1 : 2);
  }
  panes_[0]->setText(tr("Ready"));
}

void MainWindow::connectCommands() {
  auto on = [this](CommandId id, auto slot) { connect(commands_->action(id), &QAction::triggered, this, slot); };
  on(kOpenImage, [this] { chooseImageFile(); });
  on(kCloseApp, [this] { close(); });
  on(kClosePartition, [this] {
    if (currentPartitionWindow()) mdi_->closeActiveSubWindow();
  });
  on(kReload, [this] {
    if (PartitionWindow* w = currentPartitionWindow()) w->reload();
  });
  on(kSaveSelected, [this] {
    if (PartitionWindow* w = currentPartitionWindow()) w->singleSave(SaveOrigin::MainMenu);
  });
  on(kSaveTicked, [this] {
    if (PartitionWindow* w = currentPartitionWindow()) w->batchSave(SaveOrigin::MainMenu);
  });
  on(kStatistics, [this] {
    if (PartitionWindow* w = currentPartitionWindow()) w->leftStatistics();
  });
  on(kCheckAll, [this] {
    if (PartitionWindow* w = currentPartitionWindow()) w->markAll(1);
  });
  on(kUncheckAll, [this] {
    if (PartitionWindow* w = currentPartitionWindow()) w->markAll(0);
  });
  on(kFind, [this] {
    if (PartitionWindow* w = currentPartitionWindow()) w->find();
  });
  on(kLostFileScan, [this] {
    if (PartitionWindow* w = currentPartitionWindow()) w->lostFileScan(false);
  });
  on(kTableOperation, [this] { tableOperation(); });
  // The disk tree's current row, whichever window is current.
  on(kPartitionSearch, [this] { scans_->search(diskWindow_->diskTree()->currentIndex()); });
  on(kWholeDiskScan, [this] { scans_->wholeDiskScan(diskWindow_->diskTree()->currentIndex()); });
  on(kCreateImage, [this] { createImage(); });
  on(kRegion, [this] { createRegion(); });
  on(kHelp, [this] { showManual(); });
  on(kAbout, [this] {
    dialogs_.about(this, tr("关于 ") + applicationTitle(), applicationTitle() + tr(" 0.1\nexFAT 数据恢复工具"));
  });
}

// Backup, restore or rebuild for the disk tree's current row.
void MainWindow::tableOperation() {
  if (currentDocument() != diskSubWindow_) return;
  TableOperationDialog dialog(this);
  if (!dialogs_.run(dialog)) return;
  QModelIndex row = diskWindow_->diskTree()->currentIndex();
  switch (dialog.choice()) {
    case TableOperationDialog::kBackup:
      backupTableOf(*diskWindow_->diskModel(), row, runner_, dialogs_, this);
      break;
    case TableOperationDialog::kRestore:
      restoreTableOf(*diskWindow_->diskModel(), row, runner_, dialogs_, this);
      break;
    case TableOperationDialog::kRebuild:
      rebuildTableOf(*diskWindow_->diskModel(), row, runner_, dialogs_, this);
      break;
    default: dialogs_.message(this, tr("请选择分区操作类型！"), widgets::coreText(kCaptionError));
  }
}

// The imaging dialog with the disk tree's current row as its source; one
// dialog at a time.
void MainWindow::createImage() {
  QModelIndex row = diskWindow_->diskTree()->currentIndex().siblingAtColumn(0);
  if (!row.isValid()) {
    dialogs_.message(this, tr("请选择源文件"), widgets::coreText(kCaptionError));
    return;
  }
  if (refusedWhileRunning(imaging_->busy(), dialogs_, this)) return;
  QString source = row.data().toString();
  if (row.parent().isValid()) source = row.parent().data().toString() + QLatin1Char(',') + source;
  imaging_->openFor(source);
}

// A region on the disk of the disk tree's current row gets its row there.
void MainWindow::createRegion() {
  if (DiskRecord* disk = createRegionOn(*diskWindow_->diskModel(), diskWindow_->diskTree()->currentIndex(), dialogs_, this))
    diskWindow_->diskModel()->addNewPartitionRows(*disk);
}

// Until a window has been activated, the disk window counts as current.
QMdiSubWindow* MainWindow::currentDocument() const {
  QMdiSubWindow* current = mdi_->currentSubWindow();
  return current ? current : diskSubWindow_;
}

PartitionWindow* MainWindow::currentPartitionWindow() const {
  return qobject_cast<PartitionWindow*>(currentDocument()->widget());
}

QList<PartitionWindow*> MainWindow::partitionWindows() const {
  QList<PartitionWindow*> list;
  for (QMdiSubWindow* w : mdi_->subWindowList())
    if (auto* p = qobject_cast<PartitionWindow*>(w->widget())) list.append(p);
  return list;
}

// The menus and the commands follow the kind of the current window.
void MainWindow::currentWindowChanged(QMdiSubWindow* window) {
  if (!window) return;
  bool partition = window != diskSubWindow_;
  partitionMenus_ = partition;
  // The totals pane speaks of the window in front, not of the one before.
  auto* shown = qobject_cast<PartitionWindow*>(window->widget());
  panes_[1]->setText(shown ? shown->status() : QString());
  showMenusOf(partition);
  commands_->action(kOpenImage)->setEnabled(!partition);
  for (CommandId id : {kReload, kClosePartition, kSaveSelected, kSaveTicked, kStatistics, kCheckAll, kUncheckAll,
                       kLostFileScan, kFind})
    commands_->action(id)->setEnabled(partition);
}

// The manual ships with the program; a build run from its tree reads the
// one in the sources.
void MainWindow::showManual() {
  QString page = manualIndex();
  if (page.isEmpty()) {
    dialogs_.message(this, tr("找不到帮助文档（manual/index.html），请重新安装本程序。"),
                     widgets::coreText(kCaptionError));
    return;
  }
  if (!manual_) manual_ = new ManualWindow(this);
  manual_->showPage(page);
}

void MainWindow::chooseImageFile() {
  if (currentDocument() != diskSubWindow_) return;
  QString path = dialogs_.openFile(this, QString::fromUtf8(kImgFilter));
  if (!path.isEmpty()) openImageFile(path);
}

// An image that cannot be catalogued shows nothing.
void MainWindow::openImageFile(const QString& path) {
  if (currentDocument() != diskSubWindow_) return;
  if (!diskWindow_->openImage(path)) return;
  addRecentFile(path);
  takeRescueMap(path);
}

// An image made by a rescue carries its map beside it ("x.img.map" or
// "x.map"): only what the map calls copied is the disk's own, so every
// other area reads as unreadable from now on, and each file's state says
// what lies there before anything is saved.
void MainWindow::takeRescueMap(const QString& image) {
  const QFileInfo info(image);
  for (const QString& candidate : {image + QStringLiteral(".map"), info.dir().filePath(info.completeBaseName() + QStringLiteral(".map"))}) {
    if (!QFileInfo(candidate).isFile()) continue;
    std::string error;
    std::optional<RescueMap> map = RescueMap::load(candidate.toStdString(), error);
    if (!map) {
      dialogs_.message(this, tr("映射文件无法使用：%1\n%2").arg(candidate, widgets::qtText(error)),
                       widgets::coreText(kCaptionError));
      return;
    }
    limitReadsToMap(image.toStdString(), std::make_shared<const RescueMap>(std::move(*map)));
    panes_[0]->setText(tr("已按映射文件 %1 把未复制的区域视为无法读取").arg(QFileInfo(candidate).fileName()));
    return;
  }
}

PartitionWindow* MainWindow::openPartitionWindow(DiskRecord* disk, PartitionRecord* partition) {
  if (currentDocument() != diskSubWindow_) return nullptr;
  QString key = PartitionWindow::keyOf(*disk, *partition);
  for (PartitionWindow* open : partitionWindows()) {
    if (open->key() != key) continue;
    dialogs_.message(this, tr("此分区已打开！"), applicationTitle());
    return nullptr;
  }
  // A volume whose main boot sector is gone opens through its backup.
  if (!holdsExfatVolume(*partition)) return nullptr;
  auto* window = new PartitionWindow(*disk, *partition, dialogs_);
  QMdiSubWindow* sub = mdi_->addSubWindow(window);
  sub->setAttribute(Qt::WA_DeleteOnClose);
  connect(window, &PartitionWindow::statusText, panes_[1], &QLabel::setText);
  connect(window, &PartitionWindow::saveTotal, panes_[2], &QLabel::setText);
  connect(window, &PartitionWindow::statistics, this, [this](const QString& text) {
    panes_[2]->setText(text);
    dialogs_.message(this, text, widgets::coreText(kStatisticsCaption));
  });
  // Named again once the closed tab has gone from the list.
  connect(sub, &QObject::destroyed, this, &MainWindow::nameTabs, Qt::QueuedConnection);
  sub->showMaximized();
  mdi_->setActiveSubWindow(sub);
  nameTabs();
  return window;
}

// Every image's first partition is "Partition0": where two tabs would read
// the same, each also names its disk. The tool tip always says disk,
// partition and label.
void MainWindow::nameTabs() {
  const QList<PartitionWindow*> windows = partitionWindows();
  QStringList titles;
  for (PartitionWindow* w : windows) titles << widgets::qtText(partitionText(w->partition()));
  for (qsizetype i = 0; i < windows.size(); ++i) {
    PartitionWindow* w = windows[i];
    const QString disk = widgets::qtText(displayName(w->disk()));
    QString title = titles[i];
    if (titles.count(titles[i]) > 1) title += QStringLiteral(" - ") + disk;
    QString tip = tr("磁盘：") + disk + tr("\n分区：") + titles[i];
    if (!w->partition().label.empty()) tip += tr("\n卷标：") + widgets::qtText(w->partition().label);
    // The sub-window and its tab take the title from the window itself.
    w->setWindowTitle(title);
    w->setToolTip(tip);
  }
  // The tab bar has no tips of its own: each tab takes its window's.
  if (auto* tabs = mdi_->findChild<QTabBar*>()) {
    const QList<QMdiSubWindow*> subs = mdi_->subWindowList();
    for (int i = 0; i < tabs->count() && i < subs.size(); ++i) tabs->setTabToolTip(i, subs[i]->widget()->toolTip());
  }
}

void MainWindow::addRecentFile(const QString& path) {
  recent_.removeAll(path);
  recent_.prepend(path);
  while (recent_.size() > kRecentFiles) recent_.removeLast();
  QSettings().setValue(QStringLiteral("recentFiles"), recent_);
  fillRecentMenus();
}

// The recent files stand between the two separators of the file menu.
void MainWindow::fillRecentMenus() {
  QList<QAction*> all = fileMenu_->actions();
  int first = -1, second = -1;
  for (int i = 0; i < all.size(); ++i) {
    if (!all[i]->isSeparator()) continue;
    (first < 0 ? first : second) = i;
  }
  for (int i = first + 1; i < second; ++i) {
    fileMenu_->removeAction(all[i]);
    all[i]->deleteLater();
  }
  for (int i = 0; i < recent_.size(); ++i) {
    QString path = recent_[i];
    auto* a = new QAction(QStringLiteral("&%1 %2").arg(i + 1).arg(path), fileMenu_);
    connect(a, &QAction::triggered, this, [this, path] { openImageFile(path); });
    fileMenu_->insertAction(all[second], a);
  }
}

void MainWindow::restorePlacement() {
  QSettings settings;
  recent_ = settings.value(QStringLiteral("recentFiles")).toStringList().mid(0, kRecentFiles);
  fillRecentMenus();
  QByteArray geometry = settings.value(QStringLiteral("geometry")).toByteArray();
  // The first run fills the desktop's work area.
  if (geometry.isEmpty() || !restoreGeometry(geometry))
    if (QScreen* screen = QGuiApplication::primaryScreen()) setGeometry(screen->availableGeometry());
  restoreState(settings.value(QStringLiteral("windowState")).toByteArray());
  if (geometry.isEmpty() || settings.value(QStringLiteral("maximized"), true).toBool())
    setWindowState(windowState() | Qt::WindowMaximized);
}

void MainWindow::savePlacement() {
  QSettings settings;
  settings.setValue(QStringLiteral("geometry"), saveGeometry());
  settings.setValue(QStringLiteral("maximized"), isMaximized());
  settings.setValue(QStringLiteral("windowState"), saveState());
}

// The one closing rule: once the user agrees, every operation is asked to
// stop (a partition window's through its own close), and the program
// closes when the last has ended; the work points into what the windows own.
void MainWindow::closeEvent(QCloseEvent* event) {
  if (!closing_ && !dialogs_.confirm(this, stopQuestion(runningTitles(), tr("退出"), tr("您真的要退出程序吗?")),
                                     applicationTitle())) {
    event->ignore();
    return;
  }
  closing_ = true;
  if (!everythingEnded()) {
    panes_[0]->setText(tr("正在停止当前操作，结束后退出..."));
    event->ignore();
    return;
  }
  savePlacement();
  event->accept();
}

// True when nothing runs any more; otherwise the close is tried again when
// the next piece of work ends.
bool MainWindow::everythingEnded() {
  auto again = [self = QPointer<MainWindow>(this)] {
    if (self && self->closing_) QMetaObject::invokeMethod(self, [self] { if (self) self->close(); }, Qt::QueuedConnection);
  };
  bool ended = true;
  for (OperationRunner* runner : {&scans_->runner(), &imaging_->runner(), &runner_})
    ended = runner->closeWhenIdle(again) && ended;
  for (PartitionWindow* w : partitionWindows()) {
    w->agreeToStop();
    QWidget* frame = w->parentWidget();
    if (frame->close()) continue;
    ended = false;
    connect(frame, &QObject::destroyed, this, again);
  }
  return ended;
}

QStringList MainWindow::runningTitles() {
  QStringList titles;
  for (OperationRunner* runner : {&scans_->runner(), &imaging_->runner(), &runner_}) titles << runner->runningTitles();
  for (PartitionWindow* w : partitionWindows()) titles << w->runningTitles();
  titles.removeDuplicates();
  return titles;
}

void MainWindow::closeImage(DiskRecord* disk) {
  bool waiting = false;
  for (PartitionWindow* w : partitionWindows()) {
    if (&w->disk() != disk) continue;
    QWidget* frame = w->parentWidget();
    if (frame->close()) continue;
    if (!w->stopAgreed()) return;
    // Stopping: the image closes once this window has gone.
    waiting = true;
    connect(frame, &QObject::destroyed, this, [self = QPointer<MainWindow>(this), disk] {
      QMetaObject::invokeMethod(self, [self, disk] { if (self) self->closeImage(disk); }, Qt::QueuedConnection);
    });
  }
  if (!waiting) diskWindow_->removeImageRows(disk);
}

}  // namespace dudorazu::shell
