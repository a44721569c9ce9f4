// The disk window's rescue tools on images: the lost-partition search and
// the up-case scans, imaging, regions, and the partition-table operations.
#include <filesystem>

#include "core/exfat/upcase_scan.h"
#include "shell/disk_scans.h"
#include "shell/operation_runner.h"
#include "shell/imaging_dialog.h"
#include "widgets/block_map_view.h"
#include "shell/partition_search_window.h"
#include "shell/progress_window.h"
#include "shell/rebuild_dialog.h"
#include "shell/region_dialog.h"
#include "shell/session.h"
#include "shell/table_operation_dialog.h"
#include "shell/table_operations.h"
#include "support/faulty_device.h"
#include "widgets/text_progress_bar.h"
#include "support/temp_dir.h"

using namespace dudorazu;
using namespace dudorazu::test;
using shell::SearchDiskDialog;
using shell::TableOperationDialog;

namespace {

const Message kWaiting{QStringLiteral("等待当前操作完成！"), QStringLiteral("waiting")};

// The search window's rows, columns joined by "|".
QStringList rows(const shell::PartitionSearchWindow& window) {
  QTableWidget* list = window.list();
  QStringList out;
  for (int r = 0; r < list->rowCount(); ++r) {
    QStringList cells;
    for (int c = 0; c < list->columnCount(); ++c) cells << list->item(r, c)->text();
    out << cells.join('|');
  }
  return out;
}

// The first disk's partition rows as "text|label", each of them green.
QStringList greenRows(Session& s) {
  QStringList out;
  for (int r = 0; r < s.disks().rowCount(s.disks().index(0, 0)); ++r) {
    QModelIndex row = s.disks().index(r, 0, s.disks().index(0, 0));
    if (row.data(Qt::ForegroundRole).value<QBrush>().color() != QColor(0, 0x80, 0)) return {"not green"};
    out << row.data().toString() + '|' + row.siblingAtColumn(1).data().toString();
  }
  return out;
}

// The first sector of TOOLSA's up-case table, as mkfs.exfat wrote it.
std::string upcaseSector() {
  std::string sector = readRange(fixtureImage("tools-search.img"), 6152 * 512, 512);
  require(isUpcaseTableStart(reinterpret_cast<const uint8_t*>(sector.data())), "no up-case table at 6152");
  return sector;
}

// A sparse image of `sectors` sectors, `first` written at its start.
QString sparseImage(const QTemporaryDir& dir, const char* name, qint64 sectors, const QByteArray& first = {}) {
  QFile f(dir.filePath(name));
  if (!f.open(QIODevice::WriteOnly) || !f.resize(sectors * 512) || f.write(first) != first.size()) return {};
  return f.fileName();
}

}  // namespace

class DiskToolsTest : public QObject {
  Q_OBJECT
  ScratchSettings settings_;

 private slots:
  // The runner every window operation goes through: the run's question is
  // answered through the dialogs while the worker waits, its messages come
  // after the finishing step, a second run of its kind is refused with the
  // marker's text, and a runner that goes while a question is open lets the
  // run end with "no" instead of hanging.
  void theRunnerAsksReportsRefusesAndEnds() {
    RecordingDialogs dialogs;
    dialogs.confirmAnswer = true;
    QWidget window;
    RunningMarker marker(RunningMarker::Kind::Flag, kWaitForCurrentOperation, kCaptionWaiting);
    std::atomic<bool> release{false};
    auto operation = [&](bool* answer) {
      return LongOperation{"", &marker, true, [&, answer](ProgressBlock& block, MessageSink& messages, Questions& q) {
                             *answer = q.confirm({Question::Kind::ReplaceFile, "替换吗？", "/x"});
                             while (!release && !block.cancelled()) QThread::msleep(1);
                             messages.show("完毕", "done");
                             return *answer;
                           }};
    };
    QStringList order;
    bool answer = false, second = false;
    {
      shell::OperationRunner runner(dialogs, &window);
      QVERIFY(runner.start(operation(&answer), nullptr, [&](shell::OperationEnd& end) {
        order << QStringLiteral("finish %1 %2").arg(end.succeeded).arg(end.messages.size());
      }));
      QTRY_COMPARE(dialogs.messages.size(), 1);
      QVERIFY(!runner.start(operation(&second), nullptr));
      QCOMPARE(dialogs.messages, (QList<Message>{{"替换吗？", "dudorazu"}, kWaiting}));
      release = true;
      QSignalSpy idle(&runner, &shell::OperationRunner::idle);
      QVERIFY(idle.wait(5000));
      QVERIFY(answer && !marker.running());
      QCOMPARE(order, QStringList{"finish 1 1"});
      QCOMPARE(dialogs.messages.back(), Message("完毕", "done"));

      release = false;
      dialogs.messages.clear();
      QVERIFY(runner.start(operation(&answer), nullptr));
      QVERIFY(!runner.closeWhenIdle([&] { order << QStringLiteral("closed"); }));
      QTRY_COMPARE(order.size(), 2);
      QCOMPARE(order.back(), QStringLiteral("closed"));
      QVERIFY(runner.closeWhenIdle([] {}));

      // The question is posted but the window thread never gets to it.
      QVERIFY(runner.start(operation(&answer), nullptr));
    }
    QVERIFY(!answer && !marker.running());
  }

