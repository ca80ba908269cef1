#include "lang/language.h"

#include <wx/init.h>
#include <wx/log.h>
#include <wx/string.h>

#include "lang/wx_language.h"

// The mingw-w64 toolchain has no gettext: the console programs read the same
// catalogues as the desktop application, through the same wxTranslations
// set-up, built on wx's base library alone (no window system, no GUI
// subsystem). wx stays initialized for the whole run, so the translations
// live as long as any text handed out from them.
void SetUpLanguage(const char* language) {
    static wxInitializer initializer;
    if (!initializer.IsOk()) return;  // English then: the texts' own language
    wxLog::DisableTimestamp();          // a warning about a catalogue is a plain line
    SetUpLanguage(wxString::FromUTF8(language != nullptr ? language : ""));
}
