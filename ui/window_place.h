#pragma once
// Where a top-level window was last, kept in the user's configuration, and
// put back only where a display still shows it (a screen unplugged since
// must not leave the window out of reach). Window thread.
#include <wx/gdicmn.h>
#include <wx/string.h>

class wxConfigBase;
class wxTopLevelWindow;

// The rectangle saved under group; false when none was (or config is null).
[[nodiscard]] bool LoadWindowPlace(wxConfigBase* config, const wxString& group, wxRect& place);
void SaveWindowPlace(wxConfigBase* config, const wxString& group, const wxRect& place);

// place fitted to the display it lies on most: its size at most the
// display's work area, moved inside it; false when no display shows its top
// edge (the window then keeps the place the system gives it).
[[nodiscard]] bool FitOnDisplays(wxRect& place);

// Puts window where it was last under group, or else centred on the screen.
void RestoreWindowPlace(wxTopLevelWindow* window, wxConfigBase* config, const wxString& group);
