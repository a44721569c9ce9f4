#include "shell/commands.h"

#include <QAction>
#include <QCoreApplication>
#include <QKeySequence>
#include <QShortcut>
#include <QStyle>
#include <QWidget>

namespace dudorazu::shell {
namespace {

struct CommandText {
  CommandId id;
  const char* text;
  const char* key;  // empty: no key
  QStyle::StandardPixmap icon;
};

// Commands without a menu text carry the name of what they open, for their
// toolbar button and for assistive technology.
const CommandText kCommands[] = {
    {kOpenImage, QT_TRANSLATE_NOOP("Commands", "打开镜像文件     Ctrl+O"), "Ctrl+O", QStyle::SP_DialogOpenButton},
    {kCloseApp, QT_TRANSLATE_NOOP("Commands", "关闭             Ctrl+F4"), "Ctrl+F4", QStyle::SP_DialogCloseButton},
    {kPartitionSearch, QT_TRANSLATE_NOOP("Commands", "扫描丢失分区      Ctrl+Alt+P"), "Ctrl+Alt+P",
     QStyle::SP_FileDialogContentsView},
    {kWholeDiskScan, QT_TRANSLATE_NOOP("Commands", "全盘扫描"), "Ctrl+Alt+S", QStyle::SP_DriveHDIcon},
    {kRegion, QT_TRANSLATE_NOOP("Commands", "创建区域"), "Ctrl+Alt+C", QStyle::SP_FileDialogNewFolder},
    {kTableOperation, QT_TRANSLATE_NOOP("Commands", "分区表操作"), "Ctrl+Alt+O", QStyle::SP_FileDialogDetailedView},
    {kCreateImage, QT_TRANSLATE_NOOP("Commands", "镜像"), "Ctrl+Alt+J", QStyle::SP_DialogSaveButton},
    {kUnusedButton, QT_TRANSLATE_NOOP("Commands", "提取分区空闲空间"), "", QStyle::SP_TrashIcon},
    {kReload, QT_TRANSLATE_NOOP("Commands", "重新打开磁盘   Ctrl+Alt+D "), "Ctrl+Alt+D", QStyle::SP_BrowserReload},
    {kClosePartition, QT_TRANSLATE_NOOP("Commands", "关闭分区       Ctrl+Shift+C"), "Ctrl+Shift+C",
     QStyle::SP_DialogCloseButton},
    {kSaveSelected, QT_TRANSLATE_NOOP("Commands", "恢复文件       Ctrl+Alt+R"), "Ctrl+Alt+R",
     QStyle::SP_DialogSaveButton},
    // Ctrl+S saves the ticked files, as the text promises.
    {kSaveTicked, QT_TRANSLATE_NOOP("Commands", "恢复选中文件   Ctrl+S"), "Ctrl+S", QStyle::SP_DialogApplyButton},
    {kStatistics, QT_TRANSLATE_NOOP("Commands", "文件大小统计   Ctrl+Alt+A"), "Ctrl+Alt+A",
     QStyle::SP_FileDialogInfoView},
    {kCheckAll, QT_TRANSLATE_NOOP("Commands", "全部选择         F5"), "F5", QStyle::SP_DialogYesButton},
    {kUncheckAll, QT_TRANSLATE_NOOP("Commands", "取消全部选择     F4"), "F4", QStyle::SP_DialogNoButton},
    {kLostFileScan, QT_TRANSLATE_NOOP("Commands", "扫描丢失文件     CTrl+L"), "Ctrl+L",
     QStyle::SP_FileDialogContentsView},
    {kAbout, QT_TRANSLATE_NOOP("Commands", "关于     Ctrl+A"), "Ctrl+A", QStyle::SP_MessageBoxInformation},
    {kHelp, QT_TRANSLATE_NOOP("Commands", "帮助     F1"), "F1", QStyle::SP_DialogHelpButton},
    {kFind, QT_TRANSLATE_NOOP("Commands", "查找文件"), "Ctrl+F", QStyle::SP_FileDialogContentsView},
};

}  // namespace

Commands::Commands(QWidget* window) : QObject(window) {
  for (const CommandText& c : kCommands) {
    auto* action =
        new QAction(window->style()->standardIcon(c.icon), QCoreApplication::translate("Commands", c.text), window);
    action->setObjectName(QStringLiteral("command%1").arg(c.id));
    action->setToolTip(action->text().simplified());
    actions_.insert(c.id, action);
    if (!*c.key) continue;
    auto* key = new QShortcut(QKeySequence(QString::fromLatin1(c.key)), window);
    connect(key, &QShortcut::activated, action, [action] {
      if (action->isEnabled()) action->trigger();
    });
  }
  // No handler exists for this button; it stays disabled.
  actions_.value(kUnusedButton)->setEnabled(false);
}

const QList<CommandId>& Commands::toolbarOrder() {
  static const QList<CommandId> order = {kOpenImage,   kCreateImage, kPartitionSearch, kTableOperation,
                                         kUnusedButton, kRegion,      kReload,          kSaveSelected,
                                         kSaveTicked,   kCheckAll,    kUncheckAll,      kLostFileScan};
  return order;
}

}  // namespace dudorazu::shell
