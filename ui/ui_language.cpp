#include "ui/ui_language.h"

#include <cstdlib>
#include <mutex>
#include <string>
#include <unordered_map>

#include <wx/filename.h>
#include <wx/stdpaths.h>
#include <wx/translation.h>

#include "res/translation.h"

#ifndef KAVRO_INSTALLED_LOCALEDIR
#error "KAVRO_INSTALLED_LOCALEDIR must be defined by the build"
#endif

namespace {
// Translations as UTF-8, kept for the run: the string table hands out
// pointers that callers may hold.
const char* TranslateWithWx(const char* english) {
    wxTranslations* translations = wxTranslations::Get();
    if (translations == nullptr) return english;
    const wxString* translated = translations->GetTranslatedString(wxString::FromUTF8(english), kCatalogueDomain);
    if (translated == nullptr) return english;
    static std::mutex mutex;
    static std::unordered_map<std::string, std::string> cache;
    const std::lock_guard<std::mutex> lock(mutex);
    auto [entry, added] = cache.try_emplace(english);
    if (added) entry->second = translated->utf8_string();
    return entry->second.c_str();
}

std::string ExecutableFolder() {
    return std::string(wxFileName(wxStandardPaths::Get().GetExecutablePath()).GetPath().utf8_str());
}
}  // namespace

void SetUpLanguage(const wxString& language) {
    const std::string chosen = ChosenLanguage(language.utf8_str(), std::getenv("KAVRO_LANG"));
    for (const std::string& folder :
         CatalogueFolders(std::getenv("KAVRO_LOCALEDIR"), ExecutableFolder(), KAVRO_INSTALLED_LOCALEDIR))
        if (wxFileName::DirExists(wxString::FromUTF8(folder)))
            wxFileTranslationsLoader::AddCatalogLookupPathPrefix(wxString::FromUTF8(folder));
    auto* translations = new wxTranslations;
    wxTranslations::Set(translations);  // owns it, and drops any earlier one
    if (!chosen.empty()) translations->SetLanguage(wxString::FromUTF8(chosen));
    translations->AddStdCatalog();
    // False for English, the texts' own language: nothing to load then.
    (void)translations->AddCatalog(kCatalogueDomain);
    SetTextTranslator(&TranslateWithWx);
}

void TearDownLanguage() {
    SetTextTranslator(nullptr);
    wxTranslations::Set(nullptr);
}
