#include <poll.h>
#include <unistd.h>

#include <cstdlib>

#include "records/records_platform.h"

std::string UserDataFolder() {
    // The XDG base directories: a relative $XDG_DATA_HOME is invalid and ignored.
    const char* data = std::getenv("XDG_DATA_HOME");
    if (data != nullptr && data[0] == '/') return data;
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] != '\0') return std::string(home) + "/.local/share";
    return {};
}

std::string HostName() {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0) return {};
    return name;
}

char PathSeparator() { return '/'; }

int WaitForSocket(int socket, bool forWrite, int timeoutMs) {
    pollfd descriptor{socket, static_cast<short>(forWrite ? POLLOUT : POLLIN), 0};
    const int rc = ::poll(&descriptor, 1, timeoutMs);
    return rc > 0 ? 1 : rc;
}
