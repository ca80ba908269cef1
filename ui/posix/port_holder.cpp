#include "ui/port_holder.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <vector>

#include "link/port_path.h"

namespace {
namespace fs = std::filesystem;

std::string DeviceOf(const std::string& name) {
    std::string device;
    uint32_t error = 0;
    return ResolvePortPath(name, device, error) ? device : name;
}

// The process holding the device's flock() (every KAVRO program takes one on a
// port it opens), from the kernel's list of locks: "1: FLOCK ADVISORY WRITE
// PID MAJOR:MINOR:INODE 0 EOF". 0 when none does.
int LockHolder(const std::string& device) {
    struct stat status {};
    if (::stat(device.c_str(), &status) != 0) return 0;
    char key[64];
    std::snprintf(key, sizeof key, "%02x:%02x:%lu", major(status.st_dev), minor(status.st_dev),
                  static_cast<unsigned long>(status.st_ino));
    std::ifstream locks("/proc/locks");
    for (std::string line; std::getline(locks, line);) {
        if (line.find("->") != std::string::npos || line.find(" FLOCK ") == std::string::npos) continue;
        std::istringstream fields(line);
        std::string previous, field;
        while (fields >> field && field != key) previous = field;
        if (field == key) return std::atoi(previous.c_str());
    }
    return 0;
}

std::vector<std::string> Arguments(const fs::path& process) {
    std::ifstream in(process / "cmdline", std::ios::binary);
    const std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::string> arguments;
    for (size_t start = 0; start < all.size();) {
        const size_t end = all.find('\0', start);
        arguments.push_back(all.substr(start, end - start));
        start = end == std::string::npos ? all.size() : end + 1;
    }
    return arguments;
}

// The station's bays in --bay order ("--bay PORT", "--bay=PORT", a ":second" suffix).
size_t BayNaming(const std::vector<std::string>& arguments, const std::string& device) {
    size_t bay = 0;
    for (size_t i = 0; i < arguments.size(); ++i) {
        std::string port;
        if (arguments[i] == "--bay" && i + 1 < arguments.size()) port = arguments[++i];
        else if (arguments[i].rfind("--bay=", 0) == 0) port = arguments[i].substr(6);
        else continue;
        ++bay;
        if (port.size() > 7 && port.compare(port.size() - 7, 7, ":second") == 0) port.resize(port.size() - 7);
        if (DeviceOf(port) == device) return bay;
    }
    return 0;
}

std::string ProgramName(const fs::path& process) {
    std::ifstream in(process / "comm");
    std::string name;
    std::getline(in, name);
    return name;
}
}  // namespace

bool FindPortHolder(const std::string& port, PortHolder& holder) {
    const std::string device = DeviceOf(port);
    const int process = LockHolder(device);
    if (process <= 0 || process == ::getpid()) return false;
    const fs::path folder = fs::path("/proc") / std::to_string(process);
    holder.process = process;
    holder.program = ProgramName(folder);
    holder.bay = BayNaming(Arguments(folder), device);
    return true;
}
