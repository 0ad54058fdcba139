// A Windows console rarely has the locale variables set (a script's or an
// MSYS shell may); without them the user's interface language decides.
#include <windows.h>

#include <cstdlib>

#include "CliLanguage.h"

namespace {

bool AnySet(std::initializer_list<const char*> variables) {
    for (const char* variable : variables) {
        if (variable != nullptr && *variable != '\0') {
            return true;
        }
    }
    return false;
}

}  // namespace

CliLanguage UserLanguage() {
    const char* lcAll = std::getenv("LC_ALL");
    const char* lcMessages = std::getenv("LC_MESSAGES");
    const char* lang = std::getenv("LANG");
    if (AnySet({lcAll, lcMessages, lang})) {
        return LanguageOfLocale(lcAll, lcMessages, lang);
    }
    return PRIMARYLANGID(GetUserDefaultUILanguage()) == LANG_RUSSIAN ? CliLanguage::Russian
                                                                     : CliLanguage::English;
}
