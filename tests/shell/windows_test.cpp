// Whole flows of the desktop program on the bundled images: opening images
// and partitions, the folder tree and file list, check marks, stopping a
// load, the refusals, exit, and the names assistive technology reads.
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTextBrowser>
#include "shell/manual.h"
#include "shell/find_dialog.h"
#include "shell/progress_window.h"
#include "shell/save_dialog.h"
#include "shell/search_results.h"
#include "shell/table_operation_dialog.h"
#include "shell/rebuild_dialog.h"
#include "shell/region_dialog.h"
#include "shell/partition_search_window.h"
#include "shell/imaging_dialog.h"
#include "shell/language.h"
#include "shell/screenshot.h"
#include "support/faulty_device.h"
#include <QAccessible>
#include "shell/session.h"
#include "widgets/file_list_model.h"
#include "widgets/file_list_view.h"
#include "widgets/folder_tree_model.h"

using namespace dudorazu;
using namespace dudorazu::test;
using shell::MainWindow;
using shell::PartitionWindow;

namespace {

// Opens the image at `path` and the window of its first partition.
PartitionWindow* openFirst(Session& s, const QString& path, bool waitForLoad = true) {
  s.window.openImageFile(path);
  return s.open(s.disks().index(0, 0, s.disks().index(s.disks().rowCount() - 1, 0)), waitForLoad);
}

// Clicks the left row `path` (names below the root folder) of a partition window.
QModelIndex clickFolder(PartitionWindow& w, const QStringList& path) {
  widgets::FolderTreeModel& m = *w.folderModel();
  QModelIndex row = m.indexOf(m.root());
  for (const QString& name : path) row = childNamed(m, row, name);
  if (row.isValid()) emit w.folderTree()->clicked(row);
  return row;
}

// The windows made while it lives speak `language`; Chinese again after.
struct InLanguage {
  explicit InLanguage(shell::Language language) {
    if (language != shell::Language::Chinese) QVERIFY(shell::setLanguage(language));
  }
  ~InLanguage() { shell::setLanguage(shell::Language::Chinese); }
};

using Shown = QPair<QString, QString>;  // the window, a text it shows

// Every text `window` shows or names: its title, its widgets' texts, tool
// tips and accessible names, its actions and menus, its tabs and the
// headers and rows of its views. Names read from the disk are left out.
void collectTexts(QWidget& window, QList<Shown>& out) {
  const QString name = QString::fromLatin1(window.metaObject()->className());
  auto add = [&](const QString& text) {
    if (!text.trimmed().isEmpty()) out.append({name, text});
  };
  std::function<void(const QAbstractItemModel&, const QModelIndex&, int)> rows =
      [&](const QAbstractItemModel& m, const QModelIndex& parent, int depth) {
        auto* folders = qobject_cast<const widgets::FolderTreeModel*>(&m);
        for (int r = 0; r < std::min(m.rowCount(parent), 100); ++r)
          for (int c = 0; c < m.columnCount(parent); ++c) {
            const QModelIndex at = m.index(r, c, parent);
            const ExfatFileRecord* record = folders ? folders->recordAt(at) : nullptr;
            if ((record && record->parent) || (qobject_cast<const widgets::FileListModel*>(&m) && c == 0)) continue;
            add(at.data().toString());
            add(at.data(Qt::ToolTipRole).toString());
            if (c == 0 && depth < 4) rows(m, at, depth + 1);
          }
      };
  add(window.windowTitle());
  QList<QWidget*> all = window.findChildren<QWidget*>();
  all.prepend(&window);
  for (QWidget* w : all) {
    add(w->toolTip());
    add(w->accessibleName());
    add(w->accessibleDescription());
    if (auto* l = qobject_cast<QLabel*>(w)) add(l->text());
    if (auto* b = qobject_cast<QAbstractButton*>(w)) add(b->text());
    if (auto* g = qobject_cast<QGroupBox*>(w)) add(g->title());
    if (auto* p = qobject_cast<QProgressBar*>(w)) add(p->text());
    if (auto* m = qobject_cast<QMenu*>(w)) add(m->title());
    if (auto* c = qobject_cast<QComboBox*>(w))
      for (int i = 0; i < c->count(); ++i) add(c->itemText(i));
    if (auto* t = qobject_cast<QTabBar*>(w))
      for (int i = 0; i < t->count(); ++i) add(t->tabText(i) + "\n" + t->tabToolTip(i));
    if (auto* v = qobject_cast<QAbstractItemView*>(w); v && v->model()) {
      for (int c = 0; c < v->model()->columnCount(); ++c) add(v->model()->headerData(c, Qt::Horizontal).toString());
      rows(*v->model(), {}, 0);
    }
  }
  for (QAction* a : window.findChildren<QAction*>()) add(a->text() + "\n" + a->toolTip());
}

}  // namespace

class WindowsTest : public QObject {
  Q_OBJECT
  ScratchSettings settings_;

 private slots:
  void openImageListsItsRowsAndItsMenus() {
    Session s;
    s.dialogs.nextFile = image("sample-disk.img");
    s.window.commands().action(shell::kOpenImage)->trigger();
    QCOMPARE(s.dialogs.filters, QStringList{QStringLiteral("Img files(*.img);;All files(*)")});
    QCOMPARE(childTexts(s.disks()), QStringList{QStringLiteral("sample-disk.img")});
    QModelIndex disk = s.disks().index(0, 0);
    QVERIFY(s.window.diskWindow()->diskTree()->isExpanded(disk));
    QModelIndex part = s.disks().index(0, 0, disk);
    QStringList texts;
    for (int c = 0; c < widgets::DiskTreeModel::kColumnCount; ++c) texts << part.siblingAtColumn(c).data().toString();
    QCOMPARE(texts, (QStringList{"Partition0", "SAMPLE", "exFat", "1.0 MB", "15.0 MB"}));
    QCOMPARE(s.disks().index(0, widgets::DiskTreeModel::kStart).data().toString(), QStringLiteral("0"));
    QCOMPARE(s.window.recentFiles(), QStringList{s.dialogs.nextFile});
    QCOMPARE(headers(s.disks()), (QStringList{"磁盘", "标签", "文件类型", "起始地址", "大小"}));
    QVERIFY(!part.data(Qt::ForegroundRole).isValid());
    s.catalogue.disks.back().partitions.front().searchKind = kSearchKindFound;
    QCOMPARE(part.data(Qt::ForegroundRole).value<QBrush>().color(), QColor(0, 0x80, 0));

    emit s.window.diskWindow()->diskTree()->clicked(part);
    QAbstractItemModel* props = s.window.diskWindow()->propertiesView()->model();
    QCOMPARE(props->headerData(1, Qt::Horizontal).toString(), QStringLiteral("Value"));
    QCOMPARE(childNamed(*props, {}, QStringLiteral("名称")).siblingAtColumn(1).data().toString(),
             QStringLiteral("Partition0"));

    struct Menu {
      QModelIndex row;
      QStringList texts;
      QList<bool> enabled;
    };
    for (const Menu& m : {Menu{part, {"创建分区镜像文件     Ctrl+Alt+J", "提取分区空闲空间     Ctrl+Alt+G", "分区扫描"},
                               {true, false, true}},
                          Menu{disk, {"扫描丢失分区    Ctrl+Alt+P", "分区表操作     Ctrl+Alt+O", "关闭镜像文件"},
                               {true, true, true}}}) {
      QMenu* menu = s.window.diskWindow()->contextMenuFor(m.row);
      QStringList texts;
      QList<bool> enabled;
      for (QAction* a : menu->actions()) texts << a->text(), enabled << a->isEnabled();
      QCOMPARE(texts, m.texts);
      QCOMPARE(enabled, m.enabled);
    }
    s.window.diskWindow()->contextMenuFor(disk)->actions().back()->trigger();
    QCOMPARE(s.disks().rowCount(), 0);
    // Tables that count 4 KiB sectors: the partition lies where its bytes do.
    for (const char* fourK : {"geometry-mbr4k.img", "geometry-gpt4k.img"}) {
      s.window.openImageFile(image(fourK));
      QModelIndex volume = s.disks().index(0, 0, s.disks().index(s.disks().rowCount() - 1, 0));
      QCOMPARE(volume.siblingAtColumn(widgets::DiskTreeModel::kStart).data().toString() + " " +
                   volume.siblingAtColumn(widgets::DiskTreeModel::kSize).data().toString(),
               QStringLiteral("1.0 MB 23.0 MB"));
    }

    // The four images opened last are offered again in the next run.
    QStringList opened;
    for (const char* name : {"partitions-mbr.img", "partitions-gpt.img", "partitions-apple.img", "partitions-hfs.img"})
      s.window.openImageFile(opened.emplaceFront(image(name)));
    Session next;
    QCOMPARE(next.window.recentFiles(), opened);
  }

