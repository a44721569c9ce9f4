#pragma once
// The main window: menus, toolbar, status bar and the tabs of document
// windows (the disk window first and always there, then one window per
// open partition).
#include <QMainWindow>
#include <QStringList>

#include "core/device/disk_catalogue.h"
#include "shell/operation_runner.h"

class QLabel;
class QMdiArea;
class QMdiSubWindow;
class QMenu;

namespace dudorazu::shell {

class ManualWindow;

class Commands;
class DiskScans;
class DiskWindow;
class ImagingDialog;
class PartitionWindow;
class UserDialogs;

class MainWindow : public QMainWindow {
  Q_OBJECT
 public:
  static constexpr int kRecentFiles = 4;

  MainWindow(DiskCatalogue& catalogue, UserDialogs& dialogs, QWidget* parent = nullptr);

  DiskWindow* diskWindow() const { return diskWindow_; }
  QMdiArea* documents() const { return mdi_; }
  Commands& commands() const { return *commands_; }
  DiskScans* diskScans() const { return scans_; }
  ImagingDialog* imagingDialog() const { return imaging_; }
  ManualWindow* manualWindow() const { return manual_; }
  QMdiSubWindow* currentDocument() const;
  PartitionWindow* currentPartitionWindow() const;
  QList<PartitionWindow*> partitionWindows() const;
  // What runs anywhere in the program, by its progress windows' titles.
  QStringList runningTitles();
  // Closes the image's partition windows (each asking when that stops its
  // work), then its rows; the image stays when the user keeps one open.
  void closeImage(DiskRecord* disk);
  void takeRescueMap(const QString& image);
  QLabel* statusPane(int pane) const { return panes_[pane]; }
  QStringList recentFiles() const { return recent_; }
  // The menus of the current kind of window (129 disk window, 145 partition window).
  bool showsPartitionMenus() const { return partitionMenus_; }

  // Opens an image file in the disk window (only while it is the current tab).
  void openImageFile(const QString& path);
  // Opens a window for the partition, or says it is open already.
  PartitionWindow* openPartitionWindow(DiskRecord* disk, PartitionRecord* partition);

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void buildMenus();
  void showMenusOf(bool partition);
  void buildToolbar();
  void buildStatusBar();
  void connectCommands();
  void currentWindowChanged(QMdiSubWindow* window);
  void chooseImageFile();
  void tableOperation();
  void createImage();
  void createRegion();
  void showManual();
  void nameTabs();
  void addRecentFile(const QString& path);
  void fillRecentMenus();
  void restorePlacement();
  void savePlacement();
  bool everythingEnded();

  DiskCatalogue& catalogue_;
  UserDialogs& dialogs_;
  Commands* commands_;
  QMdiArea* mdi_;
  DiskWindow* diskWindow_;
  DiskScans* scans_;
  ImagingDialog* imaging_;
  ManualWindow* manual_ = nullptr;  // made when help is first asked for
  QMdiSubWindow* diskSubWindow_;
  QLabel* panes_[3];
  QMenu* fileMenu_ = nullptr;
  QMenu* recoverMenu_ = nullptr;
  QMenu* toolsMenu_ = nullptr;
  QStringList recent_;
  bool partitionMenus_ = false;
  bool closing_ = false;  // the user agreed to end; it ends once the work has
  // The table backups and restores; last, so they end before what they touch.
  OperationRunner runner_;
};

}  // namespace dudorazu::shell
