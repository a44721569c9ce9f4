#pragma once
// The hits of a search in the open partition, listed as the file pane lists
// a folder. A double click asks the partition window to show the hit in its
// folder; "恢复选中文件" saves the ticked hits.
#include <QDialog>

#include "core/exfat/exfat_file_record.h"

class QLabel;
class QPushButton;

namespace dudorazu::widgets {
class FileListModel;
class FileListView;
}  // namespace dudorazu::widgets

namespace dudorazu::shell {

class SearchResults : public QDialog {
  Q_OBJECT
 public:
  explicit SearchResults(QWidget* parent = nullptr);
  // Lists `hits` (each row keeps its own mark) and shows the window.
  void showHits(std::vector<ExfatFileRecord*> hits);
  // Forgets every hit: the records they point at are about to go.
  void forget();

  widgets::FileListModel* model() const { return model_; }
  widgets::FileListView* view() const { return view_; }
  QString summary() const;
  QPushButton* saveButton() const { return save_; }

 signals:
  void showRequested(ExfatFileRecord* record);
  void markToggled(ExfatFileRecord* record);
  void saveRequested();

 private:
  widgets::FileListModel* model_;
  widgets::FileListView* view_;
  QLabel* summary_;
  QPushButton* save_;
};

}  // namespace dudorazu::shell