  // The heads list: the six usual values, the disk's own as a seventh.
  void searchDialogAndWindowTexts() {
    struct Case {
      uint32_t diskHeads;
      int items;
      uint8_t heads;
    } cases[] = {{255, 6, 255}, {15, 7, 15}, {300, 7, 0}};
    for (const Case& c : cases) {
      DiskRecord disk;
      disk.tracksPerCylinder = c.diskHeads;
      SearchDiskDialog dialog(disk);
      QCOMPARE(dialog.headsBox()->count(), c.items);
      QCOMPARE(dialog.headsBox()->currentText(), QString::number(c.diskHeads));
      QCOMPARE(dialog.heads(), c.heads);
      QCOMPARE(dialog.mode(), SearchMode::Aligned);
    }
    // The window's columns; a label holding ";" stays in its own column.
    shell::PartitionSearchWindow window;
    QCOMPARE(window.windowTitle(), QStringLiteral("扫描分区"));
    QStringList texts;
    QList<int> widths;
    for (int c = 0; c < window.list()->columnCount(); ++c)
      texts << window.list()->horizontalHeaderItem(c)->text(), widths << window.list()->columnWidth(c);
    QCOMPARE(texts, QStringList({"文件系统", "卷标", "柱面-磁头-扇区", "分区大小", "分区类型"}));
    QCOMPARE(widths.mid(0, 4), QList<int>({70, 40, 120, 150}));
    FoundVolume volume;
    volume.label = "a;b";
    volume.chs = "7,1,1";
    volume.sizeSectors = 8;
    volume.entryKind = kEntryLogical;
    window.begin(SearchMode::Cylinder);
    window.addVolume(volume);
    QCOMPARE(rows(window), QStringList({"exFat|a;b|7,1,1|8|逻辑"}));
  }

