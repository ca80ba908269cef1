// Events as eventfd counters (Linux): one descriptor is both waited on and signalled.
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>

#include "link/handles.h"
#include "link/posix/event_posix.h"

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

bool CKernelHandle::Close() {
    if (IsEmpty()) return false;
    const int rc = ::close(m_handle);
    m_handle = kInvalidNativeHandle;
    return rc == 0;
}

bool DrainEventDescriptor(int fd) {
    uint64_t value = 0;
    for (;;) {
        if (::read(fd, &value, sizeof value) == sizeof value) return true;
        if (errno != EINTR) return false;
    }
}
