#include "shell/region_dialog.h"

#include <QCoreApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "shell/user_dialogs.h"
#include "widgets/disk_tree_model.h"
#include "widgets/qt_text.h"

namespace dudorazu::shell {
namespace {

const char* const kUnits[] = {"Sec", "GB", "MB", "KB"};

// Typed text that names no unit of the list leaves the number unconverted.
RegionUnit unitOf(const QComboBox& box) {
  int at = box.findText(box.currentText());
  return at < 0 ? RegionUnit::None : static_cast<RegionUnit>(at);
}

}  // namespace

RegionDialog::RegionDialog(uint64_t diskSectors, UserDialogs& dialogs, QWidget* parent)
    : QDialog(parent), diskSectors_(diskSectors), dialogs_(dialogs) {
  setWindowTitle(tr("创建区域"));
  auto* grid = new QGridLayout(this);
  auto* sizeCaption = new QLabel(tr("硬盘大小："), this);
  size_ = new QLabel(QStringLiteral("%1 Sectors").arg(static_cast<qulonglong>(diskSectors)), this);
  size_->setAccessibleName(sizeCaption->text() + size_->text());
  grid->addWidget(sizeCaption, 0, 0);
  grid->addWidget(size_, 0, 1, 1, 2);
  auto row = [&](int at, const QString& caption, QLineEdit*& field, QComboBox*& unit) {
    grid->addWidget(new QLabel(caption, this), at, 0);
    field = new QLineEdit(this);
    field->setAccessibleName(caption);
    grid->addWidget(field, at, 1);
    unit = new QComboBox(this);
    unit->setEditable(true);
    for (const char* u : kUnits) unit->addItem(QString::fromLatin1(u));
    unit->setCurrentIndex(0);
    unit->setAccessibleName(caption + tr("单位"));
    grid->addWidget(unit, at, 2);
  };
  row(1, tr("开始："), start_, startUnit_);
  row(2, tr("大小："), length_, sizeUnit_);
  auto* buttons = new QDialogButtonBox(this);
  for (auto [text, role] :
       {std::pair{tr("确定"), QDialogButtonBox::AcceptRole}, std::pair{tr("取消"), QDialogButtonBox::RejectRole}})
    buttons->addButton(text, role)->setAccessibleName(text);
  grid->addWidget(buttons, 3, 0, 1, 3);
  connect(buttons, &QDialogButtonBox::accepted, this, &RegionDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

// A refusal keeps the numbers as typed, so a second "确定" does not convert
// them again.
void RegionDialog::accept() {
  input_ = {start_->text().trimmed().toStdString(), unitOf(*startUnit_), length_->text().trimmed().toStdString(),
            unitOf(*sizeUnit_)};
  DialogMessageSink messages(dialogs_, this);
  std::optional<SectorRange> range = regionRange(input_, diskSectors_, messages);
  if (!range) return;
  start_->setText(QString::number(range->start()));
  length_->setText(QString::number(range->end()));
  QDialog::accept();
}

DiskRecord* createRegionOn(const widgets::DiskTreeModel& disks, const QModelIndex& row, UserDialogs& dialogs,
                           QWidget* parent) {
  DiskRecord* disk = row.isValid() ? disks.diskAt(row) : nullptr;
  if (!disk) {
    dialogs.message(parent, QCoreApplication::translate("RegionDialog", "没有选择磁盘"),
                    widgets::coreText(kCaptionError));
    return nullptr;
  }
  if (disks.partitionAt(row)) {
    dialogs.message(parent, QCoreApplication::translate("RegionDialog", "请正确选择磁盘"),
                    widgets::coreText(kCaptionError));
    return nullptr;
  }
  RegionDialog dialog(regionDiskSectors(*disk), dialogs, parent);
  if (!dialogs.run(dialog)) return nullptr;
  DialogMessageSink messages(dialogs, parent);
  return createRegion(*disk, dialog.input(), messages) ? disk : nullptr;
}

}  // namespace dudorazu::shell
