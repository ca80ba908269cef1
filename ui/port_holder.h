#pragma once
// Who else has a port open, for the message when it is busy: another process
// (a kavro-cli station, a terminal program) and, for a station, the bay whose
// --bay names it. One implementation per system (posix: /proc; win32: not
// known, the system keeps no such list for a program to read). Window thread.
#include <cstddef>
#include <string>

struct PortHolder {
    int process = 0;       // its process id
    std::string program;   // its program's name
    size_t bay = 0;        // the station bay (from 1) that names the port; 0 when none does
};

// False when no other process is known to hold the port (or the system cannot tell).
[[nodiscard]] bool FindPortHolder(const std::string& port, PortHolder& holder);
