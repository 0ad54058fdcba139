#include "CliLanguage.h"

namespace {

CliLanguage g_language = CliLanguage::English;  // written once by main, before any thread starts

bool NamesRussian(std::string_view locale) {
    return locale == "ru" || locale.starts_with("ru_") || locale.starts_with("ru.") ||
           locale.starts_with("ru@");
}

}  // namespace

CliLanguage LanguageOfLocale(const char* lcAll, const char* lcMessages, const char* lang) {
    for (const char* setting : {lcAll, lcMessages, lang}) {
        if (setting != nullptr && *setting != '\0') {
            return NamesRussian(setting) ? CliLanguage::Russian : CliLanguage::English;
        }
    }
    return CliLanguage::English;
}

CliLanguage CurrentCliLanguage() {
    return g_language;
}

void SetCliLanguage(CliLanguage language) {
    g_language = language;
}

std::string_view Say(std::string_view english, std::string_view russian) {
    return g_language == CliLanguage::Russian ? russian : english;
}
