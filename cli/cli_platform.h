#pragma once
// The few system services of the command line that differ between systems;
// one implementation per system (cli/posix, cli/win32), chosen by CMake.
//
// Main thread, except WriteAllToDescriptor, which the trace calls from the
// link's worker.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

// Standard error's descriptor, in POSIX and in the Windows C runtime alike.
inline constexpr int kStandardErrorDescriptor = 2;

// Called first in main. The arguments as UTF-8, the text every path and
// name is inside the program: POSIX leaves argv as it is; Windows rebuilds it
// from the command line's wide text (the C runtime's argv is in the ANSI code
// page and loses what that cannot spell), kept for the program's life.
void UseUtf8Arguments(int& argc, char**& argv);
// Called first in main. Makes the console show the UTF-8 the program writes
// (Windows: its output code page, given back at exit; POSIX: nothing).
// Output to a file or a pipe is UTF-8 on every system.
void PrepareConsoleText();

// True when standard output is a terminal that can show the progress bar
// redrawn in place (on Windows: a console, switched to understand the bar's
// escape sequences; false when it cannot be).
bool PrepareProgressTerminal();

// Writes all bytes to a file descriptor of the C runtime, going straight to
// the system: no buffering, no allocation, no lock of the C library's streams.
// False when the system refuses (a closed descriptor); the caller drops the
// rest.
bool WriteAllToDescriptor(int fd, const char* bytes, size_t length);

// The running process's id, for names of temporary files.
unsigned long CurrentProcessId();

// Creates path for binary writing; never replaces a file that exists (then
// null with errno EEXIST). Null with errno set on any failure.
std::FILE* CreateNewFile(const std::string& path);

// What two spellings of one port have in common. POSIX: the path its symbolic
// links lead to (the name itself when it leads nowhere). Windows: the name in
// upper case without the \\.\ prefix.
std::string PortIdentity(const std::string& port);

// Blanks the passwords of --records values out of the process's arguments,
// which other users of the machine can read (POSIX: `ps`, /proc). Windows:
// nothing; argv is the C runtime's copy, not the command line the system
// shows, and only the same user or an administrator can read that.
void HideRecordsPasswords(int argc, char** argv);


// Examples of port names for --port's help.
const char* PortNameExamples();
// How to stop a command, for the exit status help: "SIGINT/SIGTERM" or the
// console's keys.
const char* StopRequestNames();
