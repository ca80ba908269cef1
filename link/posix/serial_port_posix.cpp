// POSIX backend of CSerialPort: termios for the line, poll() on the port and
// the stop event for every wait, deadlines on the monotonic clock.
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>

#include "link/deadline.h"
#include "link/posix/terminal_calls.h"
#include "link/serial_port.h"

namespace {
using Clock = SteadyClock;

bool SpeedFor(uint32_t baud, speed_t& speed) {
    switch (baud) {
        case 300: speed = B300; return true;
        case 600: speed = B600; return true;
        case 1200: speed = B1200; return true;
        case 2400: speed = B2400; return true;
        case 4800: speed = B4800; return true;
        case 9600: speed = B9600; return true;
        case 19200: speed = B19200; return true;
        case 38400: speed = B38400; return true;
        case 57600: speed = B57600; return true;
        case 115200: speed = B115200; return true;
        case 230400: speed = B230400; return true;
        case 460800: speed = B460800; return true;
        case 921600: speed = B921600; return true;
        default: return false;
    }
}

// Pseudo-terminals and some adapters have no modem lines; that is not an error.
bool NoModemLines(int error) { return error == ENOTTY || error == EINVAL; }

// Milliseconds left until deadline, clamped for poll().
int MillisecondsLeft(Clock::time_point deadline) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return 0;
    return left > INT_MAX ? INT_MAX : static_cast<int>(left);
}

struct Deadlines {
    bool portLimited = false;  // the port's total timeout applies
    Clock::time_point port;
    bool waitLimited = false;  // the caller's wait applies
    Clock::time_point wait;
};

Deadlines MakeDeadlines(uint32_t multiplier, uint32_t constant, uint32_t count, uint32_t timeoutMs) {
    Deadlines d;
    const Clock::time_point now = Clock::now();
    const uint64_t total = uint64_t{multiplier} * count + constant;
    if (total != 0) {
        d.portLimited = true;
        d.port = DeadlineAfter(now, total);
    }
    if (timeoutMs != kInfinite) {
        d.waitLimited = true;
        d.wait = DeadlineAfter(now, timeoutMs);
    }
    return d;
}

enum class WaitOutcome { Ready, PortTimeout, WaitTimeout, Stopped, Failed };

// Waits until fd is ready for events, the stop event is set, or a deadline passes.
WaitOutcome WaitReady(int fd, short events, int stopFd, const Deadlines& d, int& error, bool& hangUp) {
    for (;;) {
        int waitMs = -1;
        bool portFirst = false;
        if (d.portLimited) {
            waitMs = MillisecondsLeft(d.port);
            portFirst = true;
        }
        if (d.waitLimited) {
            const int w = MillisecondsLeft(d.wait);
            if (waitMs < 0 || w < waitMs) {
                waitMs = w;
                portFirst = false;
            }
        }
        pollfd fds[2] = {{fd, events, 0}, {stopFd, POLLIN, 0}};
        const nfds_t n = stopFd >= 0 ? 2 : 1;
        const int rc = ::poll(fds, n, waitMs);
        if (rc < 0) {
            if (errno == EINTR) continue;
            error = errno;
            return WaitOutcome::Failed;
        }
        if (n == 2 && (fds[1].revents & POLLIN)) return WaitOutcome::Stopped;
        if (fds[0].revents != 0) {
            hangUp = (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
            return WaitOutcome::Ready;
        }
        if (rc == 0 && waitMs >= 0) {
            // Check both deadlines: the one that has passed decides.
            const Clock::time_point now = Clock::now();
            if (d.portLimited && now >= d.port && (portFirst || !d.waitLimited || d.port <= d.wait))
                return WaitOutcome::PortTimeout;
            if (d.waitLimited && now >= d.wait) return WaitOutcome::WaitTimeout;
        }
    }
}
// A USB adapter holds a short reply until its packet fills or its latency
// timer runs out; asked for low latency, the driver passes bytes on at once
// (ftdi_sio sets the timer to 1 ms). The timer is read after the request.
void AskLowLatency(int fd, const char* path, AdapterLatency& adapter) {
    adapter = AdapterLatency{};
    if (ActiveTerminalCalls().requestLowLatency(fd) == 0) {
        adapter.lowLatency = LowLatency::Granted;
    } else {
        adapter.lowLatency = LowLatency::Refused;
        adapter.refusal = static_cast<uint32_t>(errno);
    }
    adapter.timerMs = ReadAdapterLatencyMsUnder("/sys", path);
}
}  // namespace