  // tools-search.img: TOOLSA at 2048 (off the cylinder grid), TOOLSB at
  // cylinder 2, TOOLSC 63 sectors into cylinder 4 with its main boot
  // sector zeroed; the partition table wiped.
  void searchListsVolumesAndTheTreeShowsThemOnceInGreen() {
    TempDir dir;
    std::string img = copyFixture(dir, "tools-search.img");
    writeAt(img, 3048 * 512, upcaseSector());
    Session s;
    s.window.openImageFile(QString::fromStdString(img));
    const QModelIndex disk = s.disks().index(0, 0);
    const QStringList aligned = {"exFat|TOOLSA|0,32,33|16384|主", "exFat|TOOLSB|2,0,1|16384|主",
                                 "exFat|TOOLSC|4,1,1|8192|逻辑"};
    struct Case {
      SearchMode mode;
      uint32_t diskHeads;  // the dialog starts on it
      QStringList rows;
    } cases[] = {
        {SearchMode::Aligned, 255, aligned},
        {SearchMode::Aligned, 255, aligned},
        // 15 heads: both grid volumes start on cylinders of 945 sectors
        {SearchMode::Cylinder, 15, {"exFat|TOOLSB|34,0,1|16384|主", "exFat|TOOLSC|68,1,1|8192|逻辑"}},
        // each row after the first goes before the last one
        {SearchMode::Sector, 255, {"exFat|TOOLSB|0,0,1|16384|主", "exFat|TOOLSC|0,0,1|8192|主",
                                   "exFat|TOOLSA|0,0,1|16384|主"}},
    };
    for (const Case& c : cases) {
      s.disks().diskAt(disk)->tracksPerCylinder = c.diskHeads;
      s.dialogs.answerDialog = [&](QDialog& d) {
        static_cast<SearchDiskDialog&>(d).setMode(c.mode);
        return true;
      };
      QSignalSpy ended(s.window.diskScans(), &shell::DiskScans::searchFinished);
      s.menu(disk, QStringLiteral("扫描丢失分区    Ctrl+Alt+P"));
      QVERIFY(ended.wait(20000));
      QCOMPARE(rows(*s.window.diskScans()->searchWindow()), c.rows);
      QVERIFY(s.window.diskScans()->searchWindow()->isVisible());
      QCOMPARE(greenRows(s), QStringList({"Partition0|TOOLSA", "Partition1|TOOLSB", "Partition2|TOOLSC"}));
    }
    QCOMPARE(s.disks().diskAt(disk)->cylinders, 81920u / 255 / 63);
    QVERIFY(s.dialogs.messages.isEmpty());

    // The partition scan: refused for a disk row; on a found volume it
    // names the sector that holds the up-case table.
    s.window.diskScans()->partitionScan(disk);
    QCOMPARE(s.dialogs.messages.takeLast(), Message("请选择分区", "error"));
    QSignalSpy scanned(s.window.diskScans(), &shell::DiskScans::scanFinished);
    s.menu(s.disks().index(0, 0, disk), QStringLiteral("分区扫描"));
    QVERIFY(scanned.wait(20000));
    QCOMPARE(s.dialogs.messages,
             QList<Message>({{"找到 exFAT 大写转换表：磁盘第 3048 扇区（分区内第 1000 扇区）", "分区扫描"}}));
    QVERIFY(!s.window.diskScans()->scanWindow(true)->isVisible());
  }

  // A sector search over a large sparse disk, started from the main menu:
  // its kind refuses a second start while it runs, "停止" ends it within
  // moments, and the window stays usable. Closing the program stops it and
  // closes once it has ended.
  void stopEndsASectorSearchPromptly() {
    TempDir dir;
    std::string big = dir.file("big.img");
    writeAt(big, (uint64_t{1} << 40) - 512, std::string(512, '\0'));
    writeAt(big, 30000 * 512, upcaseSector());
    Session s;
    s.window.openImageFile(QString::fromStdString(big));
    s.window.diskWindow()->diskTree()->setCurrentIndex(s.disks().index(0, 0));
    s.dialogs.answerDialog = [](QDialog& d) {
      static_cast<SearchDiskDialog&>(d).setMode(SearchMode::Sector);
      return true;
    };
    shell::DiskScans& scans = *s.window.diskScans();
    QSignalSpy ended(&scans, &shell::DiskScans::searchFinished);
    s.window.commands().action(shell::kPartitionSearch)->trigger();
    shell::PartitionSearchWindow* w = scans.searchWindow();
    QTRY_VERIFY_WITH_TIMEOUT(w->block().position() > 0, 20000);

    s.window.commands().action(shell::kPartitionSearch)->trigger();
    s.window.commands().action(shell::kWholeDiskScan)->trigger();
    QVERIFY(!s.window.close());  // declined
    QCOMPARE(s.dialogs.messages,
             QList<Message>({kWaiting, kWaiting, {"正在扫描分区，退出将停止它。\n\n您真的要退出程序吗?", "dudorazu"}}));
    QVERIFY(ended.isEmpty());

    // Reading all of the disk takes far longer than this wait.
    w->stopButton()->click();
    QVERIFY(ended.wait(5000));
    QVERIFY(w->isVisible() && !w->stopButton()->isEnabled());
    QVERIFY(w->stateText().contains(QStringLiteral("已停止")));
    QVERIFY(w->block().position() < w->block().upper());
    w->closeButton()->click();
    QVERIFY(!w->isVisible());

    // The marker is free again: the whole-disk scan runs, closes its
    // window and says where the table stands.
    QSignalSpy scanned(&scans, &shell::DiskScans::scanFinished);
    s.window.commands().action(shell::kWholeDiskScan)->trigger();
    QVERIFY(scanned.wait(20000));
    QVERIFY(!scans.scanWindow(false)->isVisible());
    QCOMPARE(s.dialogs.messages.mid(3), QList<Message>({{"找到 exFAT 大写转换表：磁盘第 30000 扇区", "全盘扫描"}}));

    // A disk that cannot be read is not reported as searched.
    std::filesystem::remove(fsPath(big));
    s.window.commands().action(shell::kPartitionSearch)->trigger();
    QVERIFY(ended.wait(5000));
    QCOMPARE(w->stateText(), QStringLiteral("无法读取磁盘，扫描未完成"));

    writeAt(big, (uint64_t{1} << 40) - 512, std::string(512, '\0'));
    s.window.show();
    s.window.commands().action(shell::kPartitionSearch)->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(w->block().position() > 0, 20000);
    s.dialogs.confirmAnswer = true;
    QVERIFY(!s.window.close());
    QVERIFY(w->block().cancelled());
    QVERIFY(ended.wait(5000));
    QTRY_VERIFY(!s.window.isVisible());
    QVERIFY(!shell::processMarkers().search.running());
  }

