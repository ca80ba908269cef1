#include <limits.h>
#include <stdlib.h>

#include <cerrno>
#include <cstring>

#include "station/station_platform.h"

bool ResolveBayPort(const std::string& name, std::string& device, std::string& reason) {
    char path[PATH_MAX];
    if (::realpath(name.c_str(), path) == nullptr) {
        reason = std::strerror(errno);
        return false;
    }
    device = path;
    return true;
}
