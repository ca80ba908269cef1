#include "link/posix/terminal_calls.h"

#include <linux/serial.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {
ssize_t SystemWrite(int fd, const void* buffer, size_t count) { return ::write(fd, buffer, count); }
int SystemOutputQueued(int fd, int* bytes) { return ::ioctl(fd, TIOCOUTQ, bytes); }
int SystemDrain(int fd) { return ::tcdrain(fd); }
int SystemSetAttributes(int fd, const termios* tio) { return ::tcsetattr(fd, TCSANOW, tio); }
int SystemRequestLowLatency(int fd) {
    serial_struct info{};
    if (::ioctl(fd, TIOCGSERIAL, &info) != 0) return -1;
    if ((info.flags & ASYNC_LOW_LATENCY) != 0) return 0;
    info.flags |= ASYNC_LOW_LATENCY;
    return ::ioctl(fd, TIOCSSERIAL, &info);
}

constexpr TerminalCalls kSystemCalls{SystemWrite, SystemOutputQueued, SystemDrain, SystemSetAttributes,
                                       SystemRequestLowLatency};
TerminalCalls g_activeCalls = kSystemCalls;
}  // namespace

TerminalCalls& ActiveTerminalCalls() { return g_activeCalls; }
const TerminalCalls& SystemTerminalCalls() { return kSystemCalls; }
