#pragma once
// The language through wxTranslations, on wx's base library alone: KAVRO's
// catalogue (and wxWidgets' own), in the language asked for (--lang,
// KAVRO_LANG) or the system's. The string table and the other wx-free texts
// are translated through the same catalogue. The desktop application runs it
// on its window thread before any window is made; on Windows the console
// programs' set-up (lang/language.h) runs it too.
#include <wx/string.h>

// Installs the translations; language is a catalogue's name ("de", "zh_CN")
// or "" for the system's language (or KAVRO_LANG when set).
void SetUpLanguage(const wxString& language);
// Removes them again (the application's exit).
void TearDownLanguage();
