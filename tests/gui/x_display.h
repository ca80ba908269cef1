#pragma once
// A connection to the X display of the tests, kept apart from the other
// sources because Xlib's macros clash with ordinary names.

// Waits up to timeoutMs for the display in DISPLAY to accept a connection and
// returns it (nullptr when it never did).
void* WaitForDisplay(int timeoutMs);
void CloseDisplay(void* display);
