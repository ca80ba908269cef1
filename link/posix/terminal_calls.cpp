#include "link/posix/terminal_calls.h"

#include <sys/ioctl.h>
#include <unistd.h>

namespace {
ssize_t SystemWrite(int fd, const void* buffer, size_t count) { return ::write(fd, buffer, count); }
int SystemOutputQueued(int fd, int* bytes) { return ::ioctl(fd, TIOCOUTQ, bytes); }
int SystemDrain(int fd) { return ::tcdrain(fd); }
int SystemSetAttributes(int fd, const termios* tio) { return ::tcsetattr(fd, TCSANOW, tio); }

constexpr TerminalCalls kSystemCalls{SystemWrite, SystemOutputQueued, SystemDrain, SystemSetAttributes};
TerminalCalls g_activeCalls = kSystemCalls;
}  // namespace

TerminalCalls& ActiveTerminalCalls() { return g_activeCalls; }
const TerminalCalls& SystemTerminalCalls() { return kSystemCalls; }