bool CSerialPort::OpenDevice() {
    char path[300];
    PosixDevicePath(m_portName.Text(), path, sizeof path);
    const int fd = ::open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        m_file.m_lastError = static_cast<uint32_t>(errno);
        return false;
    }
    // flock() refuses every other opener, root too. Only the holder sets
    // TIOCEXCL (which refuses other non-root openers): the flag belongs to the
    // terminal, so a refused opener that touched it would unlock the holder.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        m_file.m_lastError = static_cast<uint32_t>(errno == EWOULDBLOCK ? EBUSY : errno);
        ::close(fd);
        return false;
    }
    ::ioctl(fd, TIOCEXCL);
    m_file.m_handle = fd;
    // Bytes left from an earlier user of the line would pass for replies.
    ::tcflush(fd, TCIOFLUSH);
    AskLowLatency(fd, path, m_adapter);
    return true;
}

bool CSerialPort::ApplyDeviceControlBlock(const DeviceControlBlock& dcb) {
    const int fd = m_file.m_handle;
    termios tio{};
    if (::tcgetattr(fd, &tio) != 0) {
        m_file.m_lastError = static_cast<uint32_t>(errno);
        return false;
    }
    speed_t speed;
    if (!SpeedFor(dcb.BaudRate, speed)) {
        m_file.m_lastError = EINVAL;
        return false;
    }
    ::cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    switch (dcb.ByteSize) {
        case 5: tio.c_cflag |= CS5; break;
        case 6: tio.c_cflag |= CS6; break;
        case 7: tio.c_cflag |= CS7; break;
        case 8: tio.c_cflag |= CS8; break;
        default: m_file.m_lastError = EINVAL; return false;
    }
    switch (dcb.Parity) {
        case 0: break;
        case 1: tio.c_cflag |= PARENB | PARODD; break;
        case 2: tio.c_cflag |= PARENB; break;
        case 3: tio.c_cflag |= PARENB | PARODD | CMSPAR; break;
        case 4: tio.c_cflag |= PARENB | CMSPAR; break;
        default: m_file.m_lastError = EINVAL; return false;
    }
    if (dcb.fParity) tio.c_iflag |= INPCK;
    if (dcb.StopBits != 0) tio.c_cflag |= CSTOPB;  // 1.5 and 2 stop bits
    if (dcb.fOutxCtsFlow) tio.c_cflag |= CRTSCTS;
    tio.c_iflag &= ~(IXON | IXOFF | IXANY);
    if (dcb.fOutX) tio.c_iflag |= IXON;
    if (dcb.fInX) tio.c_iflag |= IXOFF;
    tio.c_cc[VSTART] = static_cast<cc_t>(dcb.XonChar);
    tio.c_cc[VSTOP] = static_cast<cc_t>(dcb.XoffChar);
    // VMIN 1: a non-blocking read with nothing there fails with EAGAIN, so a
    // read of 0 bytes can only mean the other end hung up.
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    ::cfsetispeed(&tio, speed);
    ::cfsetospeed(&tio, speed);
    // Written bytes have left before this (Write drains), so none of them goes
    // out at the new speed.
    if (ActiveTerminalCalls().setAttributes(fd, &tio) != 0) {
        m_file.m_lastError = static_cast<uint32_t>(errno);
        return false;
    }
    // DTR and RTS "disable": applying the state lowers both (RTS stays with the
    // driver under hardware handshake). Raised again only by EscapeCommFunction.
    int lines = TIOCM_DTR;
    if (dcb.fRtsControl == 0) lines |= TIOCM_RTS;
    ::ioctl(fd, TIOCMBIC, &lines);
    return true;
}

bool CSerialPort::ApplyDeviceTimeouts() {
    // POSIX has no driver timeouts: every transfer reads m_timeouts as it starts.
    return true;
}

bool CSerialPort::EscapeCommFunction(uint32_t function) {
    if (!m_file.IsValid()) return false;
    int lines = 0;
    unsigned long request = 0;
    switch (function) {
        case SETRTS: lines = TIOCM_RTS; request = TIOCMBIS; break;
        case CLRRTS: lines = TIOCM_RTS; request = TIOCMBIC; break;
        case SETDTR: lines = TIOCM_DTR; request = TIOCMBIS; break;
        case CLRDTR: lines = TIOCM_DTR; request = TIOCMBIC; break;
        default: m_file.m_lastError = EINVAL; return false;
    }
    if (::ioctl(m_file.m_handle, request, &lines) == 0 || NoModemLines(errno)) return true;
    m_file.m_lastError = static_cast<uint32_t>(errno);
    return false;
}

