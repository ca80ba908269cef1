#include "link/port_path.h"

bool ResolvePortPath(const std::string& name, std::string& device, uint32_t&) {
    device = name;
    return true;
}
