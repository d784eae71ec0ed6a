#include "base/Translate.h"

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <libintl.h>

namespace tappo {
namespace {

constexpr const char* Domain = "tappoplayer";
bool translating = false;

bool IsSet(const char* v) {
    return v && *v;
}

// A locale name that leaves every text as it is: C, POSIX (with or without a
// codeset, "C.UTF-8") and Japanese.
bool KeepsProgramText(const std::string& name) {
    return name == "C" || name == "POSIX" || name.starts_with("C.") || name.starts_with("ja");
}

} // namespace

bool WantsEnglish(const char* language, const char* lcAll, const char* lcMessages,
                  const char* lang) {
    const char* locale = IsSet(lcAll) ? lcAll : IsSet(lcMessages) ? lcMessages : lang;
    if (!IsSet(locale)) return false;
    const std::string name = locale;
    // As gettext does: LANGUAGE counts only where the locale is not C.
    if (name == "C" || name == "POSIX" || name.starts_with("C.")) return false;
    if (IsSet(language)) {
        const std::string first = std::string(language).substr(0, std::string(language).find(':'));
        if (!first.empty()) return !KeepsProgramText(first);
    }
    return !KeepsProgramText(name);
}

void ChooseLanguage(const std::vector<std::string>& localeFolders) {
    translating = false;
    if (!WantsEnglish(std::getenv("LANGUAGE"), std::getenv("LC_ALL"), std::getenv("LC_MESSAGES"),
                      std::getenv("LANG")))
        return;
    for (const std::string& folder : localeFolders) {
        std::error_code ec;
        if (!std::filesystem::is_regular_file(folder + "/en/LC_MESSAGES/tappoplayer.mo", ec))
            continue;
        // The English catalogue is picked whatever the user's language is and
        // whether or not that locale is installed: gettext reads LANGUAGE
        // under any messages locale but C, and C.UTF-8 is always there.
        setenv("LANGUAGE", "en", 1);
        if (!std::setlocale(LC_MESSAGES, "C.UTF-8")) return;
        bindtextdomain(Domain, folder.c_str());
        bind_textdomain_codeset(Domain, "UTF-8");
        translating = true;
        return;
    }
}

const char* Tr(const char* text) {
    return translating ? dgettext(Domain, text) : text;
}

std::string Tr(const std::string& text) {
    return Tr(text.c_str());
}

} // namespace tappo
