// The command line's system services on POSIX.
#include <locale.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <cstring>

#include "cli/argument_passwords.h"
#include "cli/cli_platform.h"
#include "link/file_path.h"
#include "link/port_path.h"

void UseUtf8Arguments(int&, char**&) {}

void PrepareConsoleText() {}

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
    return OpenFileUtf8(path, "wbx");
}

std::string PortIdentity(const std::string& port) {
    std::string resolved;
    uint32_t ignored = 0;
    return ResolvePortPath(port, resolved, ignored) ? resolved : port;
}

void HideRecordsPasswords(int argc, char** argv) { BlankRecordsPasswords(argc, argv); }

const char* PortNameExamples() { return "/dev/ttyUSB0, /dev/pts/3, COM1 = /dev/ttyS0"; }

const char* StopRequestNames() { return "SIGINT/SIGTERM"; }

