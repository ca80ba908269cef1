#pragma once
// The terminal calls whose order matters on a real UART: a write, the wait for
// its bytes to leave, a line-setting change, and the low-latency request of a
// USB adapter. A pseudo-terminal drains at once and refuses the request, so
// tests swap these for recorders to see the order; the program always uses the
// system's. Swap them only while no port is in use.
#include <sys/types.h>
#include <termios.h>

struct TerminalCalls {
    ssize_t (*write)(int fd, const void* buffer, size_t count);
    // Bytes still in the driver's output queue (TIOCOUTQ); 0 or -1 with errno.
    int (*outputQueued)(int fd, int* bytes);
    // Waits for the last byte to leave the transmitter (tcdrain).
    int (*drain)(int fd);
    // Applies line settings at once (tcsetattr TCSANOW).
    int (*setAttributes)(int fd, const termios* tio);
    // Asks the driver to pass received bytes on at once (ASYNC_LOW_LATENCY
    // through TIOCGSERIAL/TIOCSSERIAL); 0 or -1 with errno.
    int (*requestLowLatency)(int fd);
};

TerminalCalls& ActiveTerminalCalls();
// The system's own calls, for a recorder to pass on to.
const TerminalCalls& SystemTerminalCalls();
