#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "records/pgpass.h"
#include "res/translation.h"

std::string PgpassPath() {
    const char* given = std::getenv("PGPASSFILE");
    if (given != nullptr && given[0] != '\0') return given;
    const char* home = std::getenv("HOME");
    return home != nullptr && home[0] != '\0' ? std::string(home) + "/.pgpass" : std::string();
}

// Written beside it and renamed over it: the file is never half written, and
// it is 0600 from its first byte (libpq ignores a password file others can read).
bool ReplaceOwnerOnlyFile(const std::string& path, const std::string& text, std::string& problem) {
    const std::string temporary = path + ".kavro-new";
    unlink(temporary.c_str());
    const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        problem = FormatText(Tr("Cannot write %s: %s"), {path, std::strerror(errno)});
        return false;
    }
    const bool written = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size()) && fsync(fd) == 0;
    const int saved = errno;
    const bool closed = close(fd) == 0;
    if (!written || !closed || rename(temporary.c_str(), path.c_str()) != 0) {
        problem = FormatText(Tr("Cannot write %s: %s"), {path, std::strerror(written && closed ? errno : saved)});
        unlink(temporary.c_str());
        return false;
    }
    return true;
}
