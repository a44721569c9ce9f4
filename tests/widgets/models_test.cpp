// The panes' models over hand-made records: batches of 100, row order, check marks, the bar.
#include <QScrollBar>
#include <QtTest>

#include "widgets/file_list_model.h"
#include "widgets/text_progress_bar.h"
#include "widgets/file_list_view.h"

using dudorazu::ExfatFileRecord;
using dudorazu::widgets::FileListModel;

namespace {

// `files` files then `folders` folders, named in reverse order.
ExfatFileRecord makeFolder(int files, int folders) {
  ExfatFileRecord folder;
  folder.state = dudorazu::kStateFolder;
  folder.firstCluster = 7;
  for (int i = 0; i < files + folders; ++i) {
    ExfatFileRecord& child = folder.children.emplace_back();
    child.state = i < files ? (i % 2 ? dudorazu::kStateDeletedFile : dudorazu::kStateFile) : dudorazu::kStateFolder;
    child.name = QStringLiteral("n%1.txt").arg(999 - i, 3, 10, QLatin1Char('0')).toStdString();
    child.firstCluster = 100 + i;
    child.parent = &folder;
  }
  return folder;
}

Qt::CheckState mark(const FileListModel& model, int row) {
  return model.index(row, 0).data(Qt::CheckStateRole).value<Qt::CheckState>();
}

// A file pane of the given height, shown on its own model.
struct Pane {
  FileListModel model;
  dudorazu::widgets::FileListView view{QStringLiteral("文件")};
  explicit Pane(int height) {
    view.setFileModel(&model);
    view.resize(600, height);
    view.show();
  }
};

}  // namespace

class ModelsTest : public QObject {
  Q_OBJECT
 private slots:
  void folderOf250ChildrenGrowsByHundredsAsItScrolls() {
    ExfatFileRecord folder = makeFolder(248, 2);
    Pane pane(300);
    FileListModel& model = pane.model;
    dudorazu::widgets::FileListView& view = pane.view;
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    model.showFolder(&folder, 0);
    QCoreApplication::processEvents();
    QCOMPARE(model.rowCount(), 100);
    for (int expected : {200, 250, 250}) {
      view.scrollToBottom();
      QCoreApplication::processEvents();
      QCOMPARE(model.rowCount(), expected);
    }
    model.setFetchAllowed(true);
    QVERIFY(!model.canFetchMore({}));
    model.setFetchAllowed(false);

    // Folders of every batch stand first, by name; files follow as listed.
    QCOMPARE(model.index(0, 0).data().toString(), QStringLiteral("n750.txt"));
    QCOMPARE(model.index(1, 0).data().toString(), QStringLiteral("n751.txt"));
    QCOMPARE(model.index(2, 0).data().toString(), QStringLiteral("n999.txt"));
    QCOMPARE(model.index(3, FileListModel::kState).data().toString(), QStringLiteral("已删除文件"));
    QCOMPARE(model.index(3, FileListModel::kState).data(Qt::ForegroundRole).value<QBrush>().color(), QColor(255, 0, 0));
    QCOMPARE(model.index(2, FileListModel::kParentNumber).data().toString(), QStringLiteral("7"));
    QCOMPARE(model.index(2, FileListModel::kRead).data(), model.index(2, FileListModel::kModified).data());

    // A pane taller than the rows listed lists more, as it cannot scroll.
    Pane tall(3000);
    QVERIFY(QTest::qWaitForWindowExposed(&tall.view));
    tall.model.showFolder(&folder, 0);
    QTRY_VERIFY(tall.view.verticalScrollBar()->maximum() > 0 || tall.model.rowCount() == 250);
    QVERIFY(tall.model.rowCount() > 100);

    // A row asked for by its record lists the batches up to its own, no more.
    FileListModel deep;
    deep.showFolder(&folder, 0);
    ExfatFileRecord* wanted = &*std::next(folder.children.begin(), 150);
    QCOMPARE(deep.recordAt(deep.indexOfRecord(wanted)), wanted);
    QCOMPARE(deep.rowCount(), 200);
    QVERIFY(!deep.indexOfRecord(&folder).isValid());
  }

  void listedRowsTakeTheFolderMark() {
    ExfatFileRecord folder = makeFolder(3, 0);
    auto own = [&](std::vector<uint8_t> marks) {
      auto it = folder.children.begin();
      for (uint8_t m : marks) (it++)->checkState = m;
    };
    FileListModel model;
    struct Row {
      uint8_t folderMark;
      Qt::CheckState expected[3];
    };
    // 0 and 1 impose themselves; 2 keeps each row's own mark.
    for (const Row& row : {Row{0, {Qt::Unchecked, Qt::Unchecked, Qt::Unchecked}},
                           Row{1, {Qt::Checked, Qt::Checked, Qt::Checked}},
                           Row{2, {Qt::Checked, Qt::Unchecked, Qt::PartiallyChecked}}}) {
      own({1, 0, 2});
      model.showFolder(&folder, row.folderMark);
      for (int r = 0; r < 3; ++r) QCOMPARE(mark(model, r), row.expected[r]);
    }
  }

  void barWritesItsPercentOrWaiting() {
    dudorazu::widgets::TextProgressBar bar;
    bar.setProgress(1, 3);
    QCOMPARE(bar.text(), QStringLiteral("33%"));
    bar.setProgress(20, 10);  // clamped at the upper bound
    QCOMPARE(bar.text(), QStringLiteral("100%"));
    bar.setWaiting(true);
    QCOMPARE(bar.text(), QStringLiteral("等待..."));
    bar.setProgress(0, 0);
    QCOMPARE(bar.text(), QStringLiteral("0%"));
  }
};

QTEST_MAIN(ModelsTest)
#include "models_test.moc"
