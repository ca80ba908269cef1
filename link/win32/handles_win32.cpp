// Win32 file handles and events: ReadFile/WriteFile on the handle, events made
// by CreateEventA.
#include "link/handles.h"

bool CFileHandle::Read(void* buffer, uint32_t& count, NativeOverlapped* overlapped) {
    if (!IsValid()) {
        count = 0;
        return false;
    }
    DWORD transferred = 0;
    if (::ReadFile(m_handle, buffer, count, &transferred, overlapped)) {
        count = transferred;
        return true;
    }
    m_lastError = ::GetLastError();
    count = 0;
    return false;
}

bool CFileHandle::Write(const void* buffer, uint32_t& count, NativeOverlapped* overlapped) {
    if (!IsValid()) {
        count = 0;
        return false;
    }
    DWORD transferred = 0;
    if (::WriteFile(m_handle, buffer, count, &transferred, overlapped)) {
        count = transferred;
        return true;
    }
    m_lastError = ::GetLastError();
    count = 0;
    return false;
}

bool CFileHandle::Close() {
    if (!IsValid()) return false;
    // A transfer abandoned by its caller must not outlive the handle: its
    // OVERLAPPED record and buffer belong to the caller. CancelIoEx reaches
    // transfers started by any thread.
    ::CancelIoEx(m_handle, nullptr);
    const BOOL ok = ::CloseHandle(m_handle);
    m_handle = kInvalidNativeHandle;
    return ok != FALSE;
}

bool CKernelHandle::CreateEvent(bool manualReset) {
    Close();
    const HANDLE event = ::CreateEventA(nullptr, manualReset ? TRUE : FALSE, FALSE, nullptr);
    if (event == nullptr) return false;
    m_handle = event;
    m_manualReset = manualReset;
    return true;
}

bool CKernelHandle::Signal() {
    if (IsEmpty()) return false;
    return ::SetEvent(m_handle) != FALSE;
}

bool CKernelHandle::Reset() {
    if (IsEmpty()) return false;
    return ::ResetEvent(m_handle) != FALSE;
}

CKernelHandle::WaitResult CKernelHandle::Wait(uint32_t timeoutMs) {
    if (IsEmpty()) return WaitResult::Failed;
    // kInfinite is INFINITE; an auto-reset event is consumed by the wait that sees it.
    switch (::WaitForSingleObject(m_handle, timeoutMs)) {
        case WAIT_OBJECT_0: return WaitResult::Signalled;
        case WAIT_TIMEOUT: return WaitResult::TimedOut;
        default: return WaitResult::Failed;
    }
}

bool CKernelHandle::Close() {
    if (IsEmpty()) return false;
    const BOOL ok = ::CloseHandle(m_handle);
    m_handle = kInvalidNativeHandle;
    return ok != FALSE;
}
