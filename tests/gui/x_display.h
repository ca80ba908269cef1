#pragma once
// A connection to the X display of the tests, kept apart from the other
// sources because Xlib's macros clash with ordinary names.

// Waits up to timeoutMs for the display in DISPLAY to accept a connection and
// returns it (nullptr when it never did).
void* WaitForDisplay(int timeoutMs);
void CloseDisplay(void* display);

// Makes Scroll Lock a locking key on the display (a real modifier behind it, as
// keyboards with a working Scroll Lock light have); the test display's default
// keymap leaves it unbound, so it would never lock. False when that failed.
bool MakeScrollLockLock();
