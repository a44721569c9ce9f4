// The panes' models over hand-made records: batches of 100, row order, check marks, the bar.
#include <QScrollBar>
#include <QWheelEvent>
#include <functional>
#include <QtTest>

#include "widgets/block_map_view.h"
#include "widgets/file_icons.h"
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
  // Every way a person reaches the end of the list, in both scroll modes,
  // lists exactly one batch more: never two, never none.
  void folderOf250ChildrenGrowsByHundredsAsItScrolls() {
    ExfatFileRecord folder = makeFolder(248, 2);
    ExfatFileRecord huge = makeFolder(100000, 0);
    using Reach = std::function<void(dudorazu::widgets::FileListView&)>;
    const std::vector<std::pair<const char*, Reach>> reaches = {
        {"scroll bar", [](auto& v) { v.verticalScrollBar()->setValue(v.verticalScrollBar()->maximum()); }},
        {"End key", [](auto& v) { QTest::keyClick(&v, Qt::Key_End); }},
        {"Page Down", [](auto& v) {
           for (int i = 0; i < 400 && v.verticalScrollBar()->value() < v.verticalScrollBar()->maximum(); ++i)
             QTest::keyClick(&v, Qt::Key_PageDown);
         }},
        {"wheel", [](auto& v) {
           for (int i = 0; i < 4000 && v.verticalScrollBar()->value() < v.verticalScrollBar()->maximum(); ++i) {
             QPointF at(50, 50);
             QWheelEvent e(at, v.viewport()->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                           Qt::NoScrollPhase, false);
             QCoreApplication::sendEvent(v.viewport(), &e);
           }
         }},
    };
    for (auto mode : {QAbstractItemView::ScrollPerItem, QAbstractItemView::ScrollPerPixel}) {
      for (const auto& [how, reach] : reaches) {
        for (auto [shown, steps] : {std::pair{&folder, std::vector<int>{100, 200, 250, 250}},
                                    std::pair{&huge, std::vector<int>{100, 200, 300, 400}}}) {
          Pane pane(300);
          pane.view.setVerticalScrollMode(mode);
          QVERIFY(QTest::qWaitForWindowExposed(&pane.view));
          pane.model.showFolder(shown, 0);
          pane.view.setFocus();
          pane.view.setCurrentIndex(pane.model.index(0, 0));
          QTest::qWait(20);
          QCOMPARE(pane.model.rowCount(), steps[0]);
          for (size_t i = 1; i < steps.size(); ++i) {
            reach(pane.view);
            QTest::qWait(20);
            if (pane.model.rowCount() != steps[i]) qWarning() << how << mode << "step" << i;
            QCOMPARE(pane.model.rowCount(), steps[i]);
          }
        }
      }
    }
    Pane pane(300);
    FileListModel& model = pane.model;
    model.showFolder(&folder, 0);
    while (model.listMore()) {
    }
    QCOMPARE(model.rowCount(), 250);

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
    const uint8_t own[] = {1, 0, 2};  // each row's own mark
    FileListModel model;
    struct Row {
      uint8_t folderMark;
      Qt::CheckState expected[3];
    };
    // 0 and 1 impose themselves; 2 keeps each row's own mark.
    for (const Row& row : {Row{0, {Qt::Unchecked, Qt::Unchecked, Qt::Unchecked}},
                           Row{1, {Qt::Checked, Qt::Checked, Qt::Checked}},
                           Row{2, {Qt::Checked, Qt::Unchecked, Qt::PartiallyChecked}}}) {
      auto it = folder.children.begin();
      for (uint8_t m : own) (it++)->checkState = m;
      model.showFolder(&folder, row.folderMark);
      for (int r = 0; r < 3; ++r) QCOMPARE(mark(model, r), row.expected[r]);
    }
  }

  // The block map draws each cell in its state's colour, row by row, and
  // nothing past the room it has.
  void blockMapColoursEachCellByItsState() {
    dudorazu::widgets::BlockMapView map;
    map.resize(40, 16);  // five cells a row, two rows
    QCOMPARE(map.cellCount(), 10);
    const std::string states = "+?*/-+-----XX";
    map.setCells(states);
    QImage picture = map.grab().toImage();
    for (int i = 0; i < map.cellCount(); ++i)
      QCOMPARE(picture.pixelColor(map.cellRect(i).center()), dudorazu::widgets::BlockMapView::colourOf(states[i]));
    QVERIFY(dudorazu::widgets::BlockMapView::colourOf('-') != dudorazu::widgets::BlockMapView::colourOf('+'));
    QVERIFY(!map.accessibleName().isEmpty());
  }

  // Each kind of file a scan can carve has its own icon, not the one every
  // unknown file gets, also without a desktop's theme.
  void carvedKindsHaveTheirOwnIcons() {
    using dudorazu::widgets::fileIcon;
    QStringList alike;
    for (const char* name : {"1.mp4", "2.pdf", "3.png", "4.docx", "5.mp3", "6.zip", "7.jpg"}) {
      const QIcon icon = fileIcon(QString::fromLatin1(name));
      if (icon.isNull() || icon.pixmap(16).toImage() == fileIcon(QStringLiteral("x.no-such-kind")).pixmap(16).toImage())
        alike << QString::fromLatin1(name);
    }
    QVERIFY2(alike.isEmpty(), qPrintable(alike.join(", ")));
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
