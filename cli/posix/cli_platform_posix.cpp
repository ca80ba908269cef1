// The command line's system services on POSIX.
#include <locale.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <cstring>
#include <climits>
#include <cstdlib>

#include "cli/argument_passwords.h"
#include "cli/cli_platform.h"

bool PrepareProgressTerminal() { return ::isatty(STDOUT_FILENO) == 1; }

bool WriteAllToDescriptor(int fd, const char* bytes, size_t length) {
    size_t done = 0;
    while (done < length) {
        const ssize_t w = ::write(fd, bytes + done, length - done);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return false;
        done += static_cast<size_t>(w);
    }
    return true;
}

unsigned long CurrentProcessId() { return static_cast<unsigned long>(::getpid()); }

std::FILE* CreateNewFile(const std::string& path) {
    // "x": fails with EEXIST rather than replace a file.
    return std::fopen(path.c_str(), "wbx");
}

bool ResolveLongPortName(const std::string& name, std::string& resolved, uint32_t& systemError) {
    char path[PATH_MAX];
    if (::realpath(name.c_str(), path) == nullptr) {
        systemError = static_cast<uint32_t>(errno);
        return false;
    }
    resolved = path;
    return true;
}

std::string PortIdentity(const std::string& port) {
    std::string resolved;
    uint32_t ignored = 0;
    return ResolveLongPortName(port, resolved, ignored) ? resolved : port;
}

void HideRecordsPasswords(int argc, char** argv) { BlankRecordsPasswords(argc, argv); }

const char* PortNameExamples() { return "/dev/ttyUSB0, /dev/pts/3, COM1 = /dev/ttyS0"; }

const char* StopRequestNames() { return "SIGINT/SIGTERM"; }

std::string EnglishErrnoText(int number) {
    // The C locale's texts are the C library's own English ones.
    static const locale_t english = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    if (english == static_cast<locale_t>(nullptr)) return std::strerror(number);
    return strerror_l(number, english);
}
