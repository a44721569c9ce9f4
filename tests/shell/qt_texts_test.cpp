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
#include "widgets/qt_text.h"

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

  // The core's texts through the one look-up: composed texts part by part,
  // line breaks kept, names and paths as they are, controls made harmless;
  // in Chinese only the last.
  void theCoresTextsInEachLanguage() {
    using dudorazu::shell::Language;
    const struct {
      const char* core;
      const char* english;
    } cases[] = {
        {"已删除文件", "Deleted file"},
        {"已被覆盖（100/200 字节），另见目录树", "Overwritten (100/200 bytes), also in the tree"},
        {"文件统计： 28.1KB在5个文件夹中包含 9个文件；可完整恢复 9 个，雕刻恢复 2 个",
         "File statistics: 28.1KB in 9 files in 5 folders; Intact: 9, Carved: 2"},
        {"已保存 3 个文件，100 字节。\n以下 1 个文件未完整保存或需核对：\nguessed: /照片%2.jpg",
         "Saved 3 files, 100 bytes.\nThese 1 files were not saved whole or need checking:\nguessed: /照片%2.jpg"},
        {"此操作将替换文件 /备份（旧）.img，并替换映射文件 /a.map",
         "This replaces the file /备份（旧）.img and the mapfile /a.map"},
        {"1 个驱动器无法打开，未列出：/dev/sdb（没有权限），/dev/sdc（设备正被占用）。",
         "1 drive(s) could not be opened and are not listed: /dev/sdb (no permission), /dev/sdc (device busy)."},
        {"映射文件无法使用：\x1b[2J", "The mapfile cannot be used: ?[2J"},
    };
    // A name full of the pieces the texts are made of costs a pass over it
    // per piece, not one per way of splitting it.
    QVERIFY(dudorazu::shell::setLanguage(Language::English));
    std::string hostile = "映射文件无法使用：";
    for (int i = 0; i < 20000; ++i) hostile += "个（ 与 /，备份文件中偏移 ";
    hostile += "据";
    QElapsedTimer clock;
    clock.start();
    QVERIFY(dudorazu::widgets::coreText(hostile).size() > 100000);
    QVERIFY2(clock.elapsed() < 3000, qPrintable(QString::number(clock.elapsed())));
    for (Language language : {Language::English, Language::Chinese}) {
      QVERIFY(dudorazu::shell::setLanguage(language));
      for (const auto& c : cases) {
        QString expected = QString::fromUtf8(language == Language::English ? c.english : c.core);
        QCOMPARE(dudorazu::widgets::coreText(c.core), expected.replace(QStringLiteral("\x1b"), QStringLiteral("?")));
      }
    }
  }
};

QTEST_MAIN(QtTextsTest)
#include "qt_texts_test.moc"
