// The language of what the program shows and prints. Every text goes through
// Tr(); the text in the source is the program's own (mostly Japanese, some
// English), and it stays as it is under a Japanese locale and under C/POSIX.
// Under any other locale the English catalogue ("tappoplayer" through
// gettext, in share/locale/en/LC_MESSAGES/) gives its English.
#pragma once

#include <string>
#include <vector>

namespace tappo {

// Whether the environment asks for English: the messages locale (LC_ALL,
// LC_MESSAGES, LANG, the first one set) is neither unset, C, POSIX nor
// Japanese; where it is not C or POSIX, the first language of LANGUAGE
// decides instead when set. Null stands for an unset variable.
bool WantsEnglish(const char* language, const char* lcAll, const char* lcMessages,
                  const char* lang);

// Chooses the language from the environment, once at start-up, and binds the
// catalogue: the first of `localeFolders` that holds it. Until then (and
// when none does) every text is the program's own.
void ChooseLanguage(const std::vector<std::string>& localeFolders);

// Marks a text kept in a constant for the catalogue; it is translated where
// it is used, with Tr().
constexpr const char* ForCatalogue(const char* text) {
    return text;
}

// `text` in the chosen language. The pointer stays valid for the run.
const char* Tr(const char* text);
std::string Tr(const std::string& text);

} // namespace tappo