  // Sector 5000 cannot be read: the copy to a file goes on, the list gets its
  // row and the dialog widens; the end message does not pass for a clean
  // copy. The partition's menu item opens the dialog with it as source; a
  // disk target is picked from the list, named in the question, and left
  // alone when the answer is no.
  void imagingToAFileAndToADisk() {
    QTemporaryDir dir;
    const QString source = image("sample-disk.img"), target = sparseImage(dir, "target.img", 40000);
    Session s;
    s.window.openImageFile(source);
    s.window.openImageFile(target);
    QCOMPARE(s.run(shell::kCreateImage, {}), QStringLiteral("请选择源文件"));
    QVERIFY(s.run(shell::kCreateImage, s.row("sample-disk.img")).isEmpty());
    shell::ImagingDialog& d = *s.window.imagingDialog();
    auto start = [&] { return s.said([&] { d.startButton()->click(); }); };
    QVERIFY(d.isVisible() && !d.widened() && d.counterLabel()->isHidden());
    QCOMPARE(d.sectorCountField()->text().toLongLong() * 512, QFileInfo(source).size());
    QCOMPARE(s.run(shell::kCreateImage, s.row("sample-disk.img")), QStringLiteral("等待当前操作完成！"));

    d.toFileButton()->click();
    QVERIFY(!d.targetField()->isEnabled() && d.fileField()->isEnabled());
    QCOMPARE(start(), QStringLiteral("请选择目标文件路径"));
    const QString out = dir.filePath("copy.img"), map = dir.filePath("copy.map");
    s.dialogs.nextSaveFile = out;
    for (QPushButton* b : d.findChildren<QPushButton*>())
      if (b->accessibleName() == QStringLiteral("浏览")) b->click();
    QCOMPARE(d.fileField()->text(), out);
    d.mapfileBox()->click();
    QCOMPARE(start(), QStringLiteral("请选择映射文件路径"));
    d.mapfileField()->setText(map);
    const int narrow = d.width();

    {
      FaultPlan plan;
      plan.badSectors = {5000};
      ScopedFaultInjection faults(source.toStdString(), plan);
      QVERIFY(start().isEmpty());
      QVERIFY(!d.startButton()->isEnabled() && d.counterLabel()->isVisible());
      QVERIFY(QSignalSpy(&d, &shell::ImagingDialog::imagingFinished).wait(60000));
    }
    QVERIFY2(d.isVisible(), "the dialog stays for its list to be read");
    QCOMPARE(d.badSectorList()->rowCount(), 1);
    QCOMPARE(d.badSectorList()->item(0, 0)->text() + d.badSectorList()->item(0, 1)->text(),
             QStringLiteral("第1个坏扇区5000"));
    QVERIFY2(d.widened() && d.width() > narrow, "the list shows at the first bad sector");
    QCOMPARE(d.counter()->text(), d.sectorCountField()->text());
    QCOMPARE(d.findChild<widgets::TextProgressBar*>()->text(), QStringLiteral("100%"));  // as the counter says
    const QString end = s.dialogs.messages.back().first;
    QVERIFY2(end.startsWith(QStringLiteral("镜像完毕")) && end.contains(QStringLiteral("1个扇区无法读取")),
             qPrintable(end));
    QVERIFY(QFileInfo(out).isFile() && QFileInfo(map).isFile());  // what lies in them: the core's tests
    QVERIFY(d.startButton()->isEnabled());
    // The picture shows the unreadable area in red among copied green, the
    // counts say it, and the next start is offered to go on from the map.
    const std::string cells = d.blockMap()->cells();
    QVERIFY2(cells.find('-') != std::string::npos && cells.find('+') != std::string::npos &&
                 cells.find_first_not_of("+-") == std::string::npos,
             cells.c_str());
    QVERIFY2(d.rescueCounts()->text().contains(QStringLiteral("无法读取 512.0B（1 处）")),
             qPrintable(d.rescueCounts()->text()));
    QVERIFY(d.resumeBox()->isChecked());
    // Going on with the sector readable now reads only it: the copy is
    // whole, and nothing asks to replace the copy or its map.
    const QString asked = start();
    QVERIFY2(asked.isEmpty(), qPrintable(asked));
    QVERIFY(QSignalSpy(&d, &shell::ImagingDialog::imagingFinished).wait(60000));
    QCOMPARE(bytes(out), bytes(source));
    QVERIFY(d.blockMap()->cells().find_first_not_of('+') == std::string::npos);
    QVERIFY(!d.resumeBox()->isChecked());
    // Offered after a stop, it is withdrawn once the copy is another one.
    d.resumeBox()->setChecked(true);
    d.fileField()->setText(dir.filePath("other.img"));
    QVERIFY(!d.resumeBox()->isChecked());
    d.close();
    d.mapfileBox()->click();
    d.toDiskButton()->click();

    s.menu(s.row("sample-disk.img", "Partition0"), QStringLiteral("创建分区镜像文件     Ctrl+Alt+J"));
    QCOMPARE(d.sourceField()->text(), QStringLiteral("sample-disk.img,Partition0"));
    QCOMPARE(d.sectorCountField()->text(), QStringLiteral("30720"));

    QTest::mouseClick(d.targetField(), Qt::LeftButton);
    QVERIFY(d.picker()->isVisible());
    QCOMPARE(d.picker()->geometry().top(), d.targetField()->geometry().bottom() + 1);
    for (QTreeWidgetItem* item : d.picker()->findItems(QStringLiteral("target.img"), Qt::MatchExactly))
      emit d.picker()->itemActivated(item, 0);
    QVERIFY(d.picker()->isHidden());
    QCOMPARE(d.targetField()->text(), QStringLiteral("target.img"));
    d.targetStartField()->setText(QStringLiteral("8"));

    const QString question = start();
    QCOMPARE(s.dialogs.messages.back().second, QStringLiteral("警告"));
    for (const QString& part : {QStringLiteral("该操作可能破坏目标磁盘"), target, QStringLiteral("从第 8 扇区起的 30720 个扇区")})
      QVERIFY2(question.contains(part), qPrintable(question));
    QCOMPARE(bytes(target), QByteArray(40000 * 512, '\0'));

    s.dialogs.confirmAnswer = true;
    start();
    QVERIFY(QSignalSpy(&d, &shell::ImagingDialog::imagingFinished).wait(60000));
    QCOMPARE(s.dialogs.messages.back().first, QStringLiteral("镜像完毕"));
    QCOMPARE(bytes(target, 8 * 512, 30720 * 512), bytes(source, 2048 * 512, 30720 * 512));
  }

