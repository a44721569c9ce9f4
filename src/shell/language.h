#pragma once
// The language of the windows. Chinese is the program's own; English comes
// from the translation built into the program. Qt's own dialogs follow: in
// Chinese they load Qt's Chinese texts, in English they keep Qt's English.
#include <QStringList>

namespace dudorazu::shell {

enum class Language { Chinese, English };

// "--language en|zh" among `arguments` (removed from them), else the choice
// stored from the help menu, else English when the system's first UI
// language is English, else Chinese.
Language chosenLanguage(QStringList& arguments);

// Installs the texts of `language` into the running application, replacing
// those an earlier call installed; windows made afterwards speak it. False
// when its translation cannot be loaded.
bool setLanguage(Language language);
Language currentLanguage();

// The choice the help menu stores for the next start.
void storeLanguage(Language language);

}  // namespace dudorazu::shell
