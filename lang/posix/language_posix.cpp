#include "lang/language.h"

#include <libintl.h>

#include <cerrno>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>

#include "link/platform.h"
#include "res/translation.h"

#ifndef KAVRO_INSTALLED_LOCALEDIR
#error "KAVRO_INSTALLED_LOCALEDIR must be defined by the build"
#endif

namespace {
const char* Translate(const char* english) { return dgettext(kCatalogueDomain, english); }

std::string ExecutableFolder() {
    std::string exe;
    if (!GetProgramPath(nullptr, exe)) return std::string();
    const size_t slash = exe.rfind('/');
    return slash == std::string::npos ? std::string() : exe.substr(0, slash);
}

bool IsFolder(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// The locale's name as the environment gives it: LC_ALL, LC_MESSAGES, LANG.
std::string EnvironmentLocale() {
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0') return value;
    }
    return std::string();
}

// "de_DE.UTF-8@euro" -> "de_DE"; "" for the C locale.
std::string LanguageOfLocale(const std::string& locale) {
    const std::string language = locale.substr(0, locale.find_first_of(".@"));
    return language == "C" || language == "POSIX" ? std::string() : language;
}

bool IsCLocale(const char* name) {
    return name == nullptr || std::strcmp(name, "C") == 0 || std::strcmp(name, "POSIX") == 0;
}

// gettext follows LANGUAGE only when the messages locale is not plain C, and a
// locale named in LANG may not be generated on this machine: the language is
// then passed through LANGUAGE, on C.UTF-8, which every glibc system has.
void ChooseLanguage(const char* option) {
    const std::string chosen = ChosenLanguage(option, std::getenv("KAVRO_LANG"));
    const char* messages = std::setlocale(LC_MESSAGES, "");
    std::string language = chosen;
    if (language.empty() && IsCLocale(messages)) language = LanguageOfLocale(EnvironmentLocale());
    if (language.empty()) return;
    if (!chosen.empty() || std::getenv("LANGUAGE") == nullptr) setenv("LANGUAGE", language.c_str(), 1);
    if (IsCLocale(std::setlocale(LC_MESSAGES, nullptr))) std::setlocale(LC_MESSAGES, "C.UTF-8");
}
}  // namespace

void SetUpLanguage(const char* language) {
    // Only the character type and the messages: numbers, dates and the trace
    // stay as they are in every language.
    std::setlocale(LC_CTYPE, "");
    ChooseLanguage(language);
    for (const std::string& folder :
         CatalogueFolders(std::getenv("KAVRO_LOCALEDIR"), ExecutableFolder(), KAVRO_INSTALLED_LOCALEDIR)) {
        if (!IsFolder(folder)) continue;
        bindtextdomain(kCatalogueDomain, folder.c_str());
        break;
    }
    // UTF-8 whatever the terminal's locale says: the catalogues are UTF-8 and
    // so is everything else this program writes.
    bind_textdomain_codeset(kCatalogueDomain, "UTF-8");
    SetTextTranslator(&Translate);
}