  // Each row: the disk (1M with an exFAT boot sector at 0, or 2M sectors),
  // the numbers typed, and the region made or the refusal. The units'
  // arithmetic and limits are the core's; here each unit text and route.
  void regionNumbersInTheirUnits() {
    QTemporaryDir dir;
    QByteArray boot = bytes(image("partitions-whole-exfat.img"), 0, 512);
    Session s;
    s.window.openImageFile(sparseImage(dir, "1M.img", 1000000, boot));
    s.window.openImageFile(sparseImage(dir, "2M.img", 2000000));
    // disk: "" none selected, "region" the row of the first region; first
    // -1: refused; said: the refusal, or column 2 of the new row.
    struct Case {
      const char *disk, *start, *startUnit, *size, *sizeUnit;
      qint64 first, end;
      const char* said;
    } cases[] = {
        {"1M.img", "100", "Sec", "1", "MB", 100, 2148, ""},
        {"2M.img", "0.5", "GB", "10", "KB", 1048576, 1048596, ""},
        {"1M.img", "0", "Sec", "1.5", "KB", 0, 3, "exFat"},
        {"1M.img", "600000", "Sec", "500000", "Sec", -1, -1, "数值填写过大，请改写！"},
        {"2M.img", "abc", "Sec", "2", "mb", 0, 2, ""},  // no unit named: sectors
        {"", "1", "Sec", "1", "Sec", -1, -1, "没有选择磁盘"},
        {"region", "1", "Sec", "1", "Sec", -1, -1, "请正确选择磁盘"},
    };
    for (const Case& c : cases) {
      const QString name = QString::fromUtf8(c.disk);
      QModelIndex at = name == QStringLiteral("region") ? s.disks().index(0, 0, s.row("1M.img")) : s.row(name);
      QString sizeText, typed;  // typed: the start field after a refusal
      bool stayedOpen = false;
      s.dialogs.answerDialog = [&](QDialog& d) {
        auto& r = static_cast<shell::RegionDialog&>(d);
        sizeText = r.diskSizeLabel()->text();
        r.startField()->setText(c.start);
        r.startUnit()->setCurrentText(c.startUnit);
        r.sizeField()->setText(c.size);
        r.sizeUnit()->setCurrentText(c.sizeUnit);
        r.accept();
        stayedOpen = r.result() != QDialog::Accepted;
        if (stayedOpen) typed = r.startField()->text();
        return !stayedOpen;
      };
      const int before = at.isValid() ? s.disks().rowCount(at) : 0;
      const QString said = s.run(shell::kRegion, at);
      const QString what = QStringLiteral("%1 %2 + %3 %4").arg(c.start, c.startUnit, c.size, c.sizeUnit);
      if (c.first < 0) {
        QVERIFY2(said == QString::fromUtf8(c.said), qPrintable(what + ": " + said));
        QCOMPARE(stayedOpen, at.isValid() && !at.parent().isValid());
        if (stayedOpen) QCOMPARE(typed, QString::fromUtf8(c.start));  // a second "确定" converts nothing twice
        if (at.isValid()) QCOMPARE(s.disks().rowCount(at), before);
        continue;
      }
      QVERIFY2(said.isEmpty(), qPrintable(what + ": " + said));
      QCOMPARE(sizeText, name == QStringLiteral("1M.img") ? QStringLiteral("1000000 Sectors")
                                                          : QStringLiteral("2000000 Sectors"));
      QCOMPARE(s.disks().rowCount(at), before + 1);
      QModelIndex added = s.disks().index(before, 0, at);
      const PartitionRecord& p = *s.disks().partitionAt(added);
      QCOMPARE(qint64(p.startSector), c.first);
      QCOMPARE(qint64(p.startSector + p.sizeSectors), c.end);
      QCOMPARE(added.siblingAtColumn(widgets::DiskTreeModel::kFileSystem).data().toString(), QString::fromUtf8(c.said));
    }
  }