  void doubleClickOpensOneWindowPerExfatPartition() {
    Session s;
    s.window.openImageFile(image("sample-disk.img"));
    s.window.openImageFile(image("partitions-mbr.img"));
    QCOMPARE(s.open(s.row("partitions-mbr.img", "Partition3")), nullptr);  // NTFS
    QCOMPARE(s.disks().index(3, widgets::DiskTreeModel::kFileSystem, s.disks().index(1, 0)).data().toString(),
             QStringLiteral("NTFS"));
    QVERIFY(!s.window.showsPartitionMenus());

    PartitionWindow* w = s.open(s.row("sample-disk.img", "Partition0"));
    QVERIFY(w);
    QCOMPARE(w->windowTitle(), QStringLiteral("Partition0"));
    QVERIFY(s.window.showsPartitionMenus());
    QCOMPARE(s.window.menuBar()->actions().size(), 4);
    QVERIFY(s.dialogs.messages.isEmpty());

    QCOMPARE(s.open(s.row("sample-disk.img", "Partition0")), nullptr);
    QVERIFY(!s.window.showsPartitionMenus());
    QCOMPARE(s.dialogs.messages, (QList<Message>{{"此分区已打开！", "dudorazu"}}));
    // The same partition text on another disk is another partition; the
    // two tabs then name their disks, and the tool tips always do.
    QTRY_VERIFY(!w->loading());
    clickFolder(*w, {"文档"});
    QVERIFY(s.window.statusPane(1)->text().startsWith(QStringLiteral("总大小 ")));
    PartitionWindow* other = s.open(s.row("partitions-mbr.img", "Partition0"));
    QVERIFY(other);
    // The totals pane follows the window in front.
    QTRY_VERIFY(!other->loading());
    QCOMPARE(s.window.statusPane(1)->text(), other->status());
    QVERIFY(other->status() != w->status());
    auto* first = qobject_cast<QMdiSubWindow*>(w->parentWidget());
    first->mdiArea()->setActiveSubWindow(first);
    QCOMPARE(s.window.statusPane(1)->text(), w->status());
    first->mdiArea()->setActiveSubWindow(qobject_cast<QMdiSubWindow*>(other->parentWidget()));
    QCOMPARE(s.window.partitionWindows().size(), 2);
    QCOMPARE(w->windowTitle(), QStringLiteral("Partition0 - sample-disk.img"));
    QCOMPARE(other->windowTitle(), QStringLiteral("Partition0 - partitions-mbr.img"));
    QCOMPARE(other->parentWidget()->windowTitle(), other->windowTitle());
    QVERIFY(other->toolTip().contains(QStringLiteral("磁盘：partitions-mbr.img")));
    s.window.commands().action(shell::kClosePartition)->trigger();
    QCOMPARE(s.window.partitionWindows().size(), 1);
    QTRY_COMPARE(s.window.partitionWindows().front()->windowTitle(), QStringLiteral("Partition0"));
    // exFAT formatted over a Linux (0x83) partition opens all the same.
    s.window.openImageFile(image("partitions-foreign.img"));
    QVERIFY(s.open(s.row("partitions-foreign.img", "Partition0")));
    s.window.commands().action(shell::kClosePartition)->trigger();
    QCOMPARE(s.window.partitionWindows().size(), 1);
    // A volume whose main boot sector is gone opens through its backup,
    // though its type byte names it NTFS.
    QTemporaryDir dir;
    const QString damaged = imageCopy(dir, "sample-disk.img", "damaged.img");
    QVERIFY(overwrite(damaged, 2048 * 512, QByteArray(512, '\0')));
    s.window.openImageFile(damaged);
    w = s.open(s.row("damaged.img", "Partition0"));
    QVERIFY(w);
    widgets::FolderTreeModel& left = *w->folderModel();
    QCOMPARE(childTexts(left, childNamed(left, left.topIndex(), QStringLiteral("根目录"))),
             (QStringList{"音乐", "文档", "照片"}));
  }

