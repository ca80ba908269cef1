#pragma once
// A bay's port as the system's device path right now: link/port_path.h,
// with the system's reason in words when the name leads nowhere (the adapter
// is unplugged). Any thread.
#include <string>

#include "link/platform.h"
#include "link/port_path.h"

[[nodiscard]] inline bool ResolveBayPort(const std::string& name, std::string& device, std::string& reason) {
    uint32_t error = 0;
    if (ResolvePortPath(name, device, error)) return true;
    reason = SystemErrorText(error);
    return false;
}
