// Events as non-blocking pipes, for systems without eventfd: the read end is
// waited on, a byte written to the write end signals it.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "link/handles.h"
#include "link/posix/event_posix.h"

namespace {
bool MakePipe(int fds[2]) {
    if (::pipe(fds) != 0) return false;
    for (int i = 0; i < 2; ++i) {
        const int flags = ::fcntl(fds[i], F_GETFL);
        if (flags < 0 || ::fcntl(fds[i], F_SETFL, flags | O_NONBLOCK) != 0 ||
            ::fcntl(fds[i], F_SETFD, FD_CLOEXEC) != 0) {
            ::close(fds[0]);
            ::close(fds[1]);
            return false;
        }
    }
    return true;
}
}  // namespace

bool CKernelHandle::CreateEvent(bool manualReset) {
    Close();
    int fds[2];
    if (!MakePipe(fds)) return false;
    m_handle = fds[0];
    m_signalHandle = fds[1];
    m_manualReset = manualReset;
    return true;
}

bool CKernelHandle::Signal() {
    if (IsEmpty()) return false;
    const char one = 1;
    for (;;) {
        if (::write(m_signalHandle, &one, 1) == 1) return true;
        if (errno == EINTR) continue;
        // EAGAIN: the pipe is full of signals already.
        return errno == EAGAIN;
    }
}

bool CKernelHandle::Close() {
    if (IsEmpty()) return false;
    const int rc = ::close(m_handle);
    m_handle = kInvalidNativeHandle;
    if (m_signalHandle != kInvalidNativeHandle) ::close(m_signalHandle);
    m_signalHandle = kInvalidNativeHandle;
    return rc == 0;
}

bool DrainEventDescriptor(int fd) {
    char buffer[64];
    bool drained = false;
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0) {
            drained = true;
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        return drained;
    }
}
