#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "station/station_platform.h"

std::string StationHostName() {
    char name[HOST_NAME_MAX + 1] = {};
    if (gethostname(name, sizeof name - 1) != 0) return {};
    return name;
}

bool ResolveBayPort(const std::string& name, std::string& device, std::string& reason) {
    char path[PATH_MAX];
    if (::realpath(name.c_str(), path) == nullptr) {
        reason = std::strerror(errno);
        return false;
    }
    device = path;
    return true;
}
