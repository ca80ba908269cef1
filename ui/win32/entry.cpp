// The entry point: the toolkit's own WinMain (a GUI program has no console
// to answer --help on).
#include <wx/app.h>

#include "ui/kav_app.h"

wxIMPLEMENT_WXWIN_MAIN
