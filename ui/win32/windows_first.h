#pragma once
// Forced ahead of every source of the desktop application on Windows (see
// windows_app.cmake). The core's headers include <windows.h>, whose A/W
// macros (DrawText, GetClassInfo, ...) would rename the toolkit's own members
// when they come after a wx header. Included first through the toolkit's
// wrapper, the system header has its macros undone at once, and the core's
// later includes of it change nothing. The same settings as the core's.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <wx/msw/wrapwin.h>
