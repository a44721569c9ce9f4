#include "shell/table_operation_dialog.h"

#include <QDialogButtonBox>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace dudorazu::shell {

TableOperationDialog::TableOperationDialog(QWidget* parent) : QDialog(parent) {
  setWindowTitle(tr("分区表操作"));
  auto* group = new QGroupBox(this);
  auto* column = new QVBoxLayout(group);
  const QString texts[3] = {tr("分区表备份"), tr("分区表恢复"), tr("分区表重建")};
  for (int i = 0; i < 3; ++i) {
    options_[i] = new QRadioButton(texts[i], group);
    options_[i]->setAccessibleName(texts[i]);
    column->addWidget(options_[i]);
    connect(options_[i], &QRadioButton::clicked, this, [this, i] { choice_ = i; });
  }
  auto* buttons = new QDialogButtonBox(this);
  for (auto [text, role] :
       {std::pair{tr("确定"), QDialogButtonBox::AcceptRole}, std::pair{tr("取消"), QDialogButtonBox::RejectRole}})
    buttons->addButton(text, role)->setAccessibleName(text);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(group);
  layout->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

}  // namespace dudorazu::shell