  void foldersOnTheLeftTheirFilesOnTheRightAndMarksPassUpAndDown() {
    Session s;
    PartitionWindow* w = openFirst(s, image("sample-disk.img"));
    QVERIFY(w);
    widgets::FolderTreeModel& left = *w->folderModel();
    QCOMPARE(childTexts(left), QStringList{"Partition0"});
    QModelIndex root = childNamed(left, left.topIndex(), QStringLiteral("根目录"));
    QCOMPARE(childTexts(left, root), (QStringList{"音乐", "文档", "照片"}));  // folders only, in record order
    QModelIndex draft = childNamed(left, childNamed(left, root, "文档"), QStringLiteral("草稿"));
    QCOMPARE(draft.data(Qt::ForegroundRole).value<QBrush>().color(), QColor(255, 0, 0));
    QCOMPARE(headers(left), (QStringList{"磁盘分区", "File Id", "Create Time"}));
    QVERIFY(w->folderTree()->isColumnHidden(widgets::FolderTreeModel::kFileId));
    QCOMPARE(draft.siblingAtColumn(widgets::FolderTreeModel::kFileId).data().toString(), QStringLiteral("9"));

    clickFolder(*w, {"文档"});
    widgets::FileListModel& right = *w->fileModel();
    QCOMPARE(childTexts(right), (QStringList{"草稿", "会议记录.txt", "报告.txt"}));
    QCOMPARE(headers(right), (QStringList{"名称", "状态", "大小", "创建时间", "修改时间", "文件读取时间", "文件号", "文件父号", "可恢复性"}));
    QCOMPARE(right.index(0, widgets::FileListModel::kState).data().toString(), QStringLiteral("已删除文件夹"));
    QCOMPARE(s.window.statusPane(0)->text(), QStringLiteral("Ready"));

    // Statistics of the selected folder, one count at a time.
    w->folderTree()->setCurrentIndex(childNamed(left, root, "文档"));
    QSignalSpy counted(w, &PartitionWindow::statistics);
    s.window.commands().action(shell::kStatistics)->trigger();
    s.window.commands().action(shell::kStatistics)->trigger();
    QVERIFY(counted.wait(20000));
    QCOMPARE(s.dialogs.messages.front(), (Message{"正在计算，请稍后...", "waiting"}));
    // The described totals, then the files by how they come back.
    QVERIFY2(s.window.statusPane(2)->text().contains(QStringLiteral("在2个文件夹中包含 4个文件；可完整恢复 ")),
             qPrintable(s.window.statusPane(2)->text()));
    QCOMPARE(s.dialogs.messages.back(), (Message{s.window.statusPane(2)->text(), "文件统计"}));

    emit w->fileList()->doubleClicked(right.index(0, 0));
    QCOMPARE(w->folderTree()->currentIndex(), draft);
    QCOMPARE(childTexts(right), (QStringList{"草稿2.txt", "草稿1.txt"}));

    // Check marks pass up and down.
    QModelIndex docs = clickFolder(*w, {"文档"});
    auto tick = [&](int row, Qt::CheckState state) { right.setData(right.index(row, 0), state, Qt::CheckStateRole); };

    for (int r = 0; r < 3; ++r) tick(r, Qt::Checked);
    QCOMPARE(mark(docs), Qt::Checked);
    QCOMPARE(mark(w->folderModel()->index(0, 0, docs)), Qt::Checked);  // 草稿 keeps its own left row in step
    tick(1, Qt::Unchecked);
    QCOMPARE(mark(docs), Qt::PartiallyChecked);
    tick(0, Qt::Unchecked);
    tick(2, Qt::Unchecked);
    QCOMPARE(mark(docs), Qt::Unchecked);

    // A partly checked folder shows each row as it was last checked.
    tick(2, Qt::Checked);
    clickFolder(*w, {});
    clickFolder(*w, {"文档"});
    QCOMPARE((QList<Qt::CheckState>{mark(right.index(0, 0)), mark(right.index(1, 0)), mark(right.index(2, 0))}),
             (QList<Qt::CheckState>{Qt::Unchecked, Qt::Unchecked, Qt::Checked}));
    // A mark given to the shown folder's left row passes down.
    w->folderModel()->setData(docs, Qt::Checked, Qt::CheckStateRole);
    for (int r = 0; r < 3; ++r) QCOMPARE(mark(right.index(r, 0)), Qt::Checked);
    s.window.commands().action(shell::kUncheckAll)->trigger();
    QCOMPARE(mark(w->folderModel()->topIndex()), Qt::Unchecked);
    for (int r = 0; r < 3; ++r) QCOMPARE(mark(right.index(r, 0)), Qt::Unchecked);

    // A folder's mark counts all its children, not only the rows listed so
    // far: ticking the first 100 of a bigger folder ticks it partly.
    Session big;
    PartitionWindow* t = openFirst(big, image("exfat-tree.img"));
    QVERIFY(t);
    QModelIndex crowded = clickFolder(*t, {"大文件夹"});
    widgets::FileListModel& rows = *t->fileModel();
    QCOMPARE(rows.rowCount(), 100);
    QVERIFY(rows.childCount() > 100);
    for (int r = 0; r < 100; ++r) rows.setData(rows.index(r, 0), Qt::Checked, Qt::CheckStateRole);
    QCOMPARE(mark(crowded), Qt::PartiallyChecked);
  }

  void stopEndsATreeLoadAndTheWindowStaysUsable() {
    Session s;
    PartitionWindow* w = openFirst(s, image("sample-disk.img"), false);
    QVERIFY(w && w->loading());
    shell::ProgressWindow* progress = w->progressWindow();
    QVERIFY(progress->isVisible());
    QCOMPARE(progress->windowTitle(), QStringLiteral("展开分区文件"));

    // A refusal while it loads; the program's end and the tab's close are
    // asked first, naming the work they would stop; declined, all stays.
    w->reload();
    s.window.close();
    w->parentWidget()->close();
    QCOMPARE(s.dialogs.messages,
             (QList<Message>{{"等待当前操作完成，请稍后！", "error"},
                             {"正在展开分区文件，退出将停止它。\n\n您真的要退出程序吗?", "dudorazu"},
                             {"正在展开分区文件，关闭将停止它。\n\n要关闭这个分区窗口吗?", "dudorazu"}}));
    QVERIFY(w->loading());
    QCOMPARE(s.window.partitionWindows().size(), 1);

    QSignalSpy loaded(w, &PartitionWindow::loadFinished);
    progress->stopButton()->click();
    QCOMPARE(progress->labelText(), QStringLiteral("正在分析文件，请稍后!"));
    QVERIFY(progress->block().cancelled());
    QVERIFY(loaded.wait(20000));
    QVERIFY(!progress->isVisible());
    QVERIFY(!w->loading());

    // Usable: a reload runs to its end and shows the whole tree. F5 while
    // it runs leaves the records it fills alone, so nothing comes out ticked.
    s.dialogs.messages.clear();
    s.window.commands().action(shell::kReload)->trigger();
    QVERIFY(w->loading());
    s.window.commands().action(shell::kCheckAll)->trigger();
    QVERIFY(loaded.wait(20000));
    QVERIFY(s.dialogs.messages.isEmpty());
    QCOMPARE(mark(w->folderModel()->topIndex()), Qt::Unchecked);
    QCOMPARE(mark(clickFolder(*w, {})), Qt::Unchecked);
    clickFolder(*w, {"文档", "草稿"});
    QCOMPARE(w->fileModel()->rowCount(), 2);
    // The close box stops as "停止" does.
    progress->begin();
    progress->close();
    QVERIFY(progress->block().cancelled());

    // Closing the image closes its window, asking first while it loads:
    // declined, both stay; agreed, the load stops and both go.
    w->reload();
    s.dialogs.confirmAnswer = false;
    s.menu(s.row("sample-disk.img"), QStringLiteral("关闭镜像文件"));
    QCOMPARE(s.window.partitionWindows().size(), 1);
    QVERIFY(s.row("sample-disk.img").isValid());
    QVERIFY(w->loading());
    s.dialogs.confirmAnswer = true;
    s.menu(s.row("sample-disk.img"), QStringLiteral("关闭镜像文件"));
    QVERIFY(progress->block().cancelled());
    QTRY_COMPARE(s.window.partitionWindows().size(), 0);
    QTRY_VERIFY(!s.row("sample-disk.img").isValid());
    // An idle window goes with its image at once.
    w = openFirst(s, image("sample-disk.img"));
    QVERIFY(w);
    s.menu(s.row("sample-disk.img"), QStringLiteral("关闭镜像文件"));
    QTRY_COMPARE(s.window.partitionWindows().size(), 0);
    QVERIFY(!s.row("sample-disk.img").isValid());

    // A tab closed while its tree loads stops the load, saying so, and goes
    // when it ends.
    w = openFirst(s, image("sample-disk.img"), false);
    progress = w->progressWindow();
    QVERIFY(!w->parentWidget()->close());
    QVERIFY(progress->block().cancelled());
    QCOMPARE(progress->labelText(), QStringLiteral("正在分析文件，请稍后!"));
    QVERIFY(!progress->stopButton()->isEnabled());
    QTRY_COMPARE(s.window.partitionWindows().size(), 0);
  }

