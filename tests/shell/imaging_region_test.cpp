// The imaging dialog and the region command driven through the main window
// on images: an unreadable sector listed, widening the dialog and told in
// the end message; a target disk named and asked for before it is written;
// the region's numbers in their units and its refusals.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>

#include "shell/commands.h"
#include "shell/disk_window.h"
#include "shell/imaging_dialog.h"
#include "shell/main_window.h"
#include "shell/recording_dialogs.h"
#include "shell/region_dialog.h"
#include "shell/table_operation_dialog.h"
#include "support/faulty_device.h"
#include "support/fixtures.h"
#include "widgets/disk_tree_model.h"
#include "widgets/tree_list_view.h"

using namespace dudorazu;

namespace {

QByteArray bytes(const QString& path, qint64 offset = 0, qint64 length = -1) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly) || !f.seek(offset)) return {};
  return length < 0 ? f.readAll() : f.read(length);
}

// A sparse image of `sectors` sectors, `first` written at its start.
QString sparseImage(const QTemporaryDir& dir, const char* name, qint64 sectors, const QByteArray& first = {}) {
  QFile f(dir.filePath(name));
  if (!f.open(QIODevice::WriteOnly) || !f.resize(sectors * 512) || f.write(first) != first.size()) return {};
  return f.fileName();
}

struct Session {
  DiskCatalogue catalogue;
  test::RecordingDialogs dialogs;
  shell::MainWindow window{catalogue, dialogs};
  shell::ImagingDialog& imaging() { return *window.imagingDialog(); }
  widgets::DiskTreeModel& disks() { return *window.diskWindow()->diskModel(); }

  QModelIndex row(const QString& disk, int partition = -1) {
    for (int d = 0; d < disks().rowCount(); ++d) {
      QModelIndex at = disks().index(d, 0);
      if (at.data().toString() == disk) return partition < 0 ? at : disks().index(partition, 0, at);
    }
    return {};
  }
  // Does `act`; the last message it showed, if any.
  template <typename Act>
  QString said(Act act) {
    dialogs.messages.clear();
    act();
    return dialogs.messages.isEmpty() ? QString() : dialogs.messages.back().first;
  }
  // Selects `at` (none when invalid) and runs the command.
  QString run(shell::CommandId id, const QModelIndex& at) {
    window.diskWindow()->diskTree()->setCurrentIndex(at);
    return said([&] { window.commands().action(id)->trigger(); });
  }
  QString start() {
    return said([&] { imaging().startButton()->click(); });
  }
  bool finished() { return QSignalSpy(&imaging(), &shell::ImagingDialog::imagingFinished).wait(60000); }
};

}  // namespace

class ImagingRegionTest : public QObject {
  Q_OBJECT
  QTemporaryDir settings_;

 private slots:
  void initTestCase() { test::keepSettingsIn(settings_.path()); }

