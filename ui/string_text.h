#pragma once
// The string table's text for the window system. Window thread.
#include <wx/string.h>

// The string with this number, or an empty string when there is none.
wxString Text(unsigned id);