  // Before any save, each file says how it will come back: a column after
  // the described ones, coloured and sortable; folders with nothing whole
  // below read so; the find dialog keeps only what comes back whole.
  void recoverabilityShowsBeforeTheSave() {
    Session s;
    PartitionWindow* w = openFirst(s, image("recovery-states.img"));
    QVERIFY(w);
    clickFolder(*w, {"gone"});
    widgets::FileListModel& right = *w->fileModel();
    const int column = widgets::FileListModel::kRecoverability;
    auto stateOf = [&](const char* name) { return childNamed(right, {}, name).siblingAtColumn(column); };
    struct Row {
      const char* name;
      const char* label;
      QColor colour;
    } rows[] = {{"whole.bin", "已被覆盖 32.0KB/32.0KB", QColor(192, 0, 0)},
                {"intact.bin", "可完整恢复", QColor(0, 128, 0)},
                {"chain.dat", "推测的簇链", QColor(192, 96, 0)},
                {"far.bin", "无法访问", QColor(128, 128, 128)}};
    for (const Row& row : rows) {
      QVERIFY2(stateOf(row.name).data().toString().startsWith(QString::fromUtf8(row.label).section(' ', 0, 0)),
               qPrintable(stateOf(row.name).data().toString()));
      QCOMPARE(stateOf(row.name).data(Qt::ForegroundRole).value<QBrush>().color(), row.colour);
    }
    // The same image with the map of the rescue that made it beside it: the
    // areas the map does not call copied are unreadable, and the file there
    // says so before the save.
    {
      QTemporaryDir dir;
      const QString copy = imageCopy(dir, "recovery-states.img", "rescued.img");
      std::vector<std::pair<qint64, qint64>> bad;
      for (const QByteArray& line : QByteArray::fromStdString(fixtureText("recovery-states.unreadable.txt")).split('\n'))
        if (!line.trimmed().isEmpty()) bad.emplace_back(line.split(' ')[0].toLongLong(), line.split(' ')[1].toLongLong());
      std::sort(bad.begin(), bad.end());
      QByteArray text = "0x0 + 1\n";
      qint64 at = 0;
      for (auto [start, length] : bad) {
        text += QByteArray::number(at) + " " + QByteArray::number(start - at) + " +\n";
        text += QByteArray::number(start) + " " + QByteArray::number(length) + " -\n";
        at = start + length;
      }
      text += QByteArray::number(at) + " " + QByteArray::number(QFileInfo(copy).size() - at) + " +\n";
      QVERIFY(overwrite(copy + ".map", 0, text));
      s.window.documents()->setActiveSubWindow(s.window.documents()->subWindowList().front());
      PartitionWindow* rescued = openFirst(s, copy);
      QVERIFY2(rescued, qPrintable(s.dialogs.messages.isEmpty() ? QString() : s.dialogs.messages.back().first));
      QVERIFY(s.window.statusPane(0)->text().contains(QStringLiteral("rescued.img.map")));
      clickFolder(*rescued, {"live"});
      const QString damaged =
          childNamed(*rescued->fileModel(), {}, "damaged.bin").siblingAtColumn(column).data().toString();
      QVERIFY2(damaged.startsWith(QStringLiteral("扇区损坏")), qPrintable(damaged));
      rescued->parentWidget()->close();
      s.window.documents()->setActiveSubWindow(qobject_cast<QMdiSubWindow*>(w->parentWidget()));
    }
    // A click on its header lists the whole files first, a second the worst.
    auto files = [&] {
      QStringList names;
      for (int r = 0; r < right.rowCount(); ++r)
        if (!right.recordAt(right.index(r, 0))->isFolder()) names << right.index(r, 0).data().toString();
      return names;
    };
    QHeaderView* header = w->fileList()->header();
    emit header->sectionClicked(column);
    QCOMPARE(files().front(), QStringLiteral("intact.bin"));
    emit header->sectionClicked(column);
    QCOMPARE(files().front(), QStringLiteral("far.bin"));
    emit header->sectionClicked(widgets::FileListModel::kName);
    QVERIFY(!header->isSortIndicatorShown());
    // The left tree names a folder none of whose files comes back whole (as
    // the damaged folder would be with its unreadable area given).
    widgets::FolderTreeModel& left = *w->folderModel();
    left.recordAt(childNamed(left, childNamed(left, left.topIndex(), QStringLiteral("根目录")), "old"))->recoverMarks |=
        kNothingIntactBelow;
    int marked = 0;
    std::function<void(const QModelIndex&)> walk = [&](const QModelIndex& at) {
      for (int r = 0; r < left.rowCount(at); ++r) {
        QModelIndex row = left.index(r, 0, at);
        const bool nothing = (left.recordAt(row)->recoverMarks & kNothingIntactBelow) != 0;
        marked += nothing;
        QCOMPARE(row.data(Qt::FontRole).value<QFont>().italic(), nothing);
        QCOMPARE(!row.data(Qt::ToolTipRole).toString().isEmpty(), nothing);
        walk(row);
      }
    };
    walk(left.topIndex());
    QVERIFY(marked > 0);
    // Only whole files: the gone folder's search finds intact.bin alone.
    s.dialogs.answerDialog = [&](QDialog& d) {
      auto& f = static_cast<shell::FindDialog&>(d);
      f.modeBox()->setCurrentIndex(1);
      f.textBox()->setCurrentText(QStringLiteral("bin"));
      f.checkBoxes().back()->setChecked(true);
      return true;
    };
    QSignalSpy found(w, &PartitionWindow::searchFinished);
    s.window.commands().action(shell::kFind)->trigger();
    QVERIFY(found.wait(20000));
    QStringList hits = childTexts(*w->searchResults()->model());
    QVERIFY2(hits.contains(QStringLiteral("intact.bin")) && !hits.contains(QStringLiteral("whole.bin")) &&
                 !hits.contains(QStringLiteral("far.bin")),
             qPrintable(hits.join(", ")));
  }

  void findDialogAndASearchForADeletedFile() {
    Session s;
    PartitionWindow* w = openFirst(s, image("sample-disk.img"));
    QVERIFY(w);
    QStringList seen;  // title, modes, mode, text, example texts, check boxes
    s.dialogs.answerDialog = [&](QDialog& d) {
      auto& f = dynamic_cast<shell::FindDialog&>(d);
      seen << f.windowTitle();
      for (int i = 0; i < f.modeBox()->count(); ++i) seen << f.modeBox()->itemText(i);
      seen << f.modeBox()->currentText() << f.textBox()->currentText() << f.exampleLabel()->text();
      for (int mode : {1, 2, 0}) f.modeBox()->setCurrentIndex(mode), seen << f.exampleLabel()->text();
      for (QCheckBox* box : f.checkBoxes())
        seen << box->text() + (box->isChecked() ? "+" : "-") + (box->accessibleName() == box->text() ? "" : "?");
      seen << f.findChild<QGroupBox*>()->title();
      return false;
    };
    QSignalSpy found(w, &PartitionWindow::searchFinished);
    s.window.commands().action(shell::kFind)->trigger();
    QCOMPARE(seen, (QStringList{"查找文件", "文件名", "文件扩展名", "文件名匹配", "文件名", "", "", "  txt; doc; xls",
                                "  *r*me.t?t;*jp*", "", "全匹配-", "删除文件+", "正常文件+", "文件+", "文件夹+",
                                "只显示可完整恢复的文件-", "查找类型"}));
    QCOMPARE(found.count(), 0);  // cancelled: no search

    // Deleted files whose names match a pattern, anywhere in the partition.
    s.dialogs.answerDialog = [&](QDialog& d) {
      auto& f = dynamic_cast<shell::FindDialog&>(d);
      f.modeBox()->setCurrentIndex(2);
      f.textBox()->setEditText(QStringLiteral("*1.t?t"));
      f.checkBoxes()[2]->setChecked(false);  // normal entries
      return true;
    };
    s.window.commands().action(shell::kFind)->trigger();
    QVERIFY(found.wait(20000));
    shell::SearchResults* results = w->searchResults();
    QVERIFY(results->isVisible());
    widgets::FileListModel& hits = *results->model();
    QCOMPARE(childTexts(hits), QStringList{"草稿1.txt"});
    QCOMPARE(hits.index(0, widgets::FileListModel::kState).data().toString(), QStringLiteral("已删除文件"));

    // A double click shows it in its folder.
    emit results->view()->doubleClicked(hits.index(0, 0));
    QModelIndex draft = w->folderTree()->currentIndex();
    QCOMPARE(draft.data().toString(), QStringLiteral("草稿"));
    QCOMPARE(w->fileList()->currentIndex().data().toString(), QStringLiteral("草稿1.txt"));
    // A hit ticked in the results marks its folders.
    hits.setData(hits.index(0, 0), Qt::Checked, Qt::CheckStateRole);
    QCOMPARE(mark(draft), Qt::PartiallyChecked);
    // "恢复选中文件" saves the ticked hits; a hit saved whole loses its mark.
    QTemporaryDir out;
    auto findAnswer = s.dialogs.answerDialog;
    s.dialogs.answerDialog = [&](QDialog& d) {
      static_cast<shell::SaveDialog&>(d).pathField()->setText(out.path());
      return true;
    };
    QSignalSpy saved(w, &PartitionWindow::saveFinished);
    results->saveButton()->click();
    QVERIFY(saved.wait(20000));
    QVERIFY(QFileInfo(out.path() + "/草稿1.txt").isFile());
    QCOMPARE(mark(draft), Qt::Unchecked);
    s.dialogs.answerDialog = findAnswer;
    // A reload forgets the hits, whose records it empties.
    w->reload();
    QCOMPARE(hits.rowCount(), 0);
    s.dialogs.messages.clear();
    s.window.commands().action(shell::kFind)->trigger();  // refused while the tree loads
    QCOMPARE(s.dialogs.messages, (QList<Message>{{"等待当前操作完成，请稍后！", "error"}}));
    QVERIFY(QSignalSpy(w, &PartitionWindow::loadFinished).wait(20000));
    // A tab closed while a search runs goes once the search has ended.
    s.window.commands().action(shell::kFind)->trigger();
    s.dialogs.confirmAnswer = true;
    QVERIFY(!w->parentWidget()->close());
    QTRY_COMPARE(s.window.partitionWindows().size(), 0);
  }

