// On Linux the locale variables are the whole story.
#include <cstdlib>

#include "CliLanguage.h"

CliLanguage UserLanguage() {
    return LanguageOfLocale(std::getenv("LC_ALL"), std::getenv("LC_MESSAGES"), std::getenv("LANG"));
}
