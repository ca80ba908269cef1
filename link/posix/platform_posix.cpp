#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <system_error>
#include <thread>

#include "link/platform.h"

void PlatformSleepMs(uint32_t milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

std::string SystemErrorText(uint32_t code) {
    return std::generic_category().message(static_cast<int>(code));
}

bool GetProgramPath(void*, std::string& path) {
    char buffer[4096];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer);
    if (n <= 0 || static_cast<size_t>(n) >= sizeof buffer) return false;
    path.assign(buffer, static_cast<size_t>(n));
    return true;
}

bool IsPermissionError(uint32_t code) { return code == EACCES || code == EPERM; }
bool IsBusyError(uint32_t code) { return code == EBUSY || code == EWOULDBLOCK; }
bool IsMissingError(uint32_t code) { return code == ENOENT || code == ENODEV || code == ENXIO; }
