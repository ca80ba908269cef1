#pragma once
// Forced ahead of every source of the desktop application on Windows (see
// windows_app.cmake). The core's headers include <windows.h>, whose A/W
// macros (DrawText, GetClassInfo, ...) would rename the toolkit's own members
// when they come after a wx header. Included first, with the core's own
// settings, and its macros undone at once, the system header's later
// includes change nothing.
#include "native_types.h"

#include <wx/msw/winundef.h>
