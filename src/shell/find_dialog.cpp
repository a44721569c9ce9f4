#include "shell/find_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/recovery/record_filter.h"

namespace dudorazu::shell {
namespace {

// Example input of each mode; both texts begin with two spaces.
const char* const kExamples[] = {"", "  txt; doc; xls", "  *r*me.t?t;*jp*"};

QCheckBox* checkBox(const QString& text, bool checked, QWidget* parent) {
  auto* box = new QCheckBox(text, parent);
  box->setChecked(checked);
  box->setAccessibleName(box->text());
  return box;
}

}  // namespace

FindDialog::FindDialog(QWidget* parent) : QDialog(parent) {
  setWindowTitle(tr("查找文件"));
  mode_ = new QComboBox(this);
  mode_->addItems({tr("文件名"), tr("文件扩展名"), tr("文件名匹配")});
  mode_->setAccessibleName(tr("查找方式"));
  text_ = new QComboBox(this);
  text_->setEditable(true);
  text_->setMinimumWidth(240);
  text_->setAccessibleName(tr("查找内容"));
  text_->lineEdit()->setAccessibleName(text_->accessibleName());
  whole_ = checkBox(tr("全匹配"), false, this);
  deleted_ = checkBox(tr("删除文件"), true, this);
  live_ = checkBox(tr("正常文件"), true, this);
  intactOnly_ = checkBox(tr("只显示可完整恢复的文件"), false, this);
  auto* group = new QGroupBox(tr("查找类型"), this);
  group->setAccessibleName(group->title());
  files_ = checkBox(tr("文件"), true, group);
  folders_ = checkBox(tr("文件夹"), true, group);
  auto* groupRow = new QHBoxLayout(group);
  groupRow->addWidget(files_);
  groupRow->addWidget(folders_);
  auto* exampleTitle = new QLabel(tr("例子:"), this);
  example_ = new QLabel(this);
  example_->setMinimumWidth(160);
  auto* buttons = new QDialogButtonBox(this);
  buttons->addButton(tr("确定"), QDialogButtonBox::AcceptRole)->setAccessibleName(tr("确定"));
  buttons->addButton(tr("取消"), QDialogButtonBox::RejectRole)->setAccessibleName(tr("取消"));
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(mode_, &QComboBox::currentIndexChanged, this, &FindDialog::showExample);

  auto* grid = new QGridLayout;
  grid->addWidget(mode_, 0, 0);
  grid->addWidget(text_, 0, 1, 1, 2);
  grid->addWidget(whole_, 1, 0);
  grid->addWidget(deleted_, 1, 1);
  grid->addWidget(live_, 1, 2);
  grid->addWidget(group, 2, 0, 1, 3);
  grid->addWidget(intactOnly_, 3, 0, 1, 3);
  auto* exampleRow = new QHBoxLayout;
  exampleRow->addWidget(exampleTitle);
  exampleRow->addWidget(example_, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(grid);
  layout->addLayout(exampleRow);
  layout->addWidget(buttons);
  showExample(0);
}

void FindDialog::showExample(int mode) {
  example_->setText(QString::fromUtf8(kExamples[mode < 0 || mode > 2 ? 0 : mode]));
  example_->setAccessibleName(example_->text().trimmed());
}

QList<QCheckBox*> FindDialog::checkBoxes() const { return {whole_, deleted_, live_, files_, folders_, intactOnly_}; }

SearchCriteria FindDialog::criteria() const {
  SearchCriteria c;
  c.mode = static_cast<SearchCriteria::Mode>(mode_->currentIndex());
  c.text = text_->currentText().toStdString();
  c.wholeMatch = whole_->isChecked();
  c.deleted = deleted_->isChecked();
  c.live = live_->isChecked();
  c.files = files_->isChecked();
  c.folders = folders_->isChecked();
  c.recoverability = intactOnly_->isChecked() ? kOnlyIntact : 0;
  return c;
}

}  // namespace dudorazu::shell
