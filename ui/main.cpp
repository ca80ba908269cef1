// The desktop application's entry point.
#include <wx/app.h>

#include "ui/kav_app.h"

wxIMPLEMENT_APP(CKavApp);
