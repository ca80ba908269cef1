// Windows: the low bit of GetKeyState is the lock's toggle state.
#include <windows.h>

#include "ui/lock_keys.h"

bool IsKeyLockOn(wxKeyCode key) {
    switch (key) {
        case WXK_CAPITAL: return (::GetKeyState(VK_CAPITAL) & 1) != 0;
        case WXK_NUMLOCK: return (::GetKeyState(VK_NUMLOCK) & 1) != 0;
        case WXK_SCROLL: return (::GetKeyState(VK_SCROLL) & 1) != 0;
        default: return false;
    }
}
