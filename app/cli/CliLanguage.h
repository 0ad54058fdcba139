// The language of ziron7-cli's own words: its framing, its verdicts, its
// help and its errors. The dialogs' texts it passes on stay Russian; what
// the program says itself is Russian under a Russian locale and English
// otherwise, so a run never mixes the two in its own words. JSON codes and
// member names never change with it.
#pragma once

#include <string_view>

enum class CliLanguage { English, Russian };

// The language the locale asks for, read as the C library reads the message
// category: the first of LC_ALL, LC_MESSAGES and LANG that is set and not
// empty decides; a locale named ru or ru_* (ru_RU.UTF-8, ru_UA) is
// Russian, anything else English. Each argument may be null (unset).
CliLanguage LanguageOfLocale(const char* lcAll, const char* lcMessages, const char* lang);

// The language the user's settings ask for (one .cpp per platform).
CliLanguage UserLanguage();

// The language of this run: English until SetCliLanguage, which main calls
// once, before anything is said.
CliLanguage CurrentCliLanguage();
void SetCliLanguage(CliLanguage language);

// The one of the two texts in this run's language.
std::string_view Say(std::string_view english, std::string_view russian);