  void lostFileScanShowsCarvedFilesInTheTree() {
    Session s;
    PartitionWindow* w = openFirst(s, image("exfat-carve.img"));
    QVERIFY(w);
    widgets::FolderTreeModel& left = *w->folderModel();
    QAction* paneScan = w->contextMenuFor(left.topIndex())->actions().front();
    QCOMPARE(paneScan->text(), QStringLiteral("扫描丢失文件     Ctrl+L"));
    // Refused while the tree loads, by each route with its own text.
    w->reload();
    s.window.commands().action(shell::kLostFileScan)->trigger();
    w->contextMenuFor(left.topIndex())->actions().front()->trigger();
    QCOMPARE(s.dialogs.messages, (QList<Message>{{"等待当前操作完成，请稍后！", "error"}, {"等待此操作完成！", "waiting"}}));
    QVERIFY(QSignalSpy(w, &PartitionWindow::loadFinished).wait(20000));

    QSignalSpy scanned(w, &PartitionWindow::scanFinished);
    QSignalSpy status(w, &PartitionWindow::statusText);
    s.window.commands().action(shell::kLostFileScan)->trigger();
    QVERIFY(w->viewLoading());
    QCOMPARE(w->scanProgressWindow()->windowTitle(), QStringLiteral("扫描丢失文件"));
    QVERIFY(w->scanProgressWindow()->isVisible());
    QVERIFY(scanned.wait(60000));
    QCOMPARE(childTexts(left, left.topIndex()), (QStringList{"根目录", "扩展目录"}));
    QModelIndex root = childNamed(left, left.topIndex(), QStringLiteral("根目录"));
    QModelIndex lost = childNamed(left, root, QStringLiteral("9"));
    QVERIFY(lost.isValid());
    QVERIFY(childNamed(left, lost, QStringLiteral("sub")).isValid());
    // The scan says what it found.
    QVERIFY(!status.isEmpty());
    QCOMPARE(status.last().front().toString(), QStringLiteral("扫描完毕：找到 %1 个文件夹，恢复出 6 个文件")
                                                   .arg(childTexts(left, root).size()));
    // Its window stays with the same last line until it is closed.
    shell::ProgressWindow* scanWindow = w->scanProgressWindow();
    QVERIFY(scanWindow->isVisible());
    QCOMPARE(scanWindow->labelText(), status.last().front().toString());
    QCOMPARE(scanWindow->stopButton()->text(), QStringLiteral("关闭"));
    scanWindow->stopButton()->click();
    QVERIFY(!scanWindow->isVisible());
    emit w->folderTree()->clicked(childNamed(left, left.topIndex(), QStringLiteral("扩展目录")));
    QStringList carved = childTexts(*w->fileModel());
    carved.sort();
    QCOMPARE(carved, (QStringList{"11.jpg", "15.jpg", "3288.jpg", "7.jpg", "Li19.doc", "Report16.doc"}));
    // The top row's mark reaches the carved files too.
    s.window.commands().action(shell::kCheckAll)->trigger();
    QCOMPARE(mark(w->fileModel()->index(0, 0)), Qt::Checked);
  }

