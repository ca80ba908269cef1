#include "station/station_platform.h"

// COM port names are short and stay; whether the adapter is there shows when
// the link opens the port.
bool ResolveBayPort(const std::string& name, std::string& device, std::string&) {
    device = name;
    return true;
}
