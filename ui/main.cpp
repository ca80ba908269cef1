// The desktop application object; each system's entry point (posix/ or
// win32/entry.cpp) starts it.
#include <wx/app.h>

#include "ui/kav_app.h"

wxIMPLEMENT_APP_NO_MAIN(CKavApp);
