#include "link/port_path.h"

#include <limits.h>
#include <stdlib.h>

#include <cerrno>

bool ResolvePortPath(const std::string& name, std::string& device, uint32_t& systemError) {
    char path[PATH_MAX];
    if (::realpath(name.c_str(), path) == nullptr) {
        systemError = static_cast<uint32_t>(errno);
        return false;
    }
    device = path;
    return true;
}
