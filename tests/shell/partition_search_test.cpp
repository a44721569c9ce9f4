// The disk window's search tools on images: the lost-partition search from
// its menus, its window and the green rows it leaves in the disk tree, a
// stop during a sector search, the refusals, and the up-case scans.
#include <QAction>
#include <QComboBox>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableWidget>
#include <QtTest>
#include <filesystem>

#include "core/exfat/upcase_scan.h"
#include "shell/commands.h"
#include "shell/disk_scans.h"
#include "shell/disk_window.h"
#include "shell/main_window.h"
#include "shell/partition_search_window.h"
#include "shell/progress_window.h"
#include "shell/recording_dialogs.h"
#include "support/fixtures.h"
#include "support/temp_dir.h"
#include "widgets/disk_tree_model.h"
#include "widgets/tree_list_view.h"

using namespace dudorazu;
using shell::SearchDiskDialog;

namespace {

using Message = QPair<QString, QString>;
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

struct Session {
  DiskCatalogue catalogue;
  test::RecordingDialogs dialogs;
  shell::MainWindow window{catalogue, dialogs};
  shell::DiskScans& scans() { return *window.diskScans(); }
  widgets::DiskTreeModel& disks() { return *window.diskWindow()->diskModel(); }
  QModelIndex disk() { return disks().index(0, 0); }

  // Runs the entry `text` of the disk tree's context menu for `row`.
  void menu(const QModelIndex& row, const QString& text) {
    for (QAction* a : window.diskWindow()->contextMenuFor(row)->actions())
      if (a->text() == text) {
        QVERIFY(a->isEnabled());
        return a->trigger();
      }
    QFAIL(qPrintable(text));
  }
  // The disk's partition rows as "text|label", each of them green.
  QStringList greenRows() {
    QStringList out;
    for (int r = 0; r < disks().rowCount(disk()); ++r) {
      QModelIndex row = disks().index(r, 0, disk());
      if (row.data(Qt::ForegroundRole).value<QBrush>().color() != QColor(0, 0x80, 0)) return {"not green"};
      out << row.data().toString() + '|' + row.siblingAtColumn(1).data().toString();
    }
    return out;
  }
};

// The first sector of TOOLSA's up-case table, as mkfs.exfat wrote it.
std::string upcaseSector() {
  std::string sector = test::readRange(test::fixtureImage("tools-search.img"), 6152 * 512, 512);
  test::require(isUpcaseTableStart(reinterpret_cast<const uint8_t*>(sector.data())), "no up-case table at 6152");
  return sector;
}

}  // namespace

class PartitionSearchTest : public QObject {
  Q_OBJECT
  test::ScratchSettings settings_;

 private slots:
  // The heads list: the six usual values, the disk's own as a seventh.
  void dialogAndWindowTexts() {
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
    QStringList headers;
    QList<int> widths;
    for (int c = 0; c < window.list()->columnCount(); ++c)
      headers << window.list()->horizontalHeaderItem(c)->text(), widths << window.list()->columnWidth(c);
    QCOMPARE(headers, QStringList({"文件系统", "卷标", "柱面-磁头-扇区", "分区大小", "分区类型"}));
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
    test::TempDir dir;
    std::string image = test::copyFixture(dir, "tools-search.img");
    test::writeAt(image, 3048 * 512, upcaseSector());
    Session s;
    s.window.openImageFile(QString::fromStdString(image));
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
      s.disks().diskAt(s.disk())->tracksPerCylinder = c.diskHeads;
      s.dialogs.answerDialog = [&](QDialog& d) {
        static_cast<SearchDiskDialog&>(d).setMode(c.mode);
        return true;
      };
      QSignalSpy ended(&s.scans(), &shell::DiskScans::searchFinished);
      s.menu(s.disk(), QStringLiteral("扫描丢失分区    Ctrl+Alt+P"));
      QVERIFY(ended.wait(20000));
      QCOMPARE(rows(*s.scans().searchWindow()), c.rows);
      QVERIFY(s.scans().searchWindow()->isVisible());
      QCOMPARE(s.greenRows(), QStringList({"Partition0|TOOLSA", "Partition1|TOOLSB", "Partition2|TOOLSC"}));
    }
    QCOMPARE(s.disks().diskAt(s.disk())->cylinders, 81920u / 255 / 63);
    QVERIFY(s.dialogs.messages.isEmpty());

