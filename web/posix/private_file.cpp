#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "res/translation.h"
#include "web/station_web_server.h"

// An old token file of ours is replaced; O_EXCL and O_NOFOLLOW refuse
// whatever else lies there (another user's file in a shared folder, a link).
bool WritePrivateFile(const std::string& path, const std::string& text, std::string& error) {
    struct stat old {};
    if (lstat(path.c_str(), &old) == 0 && S_ISREG(old.st_mode) && old.st_uid == getuid()) unlink(path.c_str());
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        error = FormatText(Tr("Cannot write %s: %s"), {path, std::strerror(errno)});
        return false;
    }
    const bool written = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    const bool closed = close(fd) == 0;
    if (!written || !closed) {
        error = FormatText(Tr("Cannot write %s: %s"), {path, std::strerror(errno)});
        return false;
    }
    return true;
}