  // The keys run their commands; Ctrl+S saves the ticked rows byte for byte
  // into the folder chosen with ">"; a second batch meanwhile is refused and
  // the first runs to its end.
  void keysRunTheirCommandsAndCtrlSSavesTheTickedRows() {
    Session s;
    s.window.show();
    QApplication::setActiveWindow(&s.window);
    QVERIFY(QTest::qWaitForWindowActive(&s.window));
    QWidget* tree = s.window.diskWindow()->diskTree();
    tree->setFocus();
    QTest::keyClick(tree, Qt::Key_A, Qt::ControlModifier);
    QCOMPARE(s.dialogs.messages.value(0).first, QStringLiteral("关于 dudorazu"));
    s.dialogs.nextFile = image("recovery-main.img");
    QTest::keyClick(tree, Qt::Key_O, Qt::ControlModifier);
    QCOMPARE(s.disks().rowCount(), 1);
    PartitionWindow* w = s.open(s.row("recovery-main.img", "Partition0"));
    QVERIFY(w);
    w->folderTree()->setFocus();
    QTest::keyClick(w->folderTree(), Qt::Key_F5);
    QCOMPARE(mark(w->folderModel()->topIndex()), Qt::Checked);
    QTest::keyClick(w->folderTree(), Qt::Key_F4);
    QCOMPARE(mark(w->folderModel()->topIndex()), Qt::Unchecked);
    QTest::keyClick(w->folderTree(), Qt::Key_F5);

    QTemporaryDir out;
    s.dialogs.nextFolder = out.path() + "/";
    QStringList asked;
    s.dialogs.answerDialog = [&](QDialog& d) {
      auto& dialog = static_cast<shell::SaveDialog&>(d);
      dialog.browseButton()->click();
      asked << d.windowTitle() << dialog.pathField()->text();
      return true;
    };
    s.dialogs.messages.clear();
    QSignalSpy saved(w, &PartitionWindow::saveFinished);
    QTest::keyClick(w->folderTree(), Qt::Key_S, Qt::ControlModifier);
    QCOMPARE(asked, (QStringList{"Recover", out.path()}));
    QVERIFY(w->saveProgressWindow() && w->saveProgressWindow()->isVisible());
    QCOMPARE(w->saveProgressWindow()->windowTitle(), QStringLiteral("正在保存文件"));
    w->batchSave(SaveOrigin::RightPane);
    s.window.commands().action(shell::kSaveTicked)->trigger();
    QCOMPARE(s.dialogs.messages, (QList<Message>{{"等待当前操作完成", "error"}, {"等待当前操作完成", "error"}}));
    QVERIFY(saved.wait(60000));
    QCOMPARE(savedUnlikeListed("recovery-main.sha256.txt", out.path().toStdString() + "/根目录"),
             std::vector<std::string>{});
    QString report = saved.first().first().toString();
    QVERIFY2(report.startsWith("已保存 216 个文件") && report.contains("\n其中 1 个文件的后续簇是按空闲簇推测的") &&
                 report.contains("\nguessed: /gone/frag-deleted.dat"),
             qPrintable(report));
    // A guess is not a file saved whole: the job keeps its marks.
    QCOMPARE(mark(w->folderModel()->topIndex()), Qt::Checked);
    QVERIFY(!w->saveProgressWindow()->isVisible() && !w->loading());
    // Its label names the work without saying "正在" twice.
    w->saveProgressWindow()->begin();
    w->saveProgressWindow()->block().setRange(100, 1);
    w->saveProgressWindow()->showProgress();
    QCOMPARE(w->saveProgressWindow()->labelText(), QStringLiteral("正在保存文件"));
    w->saveProgressWindow()->finish();
    QApplication::setActiveWindow(&s.window);
    QTest::keyClick(w->folderTree(), Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
    QTRY_COMPARE(s.window.partitionWindows().size(), 0);
  }

  // A target whose free room cannot be asked refuses both saves. A batch
  // takes the marks of the jobs saved whole only; its report names the rest.
  void marksStayOnFilesNotSavedWhole() {
    Session s;
    QTemporaryDir dir;
    const QString cut = imageCopy(dir, "recovery-guess.img", "cut.img");
    QVERIFY(QFile::resize(cut, 3145728 + 30 * 4096));  // two.txt's later clusters are cut off
    PartitionWindow* w = openFirst(s, cut);
    QVERIFY(w);
    clickFolder(*w, {"kept"});
    widgets::FileListModel& right = *w->fileModel();
    QModelIndex one = childNamed(right, {}, "one.txt"), two = childNamed(right, {}, "two.txt");
    right.setData(one, Qt::Checked, Qt::CheckStateRole);
    right.setData(two, Qt::Checked, Qt::CheckStateRole);
    w->fileList()->setCurrentIndex(one);
    QString target = cut + "/out";
    s.dialogs.answerDialog = [&](QDialog& d) {
      static_cast<shell::SaveDialog&>(d).pathField()->setText(target);
      return true;
    };
    w->singleSave(SaveOrigin::RightPane);
    w->batchSave(SaveOrigin::RightPane);
    QString unknown = QString::fromUtf8(kFreeSpaceUnknown);
    QCOMPARE(s.dialogs.messages, (QList<Message>{{unknown, "dudorazu"}, {unknown, "dudorazu"}}));
    QVERIFY(!w->saveProgressWindow() || !w->saveProgressWindow()->isVisible());

    target = dir.filePath("out");
    QSignalSpy saved(w, &PartitionWindow::saveFinished);
    w->batchSave(SaveOrigin::RightPane);
    QVERIFY(saved.wait(60000));
    QCOMPARE(mark(one), Qt::Unchecked);
    QCOMPARE(mark(two), Qt::Checked);
    QCOMPARE(mark(clickFolder(*w, {"kept"})), Qt::PartiallyChecked);
    QVERIFY2(saved.first().first().toString().contains("damaged: /kept/two.txt"), qPrintable(saved.first().first().toString()));
    // The selected row alone, from its pane's menu.
    target = dir.filePath("single/kept");
    w->fileList()->setCurrentIndex(childNamed(right, {}, "one.txt"));
    w->singleSave(SaveOrigin::RightPane);
    QVERIFY(saved.wait(20000));
    QCOMPARE(savedUnlikeListed("recovery-guess.sha256.txt", dir.filePath("single").toStdString(), "/kept/one"),
             std::vector<std::string>{});

    // A single save started while a batch runs reports at its own end: the
    // batch (two.txt alone is ticked) is held at two.txt's first cluster.
    const PartitionRecord& partition = s.catalogue.disks.back().partitions.front();
    const uint64_t twoAt = partition.clusterPosition(right.recordAt(two)->firstCluster);
    std::atomic<bool> hold{true};
    test::FaultPlan plan;
    plan.onRead = [&hold, twoAt, length = partition.clusterBytes()](uint64_t offset) {
      for (int waited = 0; hold && offset >= twoAt && offset < twoAt + length && waited < 20000; ++waited)
        QThread::msleep(1);
    };
    test::ScopedFaultInjection faults(s.catalogue.disks.back().devicePath, plan);
    target = dir.filePath("held");
    QSignalSpy ends(w, &PartitionWindow::saveFinished);
    w->batchSave(SaveOrigin::RightPane);
    QVERIFY(w->saveProgressWindow()->isVisible());
    w->fileList()->setCurrentIndex(childNamed(right, {}, "one.txt"));
    w->singleSave(SaveOrigin::RightPane);
    const bool singleEnded = ends.wait(10000);
    const bool batchHeld = w->saveProgressWindow()->isVisible();
    // Closing the tab stops the batch, saying so, and the tab goes once it
    // has ended.
    s.dialogs.confirmAnswer = true;
    const bool closed = w->parentWidget()->close();
    const bool stopped = w->saveProgressWindow()->block().cancelled();
    const QString stopping = w->saveProgressWindow()->labelText();
    hold = false;
    QVERIFY(batchHeld);
    QVERIFY2(singleEnded, "the single save's report waited for the batch");
    QVERIFY(ends.first().first().toString().startsWith(QStringLiteral("已保存 1 个文件")));
    QVERIFY(!closed && stopped);
    QCOMPARE(stopping, QStringLiteral("正在分析文件，请稍后!"));
    QVERIFY(ends.wait(20000));
    QTRY_COMPARE(s.window.partitionWindows().size(), 0);
    // Nothing half-written stands under its final name.
    QVERIFY(!QFileInfo::exists(target + "/kept/two.txt"));
    QVERIFY(QFileInfo::exists(target + "/kept/two.txt.partial") || !QFileInfo::exists(target + "/kept"));
  }

  // Every save route refuses a target folder on the volume being read
  // before anything is made there; a folder on another volume of the same
  // disk takes the files.
  void noSaveLandsOnTheVolumeBeingRead() {
    Session s;
    QTemporaryDir dir;
    const QString card = image("sample-disk.img"), target = dir.filePath("mnt/out");
    PartitionWindow* w = openFirst(s, card);
    QVERIFY(w);
    const PartitionRecord& partition = s.catalogue.disks.back().partitions.front();
    s.dialogs.answerDialog = [&](QDialog& d) {
      static_cast<shell::SaveDialog&>(d).pathField()->setText(target);
      return true;
    };
    QModelIndex docs = clickFolder(*w, {"文档"});
    w->folderModel()->setData(docs, Qt::Checked, Qt::CheckStateRole);
    w->folderTree()->setCurrentIndex(docs);
    w->fileList()->setCurrentIndex(childNamed(*w->fileModel(), {}, QStringLiteral("报告.txt")));
    const QList<std::function<void()>> routes = {
        [&] { w->singleSave(SaveOrigin::RightPane); },
        [&] { s.window.commands().action(shell::kSaveSelected)->trigger(); },
        [&] { w->batchSave(SaveOrigin::RightPane); },
        [&] { s.window.commands().action(shell::kSaveTicked)->trigger(); },
        [&] {
          w->searchResults()->showHits(w->fileModel()->records());
          w->searchResults()->saveButton()->click();
        },
    };
    {
      VolumeOnImage mounted(dir.filePath("mnt"), card, partition.startOffset(), partition.sizeBytes());
      for (int route = 0; route < routes.size(); ++route) {
        s.dialogs.messages.clear();
        routes[route]();
        QCOMPARE(s.dialogs.messages,
                 (QList<Message>{{QStringLiteral("目标文件夹位于正在恢复的分区上，请选择其他磁盘"), "error"}}));
        QVERIFY2(!QFileInfo::exists(dir.filePath("mnt")) && !w->loading(), qPrintable(QString::number(route)));
      }
    }
    // The sectors in front of the partition are another volume.
    VolumeOnImage before(dir.filePath("mnt"), card, 0, partition.startOffset());
    QSignalSpy saved(w, &PartitionWindow::saveFinished);
    w->batchSave(SaveOrigin::RightPane);
    QVERIFY(saved.wait(20000));
    QVERIFY(QFileInfo(target + "/报告.txt").isFile());
  }

  // A save started while the target dialog of another is open (the dialog
  // lets commands run) refuses the other, and the window is never left
  // busy: it closes once the save has ended.
  void aRefusedSaveLeavesTheWindowClosable() {
    for (bool batch : {false, true}) {
      Session s;
      PartitionWindow* w = openFirst(s, image("sample-disk.img"));
      QVERIFY(w);
      QModelIndex docs = clickFolder(*w, {"文档"});
      w->folderModel()->setData(docs, Qt::Checked, Qt::CheckStateRole);
      w->fileList()->setCurrentIndex(childNamed(*w->fileModel(), {}, QStringLiteral("报告.txt")));
      QTemporaryDir out;
      auto save = [&] { batch ? w->batchSave(SaveOrigin::RightPane) : w->singleSave(SaveOrigin::RightPane); };
      int asked = 0;
      s.dialogs.answerDialog = [&](QDialog& d) {
        static_cast<shell::SaveDialog&>(d).pathField()->setText(out.filePath(QString::number(asked)));
        if (asked++ == 0) {
          save();
          // That save's jobs end; its finishing step waits behind this dialog.
          QDeadlineTimer deadline(20000);
          while ((w->saves().singleSaveRunning() || w->saves().batchSaveRunning()) && !deadline.hasExpired())
            QThread::msleep(5);
        }
        return true;
      };
      QSignalSpy saved(w, &PartitionWindow::saveFinished);
      save();
      QCOMPARE(s.dialogs.messages.value(0), (Message{"等待当前操作完成", "error"}));
      QVERIFY(saved.count() == 1 || saved.wait(20000));
      QTRY_VERIFY(!w->loading());
      w->parentWidget()->close();
      QTRY_COMPARE(s.window.partitionWindows().size(), 0);
    }
  }

  void exitAsksEveryControlIsNamedAndHelpOpensTheManual() {
    Session s;
    s.window.show();
    s.window.close();
    QVERIFY(s.window.isVisible());
    QCOMPARE(s.dialogs.messages.back().first, QStringLiteral("您真的要退出程序吗?"));

    auto* bar = s.window.findChild<QToolBar*>(QStringLiteral("toolbar"));
    QList<int> order;
    for (QAction* a : bar->actions()) {
      order << a->objectName().mid(7).toInt();
      QWidget* button = bar->widgetForAction(a);
      QVERIFY(!a->text().isEmpty());
      QCOMPARE(button->accessibleName(), a->text().simplified());
    }
    QCOMPARE(order, (QList<int>{32792, 32803, 32876, 32858, 32806, 32867, 32822, 32854, 32855, 32828, 32830, 32874}));
    QVERIFY(!s.window.commands().action(shell::kUnusedButton)->isEnabled());
    for (QAction* top : s.window.menuBar()->actions())
      for (QAction* a : top->menu()->actions()) QVERIFY(a->isSeparator() || !a->text().isEmpty());
    // Help opens the shipped manual in the program's own window (no web
    // browser needed), and its links open there too.
    const qsizetype shown = s.dialogs.messages.size();
    s.window.commands().action(shell::kHelp)->trigger();
    shell::ManualWindow* manual = s.window.manualWindow();
    QVERIFY(manual && manual->isVisible());
    QCOMPARE(s.dialogs.messages.size(), shown);
    QFileInfo page(manual->browser()->source().toLocalFile());
    QCOMPARE(page.fileName(), QStringLiteral("index.html"));
    QVERIFY(manual->browser()->toPlainText().contains(QStringLiteral("dudorazu 使用手册")));
    for (const char* other : {"getting-started", "disk-window", "partition-window", "saving", "tools"}) {
      // A clicked link is resolved against the page shown, as here.
      manual->browser()->setSource(manual->browser()->source().resolved(QUrl(QString::fromLatin1(other) + ".html")));
      QCOMPARE(manual->browser()->source().toLocalFile(), page.dir().filePath(QString::fromLatin1(other) + ".html"));
      QVERIFY2(!manual->browser()->toPlainText().isEmpty(), other);
    }
    s.window.commands().action(shell::kHelp)->trigger();
    QCOMPARE(s.window.manualWindow(), manual);
    manual->close();
    s.dialogs.confirmAnswer = true;
    QVERIFY(s.window.close());
  }

  // At 1280x800 every header and cell of every pane reads whole, and each
  // column's text is on screen without scrolling sideways, in both languages.
  // What assistive technology reads, in both too: every control that takes
  // the focus in every window and dialog has a name, and each entry of a
  // menu on screen reads as shown.
  void everyTextFitsAndEveryControlIsNamed_data() {
    QTest::addColumn<shell::Language>("language");
    QTest::newRow("Chinese") << shell::Language::Chinese;
    QTest::newRow("English") << shell::Language::English;
  }
  void everyTextFitsAndEveryControlIsNamed() {
    QFETCH(shell::Language, language);
    InLanguage speaking(language);
    Session s;
    s.window.resize(1280, 800);
    s.window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&s.window));
    QVERIFY2(s.window.width() > 1200, "the test screen is narrower than 1280 pixels");
    s.window.openImageFile(image("sample-disk.img"));
    DiskRecord& disk = s.catalogue.disks.front();
    QList<QWidget*> windows{&s.window, s.window.imagingDialog()};
    windows << new shell::FindDialog(&s.window) << new shell::SaveDialog(s.dialogs, &s.window)
            << new shell::SearchResults(&s.window) << new shell::ProgressWindow(QStringLiteral("进度"), &s.window)
            << new shell::TableOperationDialog(&s.window) << new shell::RebuildDialog(disk, s.dialogs, &s.window)
            << new shell::RegionDialog(32768, s.dialogs, &s.window) << new shell::SearchDiskDialog(disk, &s.window)
            << new shell::PartitionSearchWindow(&s.window);
    QStringList unnamed;
    for (QWidget* window : windows)
      for (QWidget* w : window->findChildren<QWidget*>()) {
        // A combo box is read as one control, with its list and its edit.
        if (w->focusPolicy() == Qt::NoFocus || w->isHidden() || w->window() != window ||
            qobject_cast<QComboBox*>(w->parentWidget()) || qobject_cast<QComboBox*>(w->parentWidget()->parentWidget()))
          continue;
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w);
        if (a && a->text(QAccessible::Name).trimmed().isEmpty())
          unnamed << QString::fromLatin1(window->metaObject()->className()) + "/" + w->metaObject()->className();
      }
    QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(", ")));
    // In Chinese no English in a label or button but key names, the sector
    // unit and the idle status text.
    static const QRegularExpression allowed(
        QStringLiteral("\\s+(C[Tt]rl|Alt|Shift|F\\d+|[A-Z]|\\+)+$|^\\d+ Sectors$|^Ready$"));
    QStringList latin;
    for (QWidget* window : windows) {
      QStringList texts;
      for (QLabel* l : window->findChildren<QLabel*>()) texts << l->text();
      for (QAbstractButton* b : window->findChildren<QAbstractButton*>()) texts << b->text();
      for (QString t : texts)
        if (t.remove(allowed).contains(QRegularExpression(QStringLiteral("[A-Za-z]")))) latin << t;
    }
    QVERIFY2(language != shell::Language::Chinese || latin.isEmpty(), qPrintable(latin.join(", ")));

    // The menus are read in the disk window and then in the partition
    // window, which shares commands with them.
    QStringList hidden;
    auto readMenus = [&] {
      for (QAction* top : s.window.menuBar()->actions()) {
        if (!top->isVisible()) continue;
        QMenu* menu = top->menu();
        menu->popup(s.window.mapToGlobal(QPoint(0, 0)));
        QVERIFY(QTest::qWaitForWindowExposed(menu));
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(menu);
        for (int i = 0; i < a->childCount(); ++i) {
          QAccessibleInterface* item = a->child(i);
          if (item->role() == QAccessible::Separator) continue;
          if (item->state().invisible || item->text(QAccessible::Name).isEmpty())
            hidden << menu->title() + "/" + item->text(QAccessible::Name);
        }
        menu->hide();
      }
    };
    readMenus();
    s.window.diskWindow()->diskTree()->setCurrentIndex(s.row("sample-disk.img", "Partition0"));
    emit s.window.diskWindow()->diskTree()->clicked(s.row("sample-disk.img", "Partition0"));
    QStringList cut;
    auto check = [&](QWidget& window) {
      QCoreApplication::processEvents();
      for (auto* view : window.findChildren<widgets::TreeListView*>()) {
        if (!view->isVisible()) continue;
        for (int c = 0; c < view->model()->columnCount(); ++c) {
          if (view->isColumnHidden(c)) continue;
          const QString where = view->accessibleName() + "/" + view->model()->headerData(c, Qt::Horizontal).toString();
          // Measured here, not taken from what the view measured as rows came.
          const int needed = view->measuredContentsWidth(c);
          if (needed > view->columnWidth(c)) cut << where + " elided";
          if (view->header()->sectionPosition(c) + needed > view->viewport()->width())
            cut << where + " off screen";
        }
      }
    };
    check(*s.window.diskWindow());
    PartitionWindow* w = s.open(s.row("sample-disk.img", "Partition0"));
    QVERIFY(w);
    readMenus();
    QVERIFY2(hidden.isEmpty(), qPrintable(hidden.join(", ")));
    clickFolder(*w, {"文档"});
    QVERIFY(w->fileModel()->rowCount() > 0);
    check(*w);
    QVERIFY2(cut.isEmpty(), qPrintable(cut.join(", ")));
  }

  // In English no window, dialog, menu, pane or message shows a Chinese
  // character or a text the translation leaves as it is: the windows the
  // screenshots draw, then the dialogs and messages they do not.
  void everyWindowReadsInEnglish() {
    QStringList untranslated;
    QSet<QString> sources;
    QFile ts(QStringLiteral(DUDORAZU_TRANSLATION));
    QVERIFY(ts.open(QIODevice::ReadOnly));
    QString source;
    for (QXmlStreamReader xml(&ts); !xml.atEnd();) {
      if (xml.readNext() != QXmlStreamReader::StartElement) continue;
      if (xml.name() == QLatin1String("source")) source = xml.readElementText();
      if (xml.name() != QLatin1String("translation")) continue;
      const bool unfinished = xml.attributes().hasAttribute(QLatin1String("type"));
      const QString translation = xml.readElementText();
      if (unfinished || translation.isEmpty()) untranslated << source;
      else if (translation != source) sources << source;
    }
    QVERIFY2(untranslated.isEmpty(), qPrintable(untranslated.join(" | ")));
    QVERIFY(sources.size() > 300);

    InLanguage speaking(shell::Language::English);
    Session s;
    s.catalogue.unopenedDrives.push_back({"/dev/sdx", EACCES, {}});
    s.window.diskWindow()->listUnopenedDrives(false, true);
    s.window.openImageFile(image("sample-disk.img"));
    QList<Shown> shown;
    QTemporaryDir pictures;
    QCOMPARE(shell::takeScreenshots(s.window, pictures.path(), [&](QWidget& w) { collectTexts(w, shown); }), 0);
    QCOMPARE(s.window.partitionWindows().size(), 1);
    shell::PartitionWindow& partition = *s.window.partitionWindows().front();
    DiskRecord& disk = s.catalogue.disks.front();
    auto box = shell::makeMessageBox(&s.window, QMessageBox::Question, QStringLiteral("?"), QStringLiteral("?"),
                                     QMessageBox::Ok | QMessageBox::Cancel);
    QList<QWidget*> others{&s.window, box.get(), new shell::TableOperationDialog(&s.window),
                           new shell::RebuildDialog(disk, s.dialogs, &s.window)};
    // A save of every row, its report, and the folders it writes named as
    // in Chinese (scripts rely on them).
    QTemporaryDir out;
    s.dialogs.nextFolder = out.path();
    s.dialogs.answerDialog = [&](QDialog& d) {
      collectTexts(d, shown);
      static_cast<shell::SaveDialog&>(d).browseButton()->click();
      return true;
    };
    QSignalSpy saved(&partition, &shell::PartitionWindow::saveFinished);
    s.window.commands().action(shell::kCheckAll)->trigger();
    s.window.commands().action(shell::kSaveTicked)->trigger();
    QVERIFY(saved.wait(20000));
    shown << Shown{QStringLiteral("save report"), saved.first().first().toString()};
    QVERIFY(QFileInfo(out.filePath(QStringLiteral("根目录"))).isDir());
    // The lost-file scan, which adds the extended folder to the tree.
    QSignalSpy scanned(&partition, &shell::PartitionWindow::scanFinished);
    s.window.commands().action(shell::kLostFileScan)->trigger();
    QVERIFY(scanned.wait(60000));
    others << partition.scanProgressWindow();
    s.window.commands().action(shell::kHelp)->trigger();
    others << s.window.manualWindow();
    // The context menus, each read as it opens (the next replaces it).
    collectTexts(*s.window.diskWindow()->contextMenuFor(s.row("sample-disk.img")), shown);
    collectTexts(*s.window.diskWindow()->contextMenuFor(s.row("sample-disk.img", "Partition0")), shown);
    collectTexts(*partition.contextMenuFor(partition.folderModel()->topIndex()), shown);
    const QModelIndex root = partition.folderModel()->indexOf(partition.folderModel()->root());
    collectTexts(*partition.contextMenuFor(partition.folderModel()->index(0, 0, root)), shown);
    // What the window says: statistics, about, the language chosen, exit.
    QSignalSpy counted(&partition, &shell::PartitionWindow::statistics);
    s.window.commands().action(shell::kStatistics)->trigger();
    QVERIFY(counted.wait(10000));
    s.window.commands().action(shell::kAbout)->trigger();
    for (QAction* a : s.window.findChildren<QAction*>())
      if (a->text() == QStringLiteral("English")) a->trigger();
    s.window.close();
    for (QWidget* w : others) collectTexts(*w, shown);
    for (const Message& m : s.dialogs.messages) shown << Shown{QStringLiteral("message"), m.first + "\n" + m.second};
    QVERIFY(s.dialogs.messages.size() >= 4);

    // A language is named in its own words.
    static const QRegularExpression chinese(
        QStringLiteral("[\\x{3000}-\\x{303f}\\x{4e00}-\\x{9fff}\\x{ff00}-\\x{ffef}]"));
    QStringList left;
    for (const auto& [where, text] : shown)
      for (const QString& line : text.split(QLatin1Char('\n')))
        if ((line.contains(chinese) && line != QStringLiteral("中文")) || sources.contains(line))
          left << where + ": " + line;
    left.removeDuplicates();
    QVERIFY2(left.isEmpty(), qPrintable(left.join(" | ")));
    s.dialogs.confirmAnswer = true;
  }
};

QTEST_MAIN(WindowsTest)
#include "windows_test.moc"
