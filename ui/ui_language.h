#pragma once
// The desktop application's language: wxTranslations with KAVRO's catalogue
// (and wxWidgets' own), in the language asked for (--lang, KAVRO_LANG) or the
// system's. The string table and the other wx-free texts are translated
// through the same catalogue. Window thread, before any window is made.
#include <wx/string.h>

// Installs the translations; language is a catalogue's name ("de", "zh_CN")
// or "" for the system's language (or KAVRO_LANG when set).
void SetUpLanguage(const wxString& language);
// Removes them again (the application's exit).
void TearDownLanguage();