  // Sector 5000 cannot be read: the copy goes on, the list gets its row and
  // the dialog widens; the end message does not pass for a clean copy.
  void imagingToAFileListsTheBadSector() {
    QTemporaryDir dir;
    const QString source = QString::fromStdString(test::fixtureImage("sample-disk.img"));
    Session s;
    s.window.openImageFile(source);
    QCOMPARE(s.run(shell::kCreateImage, {}), QStringLiteral("请选择源文件"));
    QVERIFY(s.run(shell::kCreateImage, s.row("sample-disk.img")).isEmpty());
    shell::ImagingDialog& d = s.imaging();
    QVERIFY(d.isVisible() && !d.widened() && d.counterLabel()->isHidden());
    QCOMPARE(d.sectorCountField()->text().toLongLong() * 512, QFileInfo(source).size());
    QCOMPARE(s.run(shell::kCreateImage, s.row("sample-disk.img")), QStringLiteral("等待当前操作完成！"));

    d.toFileButton()->click();
    QVERIFY(!d.targetField()->isEnabled() && d.fileField()->isEnabled());
    QCOMPARE(s.start(), QStringLiteral("请选择目标文件路径"));
    const QString out = dir.filePath("copy.img"), map = dir.filePath("copy.map");
    s.dialogs.nextSaveFile = out;
    for (QPushButton* b : d.findChildren<QPushButton*>())
      if (b->accessibleName() == QStringLiteral("浏览")) b->click();
    QCOMPARE(d.fileField()->text(), out);
    d.mapfileBox()->click();
    QCOMPARE(s.start(), QStringLiteral("请选择映射文件路径"));
    d.mapfileField()->setText(map);
    const int narrow = d.width();

    test::FaultPlan plan;
    plan.badSectors = {5000};
    test::ScopedFaultInjection faults(source.toStdString(), plan);
    QVERIFY(s.start().isEmpty());
    QVERIFY(!d.startButton()->isEnabled() && d.counterLabel()->isVisible());
    QVERIFY(s.finished());
    QVERIFY2(d.isVisible(), "the dialog stays for its list to be read");
    QCOMPARE(d.badSectorList()->rowCount(), 1);
    QCOMPARE(d.badSectorList()->item(0, 0)->text(), QStringLiteral("第1个坏扇区"));
    QCOMPARE(d.badSectorList()->item(0, 1)->text(), QStringLiteral("5000"));
    QVERIFY2(d.widened() && d.width() > narrow, "the list shows at the first bad sector");
    QCOMPARE(d.counter()->text(), d.sectorCountField()->text());
    const QString end = s.dialogs.messages.back().first;
    QVERIFY2(end.startsWith(QStringLiteral("镜像完毕")) && end.contains(QStringLiteral("1个扇区无法读取")),
             qPrintable(end));
    QCOMPARE(QFileInfo(out).size(), QFileInfo(source).size());
    QCOMPARE(bytes(out, 5000 * 512, 512), QByteArray(512, '\x20'));
    QVERIFY(bytes(map).contains("0x00271000  0x00000200  -"));
    QVERIFY(d.startButton()->isEnabled());
  }

  // The partition's menu item opens the dialog with it as source; a disk
  // target is picked from the list, named in the question, and left alone
  // when the answer is no.
  void imagingToADiskAsksFirst() {
    QTemporaryDir dir;
    const QString target = sparseImage(dir, "target.img", 40000);
    Session s;
    s.window.openImageFile(QString::fromStdString(test::fixtureImage("sample-disk.img")));
    s.window.openImageFile(target);
    s.window.diskWindow()->contextMenuFor(s.row("sample-disk.img", 0))->actions().front()->trigger();
    shell::ImagingDialog& d = s.imaging();
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

    const QString question = s.start();
    QCOMPARE(s.dialogs.messages.back().second, QStringLiteral("警告"));
    for (const QString& part : {QStringLiteral("该操作可能破坏目标磁盘"), target, QStringLiteral("从第 8 扇区起的 30720 个扇区")})
      QVERIFY2(question.contains(part), qPrintable(question));
    QCOMPARE(bytes(target), QByteArray(40000 * 512, '\0'));

    s.dialogs.confirmAnswer = true;
    s.start();
    QVERIFY(s.finished());
    QCOMPARE(s.dialogs.messages.back().first, QStringLiteral("镜像完毕"));
    const QString source = QString::fromStdString(test::fixtureImage("sample-disk.img"));
    QCOMPARE(bytes(target, 8 * 512, 30720 * 512), bytes(source, 2048 * 512, 30720 * 512));
    QCOMPARE(bytes(target, 0, 8 * 512), QByteArray(8 * 512, '\0'));
  }

