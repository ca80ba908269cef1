// POSIX file handles and events. Events are eventfd counters: a manual-reset
// event is never drained once signalled; an auto-reset one is drained by the
// wait that sees it.
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>

#include "link/handles.h"

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
        const ssize_t n = ::write(m_handle, buffer, count);
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

bool CKernelHandle::CreateEvent(bool manualReset) {
    Close();
    m_handle = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    m_manualReset = manualReset;
    return m_handle != kInvalidNativeHandle;
}

bool CKernelHandle::Signal() {
    if (IsEmpty()) return false;
    const uint64_t one = 1;
    for (;;) {
        if (::write(m_handle, &one, sizeof one) == sizeof one) return true;
        if (errno == EINTR) continue;
        // EAGAIN: the counter is saturated, so the event is signalled already.
        return errno == EAGAIN;
    }
}

bool CKernelHandle::Reset() {
    if (IsEmpty()) return false;
    uint64_t value = 0;
    while (::read(m_handle, &value, sizeof value) < 0 && errno == EINTR) {
    }
    return true;
}

CKernelHandle::WaitResult CKernelHandle::Wait(uint32_t timeoutMs) {
    if (IsEmpty()) return WaitResult::Failed;
    using Clock = std::chrono::steady_clock;
    const bool infinite = timeoutMs == kInfinite;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
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
        uint64_t value = 0;
        if (::read(m_handle, &value, sizeof value) == sizeof value) return WaitResult::Signalled;
        // Another waiter took the signal first; wait on.
    }
}

bool CKernelHandle::Close() {
    if (IsEmpty()) return false;
    const int rc = ::close(m_handle);
    m_handle = kInvalidNativeHandle;
    return rc == 0;
}
