#include "shell/save_dialog.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "shell/user_dialogs.h"

namespace dudorazu::shell {

SaveDialog::SaveDialog(UserDialogs& dialogs, QWidget* parent) : QDialog(parent), dialogs_(dialogs) {
  setWindowTitle(QStringLiteral("Recover"));
  auto* label = new QLabel(tr("输出路径:"), this);
  path_ = new QLineEdit(this);
  path_->setAccessibleName(label->text());
  path_->setMinimumWidth(320);
  label->setBuddy(path_);
  browse_ = new QPushButton(QStringLiteral(">"), this);
  browse_->setAccessibleName(tr("请选择存储路径"));
  browse_->setAutoDefault(false);
  auto* buttons = new QDialogButtonBox(this);
  buttons->addButton(tr("确定"), QDialogButtonBox::AcceptRole)->setAccessibleName(tr("确定"));
  buttons->addButton(tr("取消"), QDialogButtonBox::RejectRole)->setAccessibleName(tr("取消"));
  auto* row = new QHBoxLayout;
  row->addWidget(label);
  row->addWidget(path_, 1);
  row->addWidget(browse_);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(row);
  layout->addWidget(buttons);
  connect(browse_, &QPushButton::clicked, this, &SaveDialog::browse);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

// A chosen folder keeps no trailing separator, except the file system's root.
void SaveDialog::browse() {
  QString folder = dialogs_.chooseFolder(this, tr("请选择存储路径"));
  if (folder.isEmpty()) return;
  if (folder.size() > 1 && folder.endsWith(QLatin1Char('/'))) folder.chop(1);
  path_->setText(folder);
}

QString SaveDialog::destination() const { return path_->text().trimmed(); }

}  // namespace dudorazu::shell
