#pragma once
// The few system services of the station that differ between systems; one
// implementation per system (station/posix, station/win32), chosen by CMake.
// Any thread.
#include <string>

// What a bay's port name stands for right now: POSIX follows symbolic links
// (/dev/serial/by-path/... to /dev/ttyUSB0, a simulator's link to its
// pseudo-terminal); Windows keeps the name. False when the name leads nowhere
// (the adapter is unplugged), with the system's reason.
[[nodiscard]] bool ResolveBayPort(const std::string& name, std::string& device, std::string& reason);
