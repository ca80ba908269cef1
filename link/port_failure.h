#pragma once
// Why a port cannot be opened, in words a person can act on: the system's
// reason and the hint that goes with it. The command line and the station
// say the same. Pure functions; any thread.
#include <cstdint>
#include <string>

// The hint for a port the system refused with this error (permissions, a busy
// port, a missing port), in English and marked for the catalogues (the front
// ends translate it with Tr); nullptr when no hint helps.
const char* PortFailureHint(uint32_t systemError);

// "Port X cannot be opened: <reason>. <hint>" in English, for records and
// JSON (the system's reason left out when it gave none).
std::string PortFailureText(const std::string& port, uint32_t systemError);
