#include "shell/screenshot.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QTimer>

#include "core/common/long_operation.h"
#include "core/partitions/file_system_text.h"
#include "shell/disk_scans.h"
#include "shell/disk_window.h"
#include "shell/find_dialog.h"
#include "shell/imaging_dialog.h"
#include "widgets/text_progress_bar.h"
#include "shell/main_window.h"
#include "shell/partition_search_window.h"
#include "shell/partition_window.h"
#include "shell/region_dialog.h"
#include "shell/progress_window.h"
#include "shell/save_dialog.h"
#include "shell/user_dialogs.h"
#include "shell/search_results.h"
#include "widgets/block_map_view.h"
#include "widgets/disk_tree_model.h"
#include "widgets/file_list_model.h"
#include "widgets/folder_tree_model.h"
#include "widgets/qt_text.h"
#include "widgets/tree_list_view.h"

namespace dudorazu::shell {
namespace {

// The first folder, depth first, with a deleted entry directly in it.
ExfatFileRecord* folderWithDeleted(ExfatFileRecord& folder) {
  for (ExfatFileRecord& child : folder.children)
    if (child.isDeleted()) return &folder;
  for (ExfatFileRecord& child : folder.children)
    if (child.isFolder())
      if (ExfatFileRecord* found = folderWithDeleted(child)) return found;
  return nullptr;
}

}  // namespace

int takeScreenshots(MainWindow& window, const QString& directory, std::function<void(QWidget&)> drawn) {
  auto save = [&drawn](QWidget& shown, const QString& path) {
    if (drawn) drawn(shown);
    return shown.grab().save(path);
  };
  QDir().mkpath(directory);
  window.setWindowState(Qt::WindowNoState);
  window.resize(1280, 800);
  window.show();
  widgets::DiskTreeModel* disks = window.diskWindow()->diskModel();
  QModelIndex exfat;
  for (int d = 0; d < disks->rowCount() && !exfat.isValid(); ++d)
    for (int p = 0; p < disks->rowCount(disks->index(d, 0)); ++p) {
      QModelIndex row = disks->index(p, 0, disks->index(d, 0));
      if (fileSystemText(*disks->partitionAt(row)) == "exFat") {
        exfat = row;
        break;
      }
    }
  if (!exfat.isValid()) return 1;
  window.diskWindow()->diskTree()->setCurrentIndex(exfat);
  emit window.diskWindow()->diskTree()->clicked(exfat);
  QApplication::processEvents();
  if (!save(window, directory + QStringLiteral("/disk-window.png"))) return 1;

  PartitionWindow* partition = window.openPartitionWindow(disks->diskAt(exfat), disks->partitionAt(exfat));
  if (!partition) return 1;
  // The load ends only through the event loop, so its window still stands.
  if (!save(*partition->progressWindow(), directory + QStringLiteral("/progress-window.png"))) return 1;
  int status = 1;
  QObject::connect(partition, &PartitionWindow::loadFinished, &window, [&] {
    widgets::FolderTreeModel* folders = partition->folderModel();
    ExfatFileRecord* folder = folderWithDeleted(*folders->root());
    QModelIndex row = folders->indexOf(folder ? folder : folders->root());
    for (QModelIndex up = row.parent(); up.isValid(); up = up.parent()) partition->folderTree()->expand(up);
    partition->folderTree()->expandAll();
    partition->folderTree()->setCurrentIndex(row);
    partition->showFolder(row);
    widgets::FileListModel* files = partition->fileModel();
    if (files->rowCount() > 0) files->setData(files->index(0, 0), Qt::Checked, Qt::CheckStateRole);
    // and the first deleted file, to be saved with it
    for (int r = 0; r < files->rowCount(); ++r)
      if (files->recordAt(files->index(r, 0))->isDeleted()) {
        files->setData(files->index(r, 0), Qt::Checked, Qt::CheckStateRole);
        break;
      }
    QTimer::singleShot(300, &window, [&] {
      status = save(window, directory + QStringLiteral("/partition-window.png")) ? 0 : 1;
      // The find dialog as it opens, then the deleted entries it finds.
      FindDialog find(partition);
      find.modeBox()->setCurrentIndex(2);
      find.show();
      QApplication::processEvents();
      if (!save(find, directory + QStringLiteral("/find-dialog.png"))) status = 1;
      SearchCriteria deleted;
      deleted.live = false;
      partition->search(deleted);
    });
  });
  QObject::connect(partition, &PartitionWindow::searchFinished, &window, [&] {
    QTimer::singleShot(200, &window, [&] {
      if (!save(*partition->searchResults(), directory + QStringLiteral("/search-results.png"))) status = 1;
      QtUserDialogs dialogs;
      SaveDialog target(dialogs, &window);
      target.pathField()->setText(QDir::homePath() + QCoreApplication::translate("Screenshot", "/恢复的文件"));
      target.show();
      QApplication::processEvents();
      if (!save(target, directory + QStringLiteral("/save-dialog.png"))) status = 1;
      // A batch save under way, as its window shows it once the runner has
      // looked at its block.
      auto* saving = new ProgressWindow(widgets::coreText(kTitleSaving), &window);
      saving->begin();
      saving->block().setRange(100, 1);
      saving->block().setPosition(42);
      saving->showProgress();
      QTimer::singleShot(600, &window, [&, saving] {
        if (!save(*saving, directory + QStringLiteral("/save-progress.png"))) status = 1;
        saving->finish();
        // The imaging dialog of the partition as it looks once a sector
        // could not be read: widened to its list.
        ImagingDialog& imaging = *window.imagingDialog();
        imaging.openFor(exfat.parent().data().toString() + QLatin1Char(',') + exfat.data().toString());
        imaging.toFileButton()->setChecked(true);
        imaging.fileField()->setText(QDir::homePath() + QCoreApplication::translate("Screenshot", "/分区镜像.img"));
        imaging.mapfileBox()->setChecked(true);
        imaging.mapfileField()->setText(QDir::homePath() + QCoreApplication::translate("Screenshot", "/分区镜像.map"));
        imaging.counter()->setText(QStringLiteral("10240"));
        imaging.findChild<widgets::TextProgressBar*>()->setProgress(10240, 30720);  // as far as the counter
        imaging.counterLabel()->show();
        imaging.addBadSector(1, 7000);
        // The map a third of the way: copied, the bad sector found, the
        // rest untried.
        std::string cells(static_cast<size_t>(imaging.blockMap()->cellCount()), '?');
        const size_t copied = cells.size() / 3, bad = cells.size() * 7000 / 30720;
        std::fill(cells.begin(), cells.begin() + static_cast<long>(copied), '+');
        cells[bad] = '-';
        imaging.blockMap()->setCells(cells);
        RescueSnapshot rescue;
        rescue.counts = {.rescued = 5 << 20, .nonTried = 10 << 20, .bad = 512, .badAreas = 1};
        rescue.currentRate = 12 << 20;
        imaging.rescueCounts()->setText(rescueCountsText(rescue));
        QApplication::processEvents();
        if (!save(imaging, directory + QStringLiteral("/imaging-dialog.png"))) status = 1;
        imaging.close();
        QtUserDialogs answers;
        RegionDialog region(regionDiskSectors(*disks->diskAt(exfat)), answers, &window);
        region.startField()->setText(QStringLiteral("2048"));
        region.sizeField()->setText(QStringLiteral("15"));
        region.sizeUnit()->setCurrentIndex(2);
        region.show();
        QApplication::processEvents();
        if (!save(region, directory + QStringLiteral("/region-dialog.png"))) status = 1;
        // The lost-partition search on the last disk named: its dialog,
        // then its window once the search has ended.
        QModelIndex last = disks->index(disks->rowCount() - 1, 0);
        SearchDiskDialog ask(*disks->diskAt(last), &window);
        ask.show();
        QApplication::processEvents();
        if (!save(ask, directory + QStringLiteral("/partition-search-dialog.png"))) status = 1;
        ask.hide();
        if (!window.diskScans()->startSearch(last, SearchMode::Aligned, 0)) QApplication::exit(0);
      });
    });
  });
  QObject::connect(window.diskScans(), &DiskScans::searchFinished, &window, [&] {
    QTimer::singleShot(200, &window, [&] {
      if (!save(*window.diskScans()->searchWindow(), directory + QStringLiteral("/partition-search.png"))) status = 1;
      QApplication::exit(0);
    });
  });
  QApplication::exec();
  return status;
}

}  // namespace dudorazu::shell