  // Backup and restore of the clicked disk: a backup restores a wiped
  // sector 0 byte for byte once the user agrees, and nothing is written
  // while the file names another disk or the question is declined.
  void partitionTableBackupRestoreAndRebuild() {
    QTemporaryDir dir;
    const QString a = imageCopy(dir, "sample-disk.img", "a.img"), b = imageCopy(dir, "sample-disk.img", "b.img");
    Session s;
    s.window.openImageFile(a);
    s.window.openImageFile(b);
    int choice = TableOperationDialog::kNone;
    QStringList controls;
    s.dialogs.answerDialog = [&](QDialog& d) {
      controls = QStringList{d.windowTitle()};
      for (auto* button : d.findChildren<QAbstractButton*>())
        controls << button->text() + (button->accessibleName() == button->text() ? "" : "?");
      if (choice >= 0) static_cast<TableOperationDialog&>(d).option(choice)->click();
      return true;
    };
    // Backups and restores end on a worker; their messages come then.
    auto run = [&](int c, const char* disk, const QString& file) {
      choice = c;
      s.dialogs.nextSaveFile = s.dialogs.nextFile = file;
      QString said = s.run(shell::kTableOperation, s.row(QString::fromUtf8(disk)));
      if (!QTest::qWaitFor([] { return !shell::processMarkers().tables.running(); }, 20000)) return QStringLiteral("still running");
      return s.dialogs.messages.isEmpty() ? said : s.dialogs.messages.back().first;
    };
    QCOMPARE(run(TableOperationDialog::kNone, "a.img", {}), QStringLiteral("请选择分区操作类型！"));
    QCOMPARE(controls, (QStringList{"分区表操作", "分区表备份", "分区表恢复", "分区表重建", "确定", "取消"}));
    const QString tableA = dir.filePath("a-table.img"), tableB = dir.filePath("b-table.img");
    QCOMPARE(run(TableOperationDialog::kBackup, "a.img", tableA), QStringLiteral("备份成功"));
    QCOMPARE(run(TableOperationDialog::kBackup, "b.img", tableB), QStringLiteral("备份成功"));
    QCOMPARE(s.dialogs.filters.back(), QStringLiteral("Img files(*.img);;All files(*)"));
    {  // nor onto a volume of the disk itself
      QVERIFY(QDir(dir.path()).mkdir("mnt"));
      VolumeOnImage mounted(dir.filePath("mnt"), a, 2048 * 512, 30720 * 512);
      QVERIFY(run(TableOperationDialog::kBackup, "a.img", dir.filePath("mnt/t.img")).contains("the volume being read"));
      QVERIFY(!QFileInfo::exists(dir.filePath("mnt/t.img")));
    }

    const QByteArray original = bytes(a);
    QVERIFY(overwrite(a, 0, QByteArray(512, '\0')));
    const QByteArray wiped = bytes(a);
    QCOMPARE(run(TableOperationDialog::kRestore, "a.img", tableB), QStringLiteral("备份信息与磁盘不对应"));
    QCOMPARE(s.dialogs.messages.size(), 1);  // refused before anything is asked
    QCOMPARE(bytes(a), wiped);
    // The disk row's menu reaches it too; the question names the disk and is declined.
    choice = TableOperationDialog::kRestore;
    s.dialogs.nextFile = tableA;
    const QString question = s.said([&] { s.menu(s.row("a.img"), QStringLiteral("分区表操作     Ctrl+Alt+O")); });
    QVERIFY2(question.startsWith(QStringLiteral("此操作将改写 a.img")) && question.endsWith(QStringLiteral("是否继续？")),
             qPrintable(question));
    QCOMPARE(bytes(a), wiped);
    s.dialogs.confirmAnswer = true;
    QCOMPARE(run(TableOperationDialog::kRestore, "a.img", tableA), QStringLiteral("恢复成功"));
    QCOMPARE(bytes(a), original);
    // The same backup with its first offset moved into the volume's heap.
    const QByteArray saved = bytes(tableA);
    QCOMPARE(saved.mid(1024, 2), QByteArray("0^"));
    const QString moved = dir.filePath("a-moved.img");
    QVERIFY(overwrite(moved, 0, saved.left(1024) + "6168576" + saved.mid(1025)));
    const QString refusal = run(TableOperationDialog::kRestore, "a.img", moved);
    QVERIFY2(refusal.startsWith(QStringLiteral("备份文件中偏移 6168576 处的扇区")), qPrintable(refusal));
    QCOMPARE(bytes(a), original);
    QCOMPARE(s.disks().rowCount(s.row("a.img")), 1);  // a partition already listed is not listed twice
    // A disk opened with its table lost shows the partitions of the restored one.
    const QString c = imageCopy(dir, "sample-disk.img", "c.img"), tableC = dir.filePath("c-table.img");
    s.window.openImageFile(c);
    QCOMPARE(run(TableOperationDialog::kBackup, "c.img", tableC), QStringLiteral("备份成功"));
    s.menu(s.row("c.img"), QStringLiteral("关闭镜像文件"));
    QVERIFY(overwrite(c, 0, QByteArray(512, '\0')));
    s.window.openImageFile(c);
    QCOMPARE(s.disks().rowCount(s.row("c.img")), 0);
    QCOMPARE(run(TableOperationDialog::kRestore, "c.img", tableC), QStringLiteral("恢复成功"));
    QCOMPARE(childTexts(s.disks(), s.row("c.img")), QStringList{"Partition0"});

    // The rebuild refuses five ticks with sector 0 unchanged; two ticks,
    // once agreed, give a table the image opens with again.
    DiskRecord& disk = *s.disks().diskAt(s.row("a.img"));
    for (uint64_t start : {100, 200, 300, 400}) {
      disk.partitions.push_back(disk.partitions.front());
      PartitionRecord& found = disk.partitions.back();
      found.searchKind = kSearchKindFound;
      found.startSector = start;
      found.sizeSectors = start == 100 ? 150 : 10;  // into the next one
    }
    QVERIFY(overwrite(a, 446, QByteArray(64, '\0')));  // the entries lost, as a search would find them
    const QByteArray lost = bytes(a, 0, 512);
    s.dialogs.confirmAnswer = false;
    QStringList seen;
    QList<int> ticks = {0, 1, 2, 3, 4};
    s.dialogs.answerDialog = [&](QDialog& d) {
      if (auto* choose = qobject_cast<TableOperationDialog*>(&d)) {
        choose->option(TableOperationDialog::kRebuild)->click();
        return true;
      }
      auto* list = static_cast<shell::RebuildDialog&>(d).list();
      seen = headers(*list->model());
      for (auto* label : d.findChildren<QLabel*>()) seen << label->text() + label->palette().color(QPalette::WindowText).name();
      for (int i = 0; i < list->topLevelItemCount(); ++i)
        list->topLevelItem(i)->setCheckState(0, ticks.contains(i) ? Qt::Checked : Qt::Unchecked);
      d.findChild<QPushButton*>()->click();
      return d.result() == QDialog::Accepted;
    };
    QCOMPARE(s.run(shell::kTableOperation, s.row("a.img")), QStringLiteral("选择错误，请从新选择"));
    QCOMPARE(seen, (QStringList{"系统", "卷标", "起始位置(sec)", "大小", "主/逻辑", "警告：分区表重建前需备份#ff0000"}));
    QCOMPARE(bytes(a, 0, 512), lost);
    // Volumes that overlap are refused before the question, both named.
    ticks = {1, 2};
    const QString overlap = s.run(shell::kTableOperation, s.row("a.img"));
    QVERIFY2(overlap.startsWith(QStringLiteral("exFat 卷 SAMPLE（起始扇区 100） 与 exFat 卷 SAMPLE（起始扇区 200） 重叠")),
             qPrintable(overlap));
    QCOMPARE(bytes(a, 0, 512), lost);
    ticks = {0, 1};
    s.run(shell::kTableOperation, s.row("a.img"));  // declined
    QCOMPARE(bytes(a, 0, 512), lost);
    s.dialogs.confirmAnswer = true;
    s.run(shell::kTableOperation, s.row("a.img"));
    Session again;
    again.window.openImageFile(a);
    QCOMPARE(childTexts(again.disks(), again.row("a.img")), (QStringList{"Partition0", "Partition1"}));
    QCOMPARE(again.row("a.img", "Partition0").siblingAtColumn(2).data().toString(), QStringLiteral("exFat"));
  }
};

QTEST_MAIN(DiskToolsTest)
#include "disk_tools_test.moc"