  // The disk row's menu reaches the table operations; the restore asks in
  // Chinese, naming the disk, and writes nothing when declined.
  void diskMenuReachesTheTableOperations() {
    QTemporaryDir dir;
    const QString disk = dir.filePath("a.img"), table = dir.filePath("a-table.img");
    QVERIFY(QFile::copy(QString::fromStdString(test::fixtureImage("sample-disk.img")), disk));
    QFile::setPermissions(disk, QFile::ReadOwner | QFile::WriteOwner);
    Session s;
    s.window.openImageFile(disk);
    int choice = shell::TableOperationDialog::kBackup;
    s.dialogs.answerDialog = [&](QDialog& d) {
      static_cast<shell::TableOperationDialog&>(d).option(choice)->click();
      return true;
    };
    s.dialogs.nextSaveFile = s.dialogs.nextFile = table;
    auto viaMenu = [&] {
      for (QAction* item : s.window.diskWindow()->contextMenuFor(s.row("a.img"))->actions())
        if (item->text() == QStringLiteral("分区表操作     Ctrl+Alt+O")) return s.said([&] { item->trigger(); });
      return QString();
    };
    QCOMPARE(viaMenu(), QStringLiteral("备份成功"));
    const QByteArray before = bytes(disk);
    choice = shell::TableOperationDialog::kRestore;
    const QString question = viaMenu();
    QVERIFY2(question.startsWith(QStringLiteral("此操作将改写 a.img")) && question.endsWith(QStringLiteral("是否继续？")),
             qPrintable(question));
    QCOMPARE(bytes(disk), before);
  }

  // Each row: the disk (1M with an exFAT boot sector at 0, 2M or 9G sectors),
  // the numbers typed, and the region made or the refusal.
  void regionNumbersInTheirUnits() {
    QTemporaryDir dir;
    QByteArray boot = bytes(QString::fromStdString(test::fixtureImage("partitions-whole-exfat.img")), 0, 512);
    Session s;
    s.window.openImageFile(sparseImage(dir, "1M.img", 1000000, boot));
    s.window.openImageFile(sparseImage(dir, "2M.img", 2000000));
    s.window.openImageFile(sparseImage(dir, "9G.img", 16777300));
    const QHash<QString, QString> sizes = {{"1M.img", "1000000 Sectors"}, {"2M.img", "2000000 Sectors"},
                                           {"9G.img", "16777300 Sectors"}};
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
        {"9G.img", "16777217", "Sec", "1", "Sec", 16777217, 16777218, ""},
        {"1M.img", "600000", "Sec", "500000", "Sec", -1, -1, "数值填写过大，请改写！"},
        {"1M.img", "0.5", "GB", "1", "KB", -1, -1, "数值填写过大，请改写！"},
        {"1M.img", "100", "Sec", "-5", "Sec", -1, -1, "数值填写错误，请改写！"},
        {"2M.img", "abc", "Sec", "2", "mb", 0, 2, ""},  // no unit named: sectors
        {"", "1", "Sec", "1", "Sec", -1, -1, "没有选择磁盘"},
        {"region", "1", "Sec", "1", "Sec", -1, -1, "请正确选择磁盘"},
    };
    for (const Case& c : cases) {
      const QString name = QString::fromUtf8(c.disk);
      QModelIndex at = name == QStringLiteral("region") ? s.row("1M.img", 0) : s.row(name);
      QString sizeText;
      bool stayedOpen = false;
      QString typed;  // the start field after a refusal
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
      QCOMPARE(sizeText, sizes.value(name));
      QCOMPARE(s.disks().rowCount(at), before + 1);
      QModelIndex added = s.disks().index(before, 0, at);
      const PartitionRecord& p = *s.disks().partitionAt(added);
      QCOMPARE(qint64(p.startSector), c.first);
      QCOMPARE(qint64(p.startSector + p.sizeSectors), c.end);
      QCOMPARE(added.siblingAtColumn(widgets::DiskTreeModel::kFileSystem).data().toString(), QString::fromUtf8(c.said));
    }
  }
};

QTEST_MAIN(ImagingRegionTest)
#include "imaging_region_test.moc"
