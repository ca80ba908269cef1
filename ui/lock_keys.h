#pragma once
// The keyboard's lock states (Caps, Num, Scroll Lock) for the status bar, one
// implementation per system. Window thread.
#include <wx/defs.h>

// True when the lock of WXK_CAPITAL, WXK_NUMLOCK or WXK_SCROLL is on (not
// merely held down).
bool IsKeyLockOn(wxKeyCode key);
