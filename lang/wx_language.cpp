#include "lang/wx_language.h"

#include <cstdlib>
#include <mutex>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include <wx/file.h>
#include <wx/filename.h>
#include <wx/log.h>
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

// wxWidgets trusts a catalogue's offsets (a damaged kavro.mo could make it read
// outside the file), so KAVRO's own catalogue is read here and handed over
// only once CatalogueIsSound passed it; a damaged one leaves the texts English
// and says so. Other domains (wxWidgets' own) load as wx loads them.
class CCheckedCatalogueLoader final : public wxFileTranslationsLoader {
public:
    explicit CCheckedCatalogueLoader(std::vector<std::string> folders) : m_folders(std::move(folders)) {}

    wxMsgCatalog* LoadCatalog(const wxString& domain, const wxString& language) override {
        if (domain != kCatalogueDomain) return wxFileTranslationsLoader::LoadCatalog(domain, language);
        for (const std::string& folder : m_folders) {
            const wxString path = wxString::FromUTF8(folder) + "/" + language + "/LC_MESSAGES/" + domain + ".mo";
            if (wxFileName::FileExists(path)) return LoadChecked(path, domain);
        }
        return nullptr;
    }

private:
    static wxMsgCatalog* LoadChecked(const wxString& path, const wxString& domain) {
        constexpr wxFileOffset kLargest = 16 * 1024 * 1024;  // ours are tens of KiB
        wxFile file(path);
        const wxFileOffset length = file.IsOpened() ? file.Length() : wxInvalidOffset;
        std::vector<uint8_t> bytes(length > 0 && length <= kLargest ? static_cast<size_t>(length) : 0);
        if (bytes.empty() || file.Read(bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()) ||
            !CatalogueIsSound(bytes.data(), bytes.size())) {
            wxLogWarning("The catalogue %s cannot be used (damaged or unreadable); the texts stay English.", path);
            return nullptr;
        }
        return wxMsgCatalog::CreateFromData(
            wxScopedCharBuffer::CreateNonOwned(reinterpret_cast<const char*>(bytes.data()), bytes.size()), domain);
    }

    std::vector<std::string> m_folders;
};

std::string ExecutableFolder() {
    return std::string(wxFileName(wxStandardPaths::Get().GetExecutablePath()).GetPath().utf8_str());
}
}  // namespace

void SetUpLanguage(const wxString& language) {
    const std::string chosen = ChosenLanguage(language.utf8_str(), std::getenv("KAVRO_LANG"));
    const std::vector<std::string> folders =
        CatalogueFolders(std::getenv("KAVRO_LOCALEDIR"), ExecutableFolder(), KAVRO_INSTALLED_LOCALEDIR);
    // The lookup paths give the languages there are; the loader reads them.
    for (const std::string& folder : folders)
        if (wxFileName::DirExists(wxString::FromUTF8(folder)))
            wxFileTranslationsLoader::AddCatalogLookupPathPrefix(wxString::FromUTF8(folder));
    auto* translations = new wxTranslations;
    wxTranslations::Set(translations);  // owns it, and drops any earlier one
    translations->SetLoader(new CCheckedCatalogueLoader(folders));  // owned by translations
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
