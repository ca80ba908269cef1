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
std::mutex g_cacheMutex;
// Translations as UTF-8 by language and English text, kept for the run: the
// string table hands out pointers that callers may hold.
std::unordered_map<std::string, std::string> g_cache;
std::string g_language;  // the key's first part; set on the window thread

const char* TranslateWithWx(const char* english) {
    wxTranslations* translations = wxTranslations::Get();
    if (translations == nullptr) return english;
    const wxString* translated = translations->GetTranslatedString(wxString::FromUTF8(english), kCatalogueDomain);
    if (translated == nullptr) return english;
    const std::lock_guard<std::mutex> lock(g_cacheMutex);
    auto [entry, added] = g_cache.try_emplace(g_language + '\n' + english);
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
    {
        const std::lock_guard<std::mutex> lock(g_cacheMutex);
        g_language = translations->GetBestTranslation(kCatalogueDomain).utf8_string();
    }
    SetTextTranslator(&TranslateWithWx);
}

void TearDownLanguage() {
    SetTextTranslator(nullptr);
    wxTranslations::Set(nullptr);
}
