#pragma once
// The main window's commands: their menu texts (with the key written in the
// text, as users know them), their keys, and one QAction each. Menus and the
// toolbar are built from these actions; the keys are window shortcuts of
// their own, so a menu never shows a key twice.
#include <QHash>
#include <QObject>

class QAction;
class QWidget;

namespace dudorazu::shell {

enum CommandId : int {
  kOpenImage = 32792,
  kCloseApp = 32908,
  kPartitionSearch = 32876,
  kWholeDiskScan = 32805,
  kRegion = 32867,
  kTableOperation = 32858,
  kCreateImage = 32803,
  kUnusedButton = 32806,
  kReload = 32822,
  kClosePartition = 32912,
  kSaveSelected = 32854,
  kSaveTicked = 32855,
  kStatistics = 32879,
  kCheckAll = 32828,
  kUncheckAll = 32830,
  kLostFileScan = 32874,
  kAbout = 57664,
  kHelp = 32808,
  kFind = 32850,
};

class Commands : public QObject {
  Q_OBJECT
 public:
  // Creates every action with `window` as its parent and installs the keys
  // on `window`.
  explicit Commands(QWidget* window);
  QAction* action(CommandId id) const { return actions_.value(id); }
  // Buttons of the toolbar, left to right.
  static const QList<CommandId>& toolbarOrder();

 private:
  QHash<int, QAction*> actions_;
};

}  // namespace dudorazu::shell
