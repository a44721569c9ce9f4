#include "shell/search_results.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/present/check_marks.h"
#include "widgets/file_list_model.h"
#include "widgets/file_list_view.h"

namespace dudorazu::shell {

SearchResults::SearchResults(QWidget* parent) : QDialog(parent) {
  setWindowTitle(tr("查找结果"));
  setModal(false);
  resize(760, 360);
  summary_ = new QLabel(this);
  model_ = new widgets::FileListModel(this);
  view_ = new widgets::FileListView(tr("查找结果"), this);
  view_->setFileModel(model_);
  save_ = new QPushButton(tr("恢复选中文件"), this);
  save_->setAccessibleName(save_->text());
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(summary_);
  layout->addWidget(view_, 1);
  layout->addWidget(save_, 0, Qt::AlignRight);
  connect(view_, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) {
    if (ExfatFileRecord* record = model_->recordAt(index)) emit showRequested(record);
  });
  connect(model_, &widgets::FileListModel::markToggled, this, &SearchResults::markToggled);
  connect(save_, &QPushButton::clicked, this, &SearchResults::saveRequested);
}

void SearchResults::showHits(std::vector<ExfatFileRecord*> hits) {
  summary_->setText(tr("找到 %1 个文件或文件夹，双击一行可在其所在文件夹中查看。").arg(hits.size()));
  summary_->setAccessibleName(summary_->text());
  model_->showRecords(std::move(hits), kPartlyChecked);
  view_->fitColumns();
  show();
  raise();
}

void SearchResults::forget() {
  model_->clear();
  summary_->clear();
  hide();
}

QString SearchResults::summary() const { return summary_->text(); }

}  // namespace dudorazu::shell
