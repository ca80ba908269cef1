#include "x_display.h"

#include <chrono>
#include <thread>

#include <X11/Xlib.h>
#include <X11/keysym.h>

void* WaitForDisplay(int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (Display* display = XOpenDisplay(nullptr)) return display;
        if (std::chrono::steady_clock::now() > deadline) return nullptr;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

void CloseDisplay(void* display) {
    if (display != nullptr) XCloseDisplay(static_cast<Display*>(display));
}

bool MakeScrollLockLock() {
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) return false;
    const KeyCode code = XKeysymToKeycode(display, XK_Scroll_Lock);
    bool done = false;
    if (code != 0) {
        XModifierKeymap* map = XGetModifierMapping(display);
        map = XInsertModifiermapEntry(map, code, Mod3MapIndex);
        done = XSetModifierMapping(display, map) == MappingSuccess;
        XFreeModifiermap(map);
        XSync(display, False);
    }
    XCloseDisplay(display);
    return done;
}
