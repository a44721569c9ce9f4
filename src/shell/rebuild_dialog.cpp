#include "shell/rebuild_dialog.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "core/common/long_operation.h"
#include "core/tools/write_questions.h"
#include "shell/drive_access.h"
#include "shell/operation_runner.h"
#include "shell/table_operations.h"
#include "shell/user_dialogs.h"
#include "widgets/qt_text.h"

namespace dudorazu::shell {
RebuildDialog::RebuildDialog(const DiskRecord& disk, UserDialogs& dialogs, QWidget* parent)
    : QDialog(parent), disk_(disk), dialogs_(dialogs) {
  setWindowTitle(tr("重建分区表"));
  list_ = new QTreeWidget(this);
  list_->setAccessibleName(windowTitle());
  list_->setRootIsDecorated(false);
  list_->setSelectionBehavior(QAbstractItemView::SelectRows);
  const QStringList columns = {tr("系统"), tr("卷标"), tr("起始位置(sec)"), tr("大小"), tr("主/逻辑")};
  list_->setHeaderLabels(columns);
  list_->header()->setDefaultAlignment(Qt::AlignCenter);
  list_->header()->setSectionResizeMode(QHeaderView::Stretch);
  rows_ = rebuildRows(disk);
  for (const RebuildRow& row : rows_) {
    auto* item = new QTreeWidgetItem(list_);
    const std::string* texts[] = {&row.system, &row.label, &row.startText, &row.sizeText, &row.kindText};
    for (int c = 0; c < columns.size(); ++c) {
      item->setText(c, texts[c] == &row.kindText ? widgets::coreText(row.kindText) : widgets::qtText(*texts[c]));
      item->setTextAlignment(c, Qt::AlignCenter);
    }
    item->setCheckState(0, Qt::Unchecked);
  }
  auto* warning = new QLabel(tr("警告：分区表重建前需备份"), this);
  warning->setAccessibleName(warning->text());
  QPalette red = warning->palette();
  red.setColor(QPalette::WindowText, QColor(255, 0, 0));
  warning->setPalette(red);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(warning, 1);
  auto button = [&](const QString& text, auto slot) {
    auto* b = new QPushButton(text, this);
    b->setAccessibleName(text);
    b->setAutoDefault(false);
    connect(b, &QPushButton::clicked, this, slot);
    buttons->addWidget(b);
  };
  button(tr("保存"), [this] { save(); });
  button(tr("取消"), [this] { reject(); });
  button(tr("分区表备份"), [this] { emit backupRequested(); });
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(list_, 1);
  layout->addLayout(buttons);
  resize(560, 300);
}

// No tick, or ticks the core refuses (more than four, volumes that overlap
// or start past the disk's end), leave the dialog open with nothing
// written; a write that fails is reported and the dialog stays.
void RebuildDialog::save() {
  std::vector<size_t> ticked;
  std::vector<const RebuildRow*> rows;
  for (int i = 0; i < list_->topLevelItemCount(); ++i) {
    if (list_->topLevelItem(i)->checkState(0) != Qt::Checked) continue;
    rows.push_back(&rows_[i]);
    ticked.push_back(rows_[i].recordIndex);
  }
  if (ticked.empty()) return;
  DialogMessageSink messages(dialogs_, this);
  if (refuseRebuild(disk_, ticked, messages)) return;
  // A backup asked for from this dialog may still be reading the disk.
  if (processMarkers().tables.refuse(messages)) return;
  Question question = rebuildMbrQuestion(disk_, rows, Wording::Chinese);
  if (!dialogs_.confirm(this, widgets::coreText(question.text), windowTitle())) return;
  withWriteAccess(disk_.devicePath, dialogs_, this, [this, ticked] {
    DialogMessageSink writing(dialogs_, this);
    if (writeRebuiltMbr(disk_, ticked, writing) == RebuildResult::Written) accept();
  });
}

}  // namespace dudorazu::shell
