#include <windows.h>

#include "station/station_platform.h"

std::string StationHostName() {
    char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = sizeof name;
    if (!GetComputerNameA(name, &size)) return {};
    return std::string(name, size);
}

// COM port names are short and stay; whether the adapter is there shows when
// the link opens the port.
bool ResolveBayPort(const std::string& name, std::string& device, std::string&) {
    device = name;
    return true;
}
