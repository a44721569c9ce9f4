#pragma once
// The main window over a scratch catalogue, its questions answered from a
// script, and the model look-ups the flow tests share.
#include <QtTest>
#include <QtWidgets>
#include <functional>
#include <optional>

#include "platform/storage_extent.h"
#include "shell/commands.h"
#include "shell/disk_window.h"
#include "shell/main_window.h"
#include "shell/partition_window.h"
#include "shell/user_dialogs.h"
#include "support/fixtures.h"
#include "widgets/disk_tree_model.h"
#include "widgets/tree_list_view.h"

namespace dudorazu::test {

using Message = QPair<QString, QString>;  // text, caption

class RecordingDialogs : public shell::UserDialogs {
 public:
  void message(QWidget*, const QString& text, const QString& caption) override { messages.append({text, caption}); }
  bool confirm(QWidget*, const QString& text, const QString& caption) override {
    messages.append({text, caption});
    return confirmAnswer;
  }
  QString openFile(QWidget*, const QString& filter) override { return filters.append(filter), nextFile; }
  QString saveFile(QWidget*, const QString& filter) override { return filters.append(filter), nextSaveFile; }
  QString chooseFolder(QWidget*, const QString&) override { return nextFolder; }
  void about(QWidget*, const QString& title, const QString&) override { messages.append({title, QString()}); }
  // Fills in a dialog as the user would; its answer is the dialog's result.
  bool run(QDialog& dialog) override { return answerDialog ? answerDialog(dialog) : false; }

  std::function<bool(QDialog&)> answerDialog;
  QList<Message> messages;
  QStringList filters;
  QString nextFile, nextFolder, nextSaveFile;
  bool confirmAnswer = false;
};

// Keeps the program's settings (recent files, placement) in a scratch
// folder for as long as it lives.
class ScratchSettings {
 public:
  ScratchSettings() {
    QSettings::setDefaultFormat(QSettings::IniFormat);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir_.path());
  }

 private:
  QTemporaryDir dir_;
};

// Paths below `root` lie, for as long as it lives, on a file system whose
// bytes are those of `image` from `start` on, `length` long: a loop device
// over the card being read, as the system would say once it is mounted.
class VolumeOnImage {
 public:
  VolumeOnImage(const QString& root, const QString& image, uint64_t start, uint64_t length) {
    platform::setVolumeStandIn([=](const std::string& path) -> std::optional<platform::StorageExtent> {
      if (!QString::fromStdString(path).startsWith(root)) return std::nullopt;
      platform::StorageExtent volume = platform::storageExtent(image.toStdString());
      volume.kind = platform::StorageExtent::Kind::BlockDevice;
      volume.offset = start;
      volume.length = length;
      return volume;
    });
  }
  ~VolumeOnImage() { platform::setVolumeStandIn(nullptr); }
  VolumeOnImage(const VolumeOnImage&) = delete;
  VolumeOnImage& operator=(const VolumeOnImage&) = delete;
};

inline QString image(const char* name) { return QString::fromStdString(fixtureImage(name)); }

inline QByteArray bytes(const QString& path, qint64 offset = 0, qint64 length = -1) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly) || !f.seek(offset)) return {};
  return length < 0 ? f.readAll() : f.read(length);
}

// Writes `data` over `path` from `offset`, making the file if need be.
inline bool overwrite(const QString& path, qint64 offset, const QByteArray& data) {
  QFile f(path);
  return f.open(QIODevice::ReadWrite) && f.seek(offset) && f.write(data) == data.size();
}

// A writable copy of a bundled image in `dir`.
inline QString imageCopy(const QTemporaryDir& dir, const char* fixture, const QString& name) {
  const QString copy = dir.filePath(name);
  if (!QFile::copy(image(fixture), copy)) return {};
  QFile::setPermissions(copy, QFile::ReadOwner | QFile::WriteOwner);
  return copy;
}

// The child of `parent` whose column-0 text is `text`.
inline QModelIndex childNamed(const QAbstractItemModel& model, const QModelIndex& parent, const QString& text) {
  for (int r = 0; r < model.rowCount(parent); ++r)
    if (model.index(r, 0, parent).data().toString() == text) return model.index(r, 0, parent);
  return {};
}

inline QStringList headers(const QAbstractItemModel& model) {
  QStringList out;
  for (int c = 0; c < model.columnCount(); ++c) out << model.headerData(c, Qt::Horizontal).toString();
  return out;
}

inline QStringList childTexts(const QAbstractItemModel& model, const QModelIndex& parent = {}) {
  QStringList out;
  for (int r = 0; r < model.rowCount(parent); ++r) out << model.index(r, 0, parent).data().toString();
  return out;
}

inline Qt::CheckState mark(const QModelIndex& index) { return index.data(Qt::CheckStateRole).value<Qt::CheckState>(); }

struct Session {
  DiskCatalogue catalogue;
  RecordingDialogs dialogs;
  shell::MainWindow window{catalogue, dialogs};
  widgets::DiskTreeModel& disks() { return *window.diskWindow()->diskModel(); }

  // The disk row `disk`, or the row of its partition `partition`.
  QModelIndex row(const QString& disk, const QString& partition = {}) {
    QModelIndex at = childNamed(disks(), {}, disk);
    return partition.isEmpty() ? at : childNamed(disks(), at, partition);
  }
  // Does `act`; the last message it showed, if any.
  template <typename Act>
  QString said(Act act) {
    dialogs.messages.clear();
    act();
    return dialogs.messages.isEmpty() ? QString() : dialogs.messages.back().first;
  }
  // Selects `at` (nothing when invalid) and runs the command; the last message.
  QString run(shell::CommandId id, const QModelIndex& at) {
    window.diskWindow()->diskTree()->setCurrentIndex(at);
    return said([&] { window.commands().action(id)->trigger(); });
  }
  // Runs the entry `text` of the disk tree's context menu for `at`.
  void menu(const QModelIndex& at, const QString& text) {
    for (QAction* a : window.diskWindow()->contextMenuFor(at)->actions())
      if (a->text() == text) {
        QVERIFY(a->isEnabled());
        return a->trigger();
      }
    QFAIL(qPrintable(text));
  }
  // Double-clicks a row of the disk window; the window opened, if any,
  // with its tree loaded.
  shell::PartitionWindow* open(const QModelIndex& at, bool waitForLoad = true) {
    window.documents()->setActiveSubWindow(window.documents()->subWindowList().front());
    int before = window.partitionWindows().size();
    emit window.diskWindow()->diskTree()->doubleClicked(at);
    if (window.partitionWindows().size() == before) return nullptr;
    shell::PartitionWindow* opened = window.partitionWindows().back();
    QSignalSpy loaded(opened, &shell::PartitionWindow::loadFinished);
    if (waitForLoad && !loaded.wait(20000)) return nullptr;
    return opened;
  }
};

}  // namespace dudorazu::test