namespace {
// A failed transfer: the error kept, nothing counted as transferred.
bool FailTransfer(CFileHandle& file, uint32_t& count, uint32_t error) {
    file.m_lastError = error;
    count = 0;
    return false;
}

// One transfer of count bytes: move(offset, n) transfers what it can at once
// (false with the error in file.m_lastError), poll() waits for more. A read of
// 0 bytes on a terminal means the other end hung up.
template <class Move>
bool Transfer(CFileHandle& file, short events, int stopFd, const Deadlines& deadlines, uint32_t& count,
              bool zeroIsHangUp, Move move) {
    const uint32_t wanted = count;
    uint32_t done = 0;
    bool hangUp = false;
    while (done < wanted) {
        uint32_t n = wanted - done;
        if (move(done, n)) {
            if (n == 0 && zeroIsHangUp) return FailTransfer(file, count, kErrorHangUp);
            done += n;
            continue;
        }
        if (file.m_lastError != kErrorIoPending) {
            count = 0;
            return false;
        }
        // poll() reported a hang-up and there is nothing left to transfer.
        if (hangUp) return FailTransfer(file, count, kErrorHangUp);
        int error = 0;
        switch (WaitReady(file.m_handle, events, stopFd, deadlines, error, hangUp)) {
            case WaitOutcome::Ready: break;  // ready, or a hang-up the next call reports
            case WaitOutcome::PortTimeout: count = done; return true;
            case WaitOutcome::WaitTimeout:
            case WaitOutcome::Stopped:
                return FailTransfer(file, count, kErrorIoIncomplete);
            case WaitOutcome::Failed:
                return FailTransfer(file, count, static_cast<uint32_t>(error));
        }
    }
    count = done;
    return true;
}
// Milliseconds that bytes take on the line at baud (10 bits each), at least 1.
int LineTimeMs(int bytes, uint32_t baud) {
    if (baud == 0) return 1;
    const uint64_t ms = (uint64_t(bytes) * 10 * 1000 + baud - 1) / baud;
    return ms < 1 ? 1 : (ms > INT_MAX ? INT_MAX : static_cast<int>(ms));
}

// Waits until the driver's output queue is empty and the transmitter has sent
// its last byte. The wait is cut by the stop event and bounded by the
// transfer's deadlines: the port's write time-out leaves a short count (the
// bytes still queued did not go out), the caller's wait or a stop fails.
bool DrainOutput(CFileHandle& file, uint32_t baud, int stopFd, const Deadlines& deadlines, uint32_t& count) {
    const TerminalCalls& calls = ActiveTerminalCalls();
    for (;;) {
        int queued = 0;
        if (calls.outputQueued(file.m_handle, &queued) != 0 || queued <= 0) break;
        Deadlines slice = deadlines;
        const Clock::time_point sliceEnd = DeadlineAfter(Clock::now(), static_cast<uint64_t>(LineTimeMs(queued, baud)));
        if (!slice.waitLimited || sliceEnd < slice.wait) {
            slice.waitLimited = true;
            slice.wait = sliceEnd;
        }
        int error = 0;
        bool hangUp = false;
        switch (WaitReady(-1, 0, stopFd, slice, error, hangUp)) {
            case WaitOutcome::Ready: break;
            case WaitOutcome::PortTimeout:
                count -= std::min(count, static_cast<uint32_t>(queued));
                return true;
            case WaitOutcome::WaitTimeout:
                if (deadlines.waitLimited && Clock::now() >= deadlines.wait)
                    return FailTransfer(file, count, kErrorIoIncomplete);
                break;  // the slice is over: look at the queue again
            case WaitOutcome::Stopped:
                return FailTransfer(file, count, kErrorIoIncomplete);
            case WaitOutcome::Failed:
                return FailTransfer(file, count, static_cast<uint32_t>(error));
        }
    }
    // The queue is empty; what is left sits in the transmitter, a few characters at most.
    while (calls.drain(file.m_handle) != 0) {
        if (errno == EINTR) continue;
        if (NoModemLines(errno)) break;  // not a terminal that can tell
        return FailTransfer(file, count, static_cast<uint32_t>(errno));
    }
    return true;
}
}  // namespace

bool CSerialPort::Read(uint8_t* buffer, uint32_t& count, uint32_t timeoutMs) {
    if (!m_file.IsValid()) return false;
    const Deadlines deadlines = MakeDeadlines(m_timeouts.ReadTotalTimeoutMultiplier,
                                              m_timeouts.ReadTotalTimeoutConstant, count, timeoutMs);
    const int stopFd = m_stopEvent.IsEmpty() ? -1 : m_stopEvent.Get();
    return Transfer(m_file, POLLIN, stopFd, deadlines, count, true,
                    [&](uint32_t at, uint32_t& n) { return m_file.Read(buffer + at, n, nullptr); });
}

bool CSerialPort::Write(const uint8_t* buffer, uint32_t& count, uint32_t timeoutMs) {
    if (!m_file.IsValid()) return false;
    const Deadlines deadlines = MakeDeadlines(m_timeouts.WriteTotalTimeoutMultiplier,
                                              m_timeouts.WriteTotalTimeoutConstant, count, timeoutMs);
    const int stopFd = m_stopEvent.IsEmpty() ? -1 : m_stopEvent.Get();
    if (!Transfer(m_file, POLLOUT, stopFd, deadlines, count, false,
                  [&](uint32_t at, uint32_t& n) { return m_file.Write(buffer + at, n, nullptr); }))
        return false;
    // The kernel took the bytes; a completed write means they are on the wire.
    return DrainOutput(m_file, m_baudRate, stopFd, deadlines, count);
}
