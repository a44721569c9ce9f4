#include "shell/language.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QSettings>
#include <QTranslator>
#include <algorithm>
#include <memory>
#include <optional>

namespace dudorazu::shell {
namespace {

constexpr const char* kSettingsKey = "language";

Language current = Language::Chinese;
std::unique_ptr<QTranslator> installed;

std::optional<Language> named(const QString& code) {
  if (code.startsWith(QLatin1String("en"), Qt::CaseInsensitive)) return Language::English;
  if (code.startsWith(QLatin1String("zh"), Qt::CaseInsensitive)) return Language::Chinese;
  return std::nullopt;
}

}  // namespace

Language chosenLanguage(QStringList& arguments) {
  std::optional<Language> chosen;
  for (qsizetype at = arguments.indexOf(QStringLiteral("--language")); at >= 0;
       at = arguments.indexOf(QStringLiteral("--language"))) {
    if (at + 1 < arguments.size()) chosen = named(arguments[at + 1]);
    arguments.remove(at, std::min<qsizetype>(2, arguments.size() - at));
  }
  if (!chosen) chosen = named(QSettings().value(QString::fromLatin1(kSettingsKey)).toString());
  if (!chosen) {
    const QStringList system = QLocale::system().uiLanguages();
    chosen =
        !system.isEmpty() && system.front().startsWith(QLatin1String("en")) ? Language::English : Language::Chinese;
  }
  return *chosen;
}

bool setLanguage(Language language) {
  if (installed) QCoreApplication::removeTranslator(installed.get());
  installed = std::make_unique<QTranslator>();
  current = language;
  // In English the program's texts come from its own translation and Qt's
  // dialogs keep their built-in English; in Chinese the program's texts are
  // its sources and only Qt's need a translation (qtbase holds those of
  // the widgets' dialogs and buttons).
  const bool loaded = language == Language::English
                          ? installed->load(QStringLiteral(":/i18n/dudorazu_en.qm"))
                          : installed->load(QLocale(QLocale::Chinese, QLocale::China), QStringLiteral("qtbase"),
                                            QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath));
  if (!loaded) {
    installed.reset();
    return false;
  }
  return QCoreApplication::installTranslator(installed.get());
}

Language currentLanguage() { return current; }

void storeLanguage(Language language) {
  QSettings().setValue(QString::fromLatin1(kSettingsKey),
                       language == Language::English ? QStringLiteral("en") : QStringLiteral("zh"));
}

}  // namespace dudorazu::shell
