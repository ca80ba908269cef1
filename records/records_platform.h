#pragma once
// What the records need from the system; one implementation per system
// (records/posix, records/win32), chosen by CMake. Any thread.
#include <string>

// The folder for this user's application data: $XDG_DATA_HOME or
// ~/.local/share on POSIX, the local application-data folder on Windows.
// Empty when the system names none.
std::string UserDataFolder();

// This machine's host name; empty when the system does not tell.
std::string HostName();

// The folder separator of this system's paths.
char PathSeparator();

// Waits up to timeoutMs for the socket (a libpq connection's) to be ready for
// reading (or writing): 1 ready, 0 timed out, -1 failed.
int WaitForSocket(int socket, bool forWrite, int timeoutMs);
