#include "image/release_paths.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

// Writes all of text to a new file created with mode; never replaces one.
bool WriteNew(const std::string& path, const std::string& text, mode_t mode, std::string& problem) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd < 0) {
        problem = std::strerror(errno);
        return false;
    }
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t wrote = ::write(fd, text.data() + done, text.size() - done);
        if (wrote < 0 && errno == EINTR) continue;
        if (wrote <= 0) {
            problem = std::strerror(errno);
            ::close(fd);
            ::unlink(path.c_str());
            return false;
        }
        done += static_cast<size_t>(wrote);
    }
    if (::fsync(fd) != 0 || ::close(fd) != 0) {
        problem = std::strerror(errno);
        ::unlink(path.c_str());
        return false;
    }
    return true;
}

}  // namespace

std::string MachineConfigFolder() {
    const std::string injected = Environment("KAVRO_MACHINE_CONFIG_DIR");
    return injected.empty() ? "/etc/kavro" : injected;
}

std::vector<std::string> TrustFolders() {
    std::vector<std::string> folders{MachineConfigFolder() + "/trusted-keys"};
    std::string user = Environment("XDG_CONFIG_HOME");
    if (user.empty() && !Environment("HOME").empty()) user = Environment("HOME") + "/.config";
    if (!user.empty()) folders.push_back(user + "/kavro/trusted-keys");
    return folders;
}

std::string StationPolicyPath() { return MachineConfigFolder() + "/station.conf"; }

bool WriteOwnerOnlyFile(const std::string& path, const std::string& text, std::string& problem) {
    // open() applies the umask, which can only take permissions away from 0600.
    return WriteNew(path, text, 0600, problem);
}

bool WriteNewTextFile(const std::string& path, const std::string& text, std::string& problem) {
    return WriteNew(path, text, 0644, problem);
}
