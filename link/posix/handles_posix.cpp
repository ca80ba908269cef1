// POSIX file handles. The events are in eventfd/ (Linux) or pipe/ (elsewhere).
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>

#include "link/handles.h"
#include "link/deadline.h"
#include "link/posix/event_posix.h"
#include "link/posix/terminal_calls.h"

bool CFileHandle::Read(void* buffer, uint32_t& count, NativeOverlapped*) {
    if (!IsValid()) {
        count = 0;
        return false;
    }
    for (;;) {
        const ssize_t n = ::read(m_handle, buffer, count);
        if (n >= 0) {
            count = static_cast<uint32_t>(n);
            return true;
        }
        if (errno == EINTR) continue;
        m_lastError = static_cast<uint32_t>(errno == EWOULDBLOCK ? EAGAIN : errno);
        count = 0;
        return false;
    }
}

bool CFileHandle::Write(const void* buffer, uint32_t& count, NativeOverlapped*) {
    if (!IsValid()) {
        count = 0;
        return false;
    }
    for (;;) {
        const ssize_t n = ActiveTerminalCalls().write(m_handle, buffer, count);
        if (n >= 0) {
            count = static_cast<uint32_t>(n);
            return true;
        }
        if (errno == EINTR) continue;
        m_lastError = static_cast<uint32_t>(errno == EWOULDBLOCK ? EAGAIN : errno);
        count = 0;
        return false;
    }
}

bool CFileHandle::Close() {
    if (!IsValid()) return false;
    // The exclusive mode outlives this descriptor while another one (a
    // simulator's slave, say) keeps the terminal open; give it up first.
    ::ioctl(m_handle, TIOCNXCL);
    const int rc = ::close(m_handle);
    m_handle = kInvalidNativeHandle;
    return rc == 0;
}

// A manual-reset event is never drained once signalled, so it stays readable
// until Reset(); an auto-reset one is drained by the wait that sees it.

bool CKernelHandle::Reset() {
    if (IsEmpty()) return false;
    DrainEventDescriptor(m_handle);
    return true;
}

CKernelHandle::WaitResult CKernelHandle::Wait(uint32_t timeoutMs) {
    if (IsEmpty()) return WaitResult::Failed;
    using Clock = SteadyClock;
    const bool infinite = timeoutMs == kInfinite;
    const Clock::time_point deadline = DeadlineAfter(Clock::now(), timeoutMs);
    for (;;) {
        int waitMs = -1;
        if (!infinite) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
            waitMs = left < 0 ? 0 : (left > INT_MAX ? INT_MAX : static_cast<int>(left));
        }
        pollfd pfd{m_handle, POLLIN, 0};
        const int rc = ::poll(&pfd, 1, waitMs);
        if (rc < 0) {
            if (errno == EINTR) continue;
            return WaitResult::Failed;
        }
        if (rc == 0) {
            if (waitMs == 0 || (!infinite && Clock::now() >= deadline)) return WaitResult::TimedOut;
            continue;
        }
        if (m_manualReset) return WaitResult::Signalled;
        if (DrainEventDescriptor(m_handle)) return WaitResult::Signalled;
        // Another waiter took the signal first; wait on.
    }
}
