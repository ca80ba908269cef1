#pragma once
// The person's language. Texts a person reads are written in English in the
// code, marked for the catalogue extractor (xgettext), and translated by the
// front end: the desktop application through wxTranslations, the command line
// through the system's gettext. The core never translates by itself; it only
// routes its texts through the translator the front end installed.
//
// What programs read (exit statuses, JSON, trace lines, records, image files)
// is never passed through here.
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

// Marks a literal for the extractor without translating it (tables, and texts
// the front end translates later with Tr).
#define KTEXT(text) text

// The front end's translator: the translation of an English text, or the text
// itself when the catalogue has none. The returned text must stay valid for
// the whole run. Installed once on the main thread before other threads start
// (nullptr removes it); any thread may then call Tr.
using TextTranslator = const char* (*)(const char* english);
void SetTextTranslator(TextTranslator translator);

// english in the person's language; english itself without a translator.
const char* Tr(const char* english);

// Fills the placeholders of a (translated) text: "%s" takes the next value,
// "%N$s" the N-th (so a translation can reorder them), "%%" is a percent
// sign. A placeholder without a value stays as written, so a faulty catalogue
// can never make this read past the values.
std::string FormatText(const char* format, std::initializer_list<std::string> values);
std::string FormatText(const char* format, const std::vector<std::string>& values);

// The language asked for: the --lang option, else the KAVRO_LANG environment
// value, else "" (the system's language). Either may be null.
std::string ChosenLanguage(const char* option, const char* environment);

// Folders to look for catalogues in (<folder>/<lang>/LC_MESSAGES/kavro.mo),
// best first: the KAVRO_LOCALEDIR environment value, the share/locale folder
// beside the executable's bin folder (installed, and the build tree), a locale
// folder next to the executable, then the folder of the installation.
std::vector<std::string> CatalogueFolders(const char* environment, const std::string& executableFolder,
                                          const char* installedFolder);

// True when bytes hold a compiled catalogue (a GNU .mo file, either byte
// order) whose every original and translated text lies inside it and ends in
// a zero byte. A reader that trusts the file's offsets (wxWidgets' does) must
// see only such files: a damaged one could make it read outside the data.
[[nodiscard]] bool CatalogueIsSound(const uint8_t* bytes, size_t size);

// The catalogues' domain: kavro.mo.
inline constexpr const char* kCatalogueDomain = "kavro";
