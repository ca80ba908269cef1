#pragma once
// What a port name stands for right now, for every front end and the
// station. One implementation per system (link/posix, link/win32), chosen by
// CMake. Any thread.
#include <cstdint>
#include <string>

// POSIX: the path the name's symbolic links lead to (/dev/serial/by-path/...
// and /dev/serial/by-id/... to /dev/ttyUSB0, a simulator's link to its
// pseudo-terminal). Windows: the name itself (COM port names are short and
// stay; whether the adapter is there shows when the port opens). False with
// the system error when the name leads nowhere (the adapter is unplugged).
[[nodiscard]] bool ResolvePortPath(const std::string& name, std::string& device, uint32_t& systemError);