    // The partition scan: refused for a disk row; on a found volume it
    // names the sector that holds the up-case table.
    s.scans().partitionScan(s.disk());
    QCOMPARE(s.dialogs.messages.takeLast(), Message("请选择分区", "error"));
    QSignalSpy scanned(&s.scans(), &shell::DiskScans::scanFinished);
    s.menu(s.disks().index(0, 0, s.disk()), QStringLiteral("分区扫描"));
    QVERIFY(scanned.wait(20000));
    QCOMPARE(s.dialogs.messages,
             QList<Message>({{"找到 exFAT 大写转换表：磁盘第 3048 扇区（分区内第 1000 扇区）", "分区扫描"}}));
    QVERIFY(!s.scans().scanWindow(true)->isVisible());
  }

  // A sector search over a large sparse disk, started from the main menu:
  // its kind refuses a second start (and the program's end) while it runs,
  // "停止" ends it within moments, and the window stays usable.
  void stopEndsASectorSearchPromptly() {
    test::TempDir dir;
    std::string big = dir.file("big.img");
    test::writeAt(big, (uint64_t{1} << 40) - 512, std::string(512, '\0'));
    test::writeAt(big, 30000 * 512, upcaseSector());
    Session s;
    s.window.openImageFile(QString::fromStdString(big));
    s.window.diskWindow()->diskTree()->setCurrentIndex(s.disk());
    s.dialogs.answerDialog = [](QDialog& d) {
      static_cast<SearchDiskDialog&>(d).setMode(SearchMode::Sector);
      return true;
    };
    QSignalSpy ended(&s.scans(), &shell::DiskScans::searchFinished);
    s.window.commands().action(shell::kPartitionSearch)->trigger();
    shell::PartitionSearchWindow* w = s.scans().searchWindow();
    QTRY_VERIFY_WITH_TIMEOUT(w->block().position() > 0, 20000);

    s.window.commands().action(shell::kPartitionSearch)->trigger();
    s.window.commands().action(shell::kWholeDiskScan)->trigger();
    QVERIFY(!s.window.close());
    QCOMPARE(s.dialogs.messages, QList<Message>({kWaiting, kWaiting, kWaiting}));
    QVERIFY(ended.isEmpty());

    // Reading all of the disk takes far longer than this wait.
    w->stopButton()->click();
    QVERIFY(ended.wait(5000));
    QVERIFY(w->isVisible());
    QVERIFY(!w->stopButton()->isEnabled());
    QVERIFY(w->stateText().contains(QStringLiteral("已停止")));
    QVERIFY(w->block().position() < w->block().upper());
    w->closeButton()->click();
    QVERIFY(!w->isVisible());

    // The marker is free again: the whole-disk scan runs, closes its
    // window and says where the table stands.
    QSignalSpy scanned(&s.scans(), &shell::DiskScans::scanFinished);
    s.window.commands().action(shell::kWholeDiskScan)->trigger();
    QVERIFY(scanned.wait(20000));
    QVERIFY(!s.scans().scanWindow(false)->isVisible());
    QCOMPARE(s.dialogs.messages.mid(3), QList<Message>({{"找到 exFAT 大写转换表：磁盘第 30000 扇区", "全盘扫描"}}));

    // A disk that cannot be read is not reported as searched.
    std::filesystem::remove(test::fsPath(big));
    s.window.commands().action(shell::kPartitionSearch)->trigger();
    QVERIFY(ended.wait(5000));
    QCOMPARE(w->stateText(), QStringLiteral("无法读取磁盘，扫描未完成"));
  }
};

QTEST_MAIN(PartitionSearchTest)
#include "partition_search_test.moc"
