// Qt's own dialogs speak Chinese: every standard button of a message box and
// every label and button of the file dialogs, once the program has loaded
// Qt's Chinese texts as it does at start.
#include <QAbstractButton>
#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include "shell/language.h"
#include "shell/user_dialogs.h"

namespace {

// The visible texts of a dialog's labels and buttons, mnemonics dropped.
QStringList visibleTexts(QWidget& dialog) {
  QStringList texts;
  for (QLabel* l : dialog.findChildren<QLabel*>())
    if (!l->text().isEmpty()) texts << l->text().remove(QLatin1Char('&'));
  for (QAbstractButton* b : dialog.findChildren<QAbstractButton*>())
    if (!b->text().isEmpty()) texts << b->text().remove(QLatin1Char('&'));
  return texts;
}

// Latin letters outside a file filter's patterns ("(*.img)") and the
// parenthesised mnemonic Qt's Chinese texts add ("(&O)" becomes "(O)").
QStringList english(const QStringList& texts) {
  static const QRegularExpression allowed(QStringLiteral("\\([^)]*\\*[^)]*\\)|\\([A-Z]\\)"));
  QStringList found;
  for (QString t : texts)
    if (t.remove(allowed).contains(QRegularExpression(QStringLiteral("[A-Za-z]")))) found << t;
  return found;
}

}  // namespace

class QtTextsTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    QVERIFY2(dudorazu::shell::setLanguage(dudorazu::shell::Language::Chinese), "Qt's Chinese texts are not installed");
  }

  void messageBoxesAndFileDialogsHaveNoEnglish() {
    using dudorazu::shell::makeMessageBox;
    auto question = makeMessageBox(nullptr, QMessageBox::Question, QStringLiteral("您真的要退出程序吗?"),
                                   QStringLiteral("提示"), QMessageBox::Ok | QMessageBox::Cancel);
    // A short text under a long caption: the box widens for the caption.
    auto info = makeMessageBox(nullptr, QMessageBox::Information, QStringLiteral("镜像完毕"),
                               QStringLiteral("磁盘镜像已经完成，共 10240 个扇区"), QMessageBox::Ok);
    QFileDialog open(nullptr, QString(), QString(), QStringLiteral("镜像文件 (*.img *.dd)"));
    open.setOption(QFileDialog::DontUseNativeDialog);
    open.setFileMode(QFileDialog::ExistingFile);
    QFileDialog save(nullptr, QString(), QString(), QStringLiteral("备份文件 (*.bak)"));
    save.setOption(QFileDialog::DontUseNativeDialog);
    save.setAcceptMode(QFileDialog::AcceptSave);
    QFileDialog folder;
    folder.setOption(QFileDialog::DontUseNativeDialog);
    folder.setFileMode(QFileDialog::Directory);
    struct Case {
      const char* name;
      QWidget* dialog;
    } cases[] = {{"question", question.get()}, {"message", info.get()}, {"open", &open}, {"save as", &save}, {"folder", &folder}};
    for (const Case& c : cases) {
      c.dialog->show();
      QStringList texts = visibleTexts(*c.dialog);
      QVERIFY2(!texts.isEmpty(), c.name);
      QStringList found = english(texts);
      QVERIFY2(found.isEmpty(), qPrintable(QString::fromLatin1(c.name) + QStringLiteral(": ") + found.join(QStringLiteral(" | "))));
      QVERIFY2(c.dialog->width() >= dudorazu::shell::captionWidth(c.dialog->windowTitle()), c.name);
      c.dialog->hide();
    }
  }

  // --language wins over the choice stored from the help menu, which wins
  // over the system's language; in English Qt's dialogs keep their own
  // English, in Chinese they load Qt's Chinese texts.
  void theLanguageChosenAndQtsDialogsFollowIt() {
    using dudorazu::shell::Language;
    QTemporaryDir settings;
    QSettings::setDefaultFormat(QSettings::IniFormat);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settings.path());
    struct Case {
      QStringList arguments;
      const char* stored;
      Language chosen;
      QStringList left;
    } cases[] = {{{"--language", "en", "a.img"}, "", Language::English, {"a.img"}},
                 {{"--language", "zh"}, "en", Language::Chinese, {}},
                 {{"b.img", "--language", "EN"}, "zh", Language::English, {"b.img"}},
                 {{"b.img"}, "en", Language::English, {"b.img"}},
                 {{"b.img"}, "zh", Language::Chinese, {"b.img"}},
                 {{"--language"}, "en", Language::English, {}}};
    for (Case& c : cases) {
      QSettings().setValue(QStringLiteral("language"), QString::fromLatin1(c.stored));
      QStringList arguments = c.arguments;
      QCOMPARE(dudorazu::shell::chosenLanguage(arguments), c.chosen);
      QCOMPARE(arguments, c.left);
    }
    dudorazu::shell::storeLanguage(Language::English);
    QStringList none;
    QCOMPARE(dudorazu::shell::chosenLanguage(none), Language::English);

    for (Language language : {Language::English, Language::Chinese}) {
      QVERIFY(dudorazu::shell::setLanguage(language));
      auto box = dudorazu::shell::makeMessageBox(nullptr, QMessageBox::Question, QStringLiteral("?"), QString(),
                                                 QMessageBox::Ok | QMessageBox::Cancel);
      const QString cancel = box->button(QMessageBox::Cancel)->text().remove(QLatin1Char('&'));
      QCOMPARE(cancel == QStringLiteral("Cancel"), language == Language::English);
    }
  }
};

QTEST_MAIN(QtTextsTest)
#include "qt_texts_test.moc"
