#pragma once
// "查找文件": what to look for in the open partition (a name, a list of
// extensions or a list of name patterns) and which entries count.
#include <QDialog>

#include "core/recovery/record_search.h"

class QCheckBox;
class QComboBox;
class QLabel;

namespace dudorazu::shell {

class FindDialog : public QDialog {
  Q_OBJECT
 public:
  explicit FindDialog(QWidget* parent = nullptr);
  SearchCriteria criteria() const;

  QComboBox* modeBox() const { return mode_; }
  QComboBox* textBox() const { return text_; }
  QLabel* exampleLabel() const { return example_; }
  // "全匹配", "删除文件", "正常文件", "文件", "文件夹".
  QList<QCheckBox*> checkBoxes() const;

 private:
  void showExample(int mode);

  QComboBox* mode_;
  QComboBox* text_;
  QCheckBox* whole_;
  QCheckBox* deleted_;
  QCheckBox* live_;
  QCheckBox* files_;
  QCheckBox* folders_;
  QCheckBox* intactOnly_;  // only files that come back whole
  QLabel* example_;
};

}  // namespace dudorazu::shell
