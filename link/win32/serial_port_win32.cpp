// Win32 backend of CSerialPort: the COM port opened for overlapped I/O, the
// device control block and COMMTIMEOUTS applied by the driver, and each
// transfer a single ReadFile/WriteFile that the stop event can cut short.
#include "link/serial_port.h"

namespace {
static_assert(sizeof(DCB) == 28, "DeviceControlBlock::DCBlength is the size of the Win32 record");

DCB ToWin32(const DeviceControlBlock& d) {
    DCB dcb{};
    dcb.DCBlength = d.DCBlength;
    dcb.BaudRate = d.BaudRate;
    dcb.fBinary = d.fBinary;
    dcb.fParity = d.fParity;
    dcb.fOutxCtsFlow = d.fOutxCtsFlow;
    dcb.fOutxDsrFlow = d.fOutxDsrFlow;
    dcb.fDtrControl = d.fDtrControl;
    dcb.fDsrSensitivity = d.fDsrSensitivity;
    dcb.fTXContinueOnXoff = d.fTXContinueOnXoff;
    dcb.fOutX = d.fOutX;
    dcb.fInX = d.fInX;
    dcb.fErrorChar = d.fErrorChar;
    dcb.fNull = d.fNull;
    dcb.fRtsControl = d.fRtsControl;
    dcb.fAbortOnError = d.fAbortOnError;
    dcb.XonLim = d.XonLim;
    dcb.XoffLim = d.XoffLim;
    dcb.ByteSize = d.ByteSize;
    dcb.Parity = d.Parity;
    dcb.StopBits = d.StopBits;
    dcb.XonChar = d.XonChar;
    dcb.XoffChar = d.XoffChar;
    dcb.ErrorChar = d.ErrorChar;
    dcb.EofChar = d.EofChar;
    dcb.EvtChar = d.EvtChar;
    return dcb;
}

// One overlapped transfer. start(count, overlapped) issues the ReadFile or
// WriteFile through the port's CFileHandle.
template <typename Start>
bool OverlappedTransfer(CFileHandle& file, CKernelHandle& event, const CKernelHandle& stop,
                        OVERLAPPED& overlapped, uint32_t& count, uint32_t timeoutMs, Start start) {
    if (!event.IsEmpty()) event.Reset();
    overlapped = OVERLAPPED{};
    // Without an event of its own the transfer signals the port handle.
    overlapped.hEvent = event.IsEmpty() ? nullptr : event.Get();
    if (start(count, &overlapped)) return true;  // completed at once
    if (file.m_lastError != ERROR_IO_PENDING) return false;

    HANDLE waitFor[2];
    DWORD n = 0;
    if (!stop.IsEmpty()) waitFor[n++] = stop.Get();
    waitFor[n++] = event.IsEmpty() ? file.m_handle : event.Get();
    // Whatever ended the wait, the transfer's own state decides below.
    ::WaitForMultipleObjects(n, waitFor, FALSE, timeoutMs);

    DWORD done = 0;
    if (::GetOverlappedResult(file.m_handle, &overlapped, &done, FALSE)) {
        count = done;
        return true;
    }
    DWORD error = ::GetLastError();
    if (error == ERROR_IO_INCOMPLETE) {
        // Abandoned by the stop event or the caller's wait. The kernel would
        // still write into the caller's buffer and into this record, which the
        // next transfer reuses: cancel it and wait until the driver lets go.
        ::CancelIoEx(file.m_handle, &overlapped);
        if (::GetOverlappedResult(file.m_handle, &overlapped, &done, TRUE)) {
            count = done;  // it finished before the cancel reached it: keep what moved
            return true;
        }
        const DWORD ended = ::GetLastError();
        if (ended == ERROR_TIMEOUT) {
            count = done;
            return true;
        }
        error = ERROR_IO_INCOMPLETE;
    } else if (error == ERROR_TIMEOUT) {
        // Some drivers (and Wine) end a timed-out transfer this way instead of
        // with success and a short count; it is a time-out all the same.
        count = done;
        return true;
    }
    file.m_lastError = error;
    count = 0;
    return false;
}
}  // namespace

bool CSerialPort::OpenDevice() {
    char path[64];
    Win32DevicePath(m_portName.Text(), path, sizeof path);
    const HANDLE handle = ::CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                       FILE_FLAG_OVERLAPPED, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        m_file.m_lastError = ::GetLastError();
        return false;
    }
    m_file.m_handle = handle;
    // Windows drivers have no low-latency request; the timer is the adapter's setting.
    m_adapter = AdapterLatency{};
    m_adapter.timerMs = ReadAdapterLatencyMs(m_portName.Text());
    // Driver queues the size of the longest frame. A failure records no error.
    return ::SetupComm(handle, MAX_FRAME_LENGTH, MAX_FRAME_LENGTH) != FALSE;
}

bool CSerialPort::ApplyDeviceControlBlock(const DeviceControlBlock& block) {
    DCB dcb = ToWin32(block);
    if (!::SetCommState(m_file.m_handle, &dcb)) {
        m_file.m_lastError = ::GetLastError();
        return false;
    }
    return true;
}

bool CSerialPort::ApplyDeviceTimeouts() {
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = m_timeouts.ReadIntervalTimeout;
    timeouts.ReadTotalTimeoutMultiplier = m_timeouts.ReadTotalTimeoutMultiplier;
    timeouts.ReadTotalTimeoutConstant = m_timeouts.ReadTotalTimeoutConstant;
    timeouts.WriteTotalTimeoutMultiplier = m_timeouts.WriteTotalTimeoutMultiplier;
    timeouts.WriteTotalTimeoutConstant = m_timeouts.WriteTotalTimeoutConstant;
    if (!::SetCommTimeouts(m_file.m_handle, &timeouts)) {
        m_file.m_lastError = ::GetLastError();
        return false;
    }
    return true;
}

bool CSerialPort::EscapeCommFunction(uint32_t function) {
    if (!m_file.IsValid()) return false;
    if (::EscapeCommFunction(m_file.m_handle, function)) return true;
    const DWORD error = ::GetLastError();
    // A port without modem lines (Wine on a pseudo-terminal) refuses to raise
    // or lower them with ERROR_NOT_SUPPORTED; such lines count as done.
    const bool lineFunction = function == SETRTS || function == CLRRTS || function == SETDTR || function == CLRDTR;
    if (lineFunction && error == ERROR_NOT_SUPPORTED) return true;
    m_file.m_lastError = error;
    return false;
}

bool CSerialPort::Read(uint8_t* buffer, uint32_t& count, uint32_t timeoutMs) {
    if (!m_file.IsValid()) return false;
    return OverlappedTransfer(m_file, m_readEvent, m_stopEvent, m_readOverlapped, count, timeoutMs,
                              [&](uint32_t& n, OVERLAPPED* overlapped) { return m_file.Read(buffer, n, overlapped); });
}

bool CSerialPort::Write(const uint8_t* buffer, uint32_t& count, uint32_t timeoutMs) {
    if (!m_file.IsValid()) return false;
    return OverlappedTransfer(m_file, m_writeEvent, m_stopEvent, m_writeOverlapped, count, timeoutMs,
                              [&](uint32_t& n, OVERLAPPED* overlapped) { return m_file.Write(buffer, n, overlapped); });
}
