// GTK: X11 reports Scroll Lock as a held key only, so the lock state comes
// from GDK's keymap, looked up in the toolkit already loaded (wxGTK links GDK)
// so that building needs no GTK headers.
#include <dlfcn.h>

#include <wx/utils.h>

#include "ui/lock_keys.h"

namespace {
using DefaultDisplay = void* (*)();
using KeymapForDisplay = void* (*)(void*);
using ScrollLockState = int (*)(void*);

template <class F>
F Symbol(const char* name) {
    return reinterpret_cast<F>(::dlsym(RTLD_DEFAULT, name));
}

bool ScrollLockOn() {
    static const auto display = Symbol<DefaultDisplay>("gdk_display_get_default");
    static const auto keymap = Symbol<KeymapForDisplay>("gdk_keymap_get_for_display");
    static const auto state = Symbol<ScrollLockState>("gdk_keymap_get_scroll_lock_state");
    if (display == nullptr || keymap == nullptr || state == nullptr) return false;
    void* d = display();
    void* k = d != nullptr ? keymap(d) : nullptr;
    return k != nullptr && state(k) != 0;
}
}  // namespace

bool IsKeyLockOn(wxKeyCode key) {
    if (key == WXK_SCROLL) return ScrollLockOn();
    return wxGetKeyState(key);
}
