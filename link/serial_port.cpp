#include "link/serial_port.h"

#include <cstdio>
#include <cstring>

DeviceControlBlock BuildDeviceControlBlock(uint32_t baudRate, uint8_t dataBits, uint8_t stopBits,
                                           uint8_t parity, uint8_t flowControl) {
    DeviceControlBlock dcb;
    dcb.BaudRate = baudRate;
    dcb.fParity = parity != 0 ? 1 : 0;
    dcb.fOutxCtsFlow = flowControl == FLOW_RTS_CTS ? 1 : 0;
    dcb.fOutX = dcb.fInX = flowControl == FLOW_XON_XOFF ? 1 : 0;
    dcb.fRtsControl = flowControl == FLOW_RTS_CTS ? 2 : 0;
    dcb.ByteSize = dataBits;
    dcb.Parity = parity;
    dcb.StopBits = stopBits;
    return dcb;
}

namespace {
// "COMn" with n a decimal number from 1 to 255, or 0 when the name is not of that form.
int ComPortNumber(const char* name) {
    if (name == nullptr || std::strncmp(name, "COM", 3) != 0) return 0;
    int n = 0;
    const char* p = name + 3;
    if (*p < '1' || *p > '9') return 0;
    for (; *p != '\0'; ++p) {
        if (*p < '0' || *p > '9') return 0;
        n = n * 10 + (*p - '0');
        if (n > 255) return 0;
    }
    return n;
}
}  // namespace

const char* PosixDevicePath(const char* portName, char* out, int outCapacity) {
    if (outCapacity <= 0) return nullptr;
    const int n = ComPortNumber(portName);
    if (n >= 1 && n <= 4)
        std::snprintf(out, static_cast<size_t>(outCapacity), "/dev/ttyS%d", n - 1);
    else
        std::snprintf(out, static_cast<size_t>(outCapacity), "%s", portName ? portName : "");
    return out;
}

const char* Win32DevicePath(const char* portName, char* out, int outCapacity) {
    if (outCapacity <= 0) return nullptr;
    if (ComPortNumber(portName) != 0)
        std::snprintf(out, static_cast<size_t>(outCapacity), "\\\\.\\%s", portName);
    else
        std::snprintf(out, static_cast<size_t>(outCapacity), "%s", portName ? portName : "");
    return out;
}

CSerialPort::CSerialPort() { m_portName.Assign("COM1"); }

bool CSerialPort::Open() {
    m_bytesReceived = 0;
    m_readTimeouts = 0;
    if (!m_stopEvent.CreateEvent(true)) return false;
    if (!m_readEvent.CreateEvent(true)) return false;
    if (!m_writeEvent.CreateEvent(true)) return false;
    if (m_file.IsValid()) m_file.Close();
    if (!OpenDevice()) return false;
    return Configure();
}

bool CSerialPort::Close() {
    if (m_file.IsValid()) m_file.Close();
    m_readEvent.Close();
    m_writeEvent.Close();
    m_stopEvent.Close();
    return true;
}

bool CSerialPort::Configure() {
    if (!m_file.IsValid()) return false;
    if (!ApplyState()) return false;
    return ApplyDeviceTimeouts();
}

bool CSerialPort::ApplyState() {
    if (!m_file.IsValid()) return false;
    return ApplyDeviceControlBlock(
        BuildDeviceControlBlock(m_baudRate, m_dataBits, m_stopBits, m_parity, m_flowControl));
}

bool CSerialPort::ApplyTimeouts() {
    if (!m_file.IsValid()) return false;
    return ApplyDeviceTimeouts();
}

void CSerialPort::SignalStop() {
    if (!m_stopEvent.IsEmpty()) m_stopEvent.Signal();
}

bool CSerialPort::SendFrame() {
    if (!m_file.IsValid()) return false;
    const size_t length = BuildFrame(m_request, m_requestLength, m_frame, sizeof m_frame);
    if (length == 0) return false;
    uint32_t count = static_cast<uint32_t>(length);
    const bool ok = Write(m_frame, count, kInfinite) && count == length;
    if (IFrameTrace* trace = m_trace.load(std::memory_order_acquire))
        trace->OnFrame(IFrameTrace::Direction::Sent, m_frame, count);
    return ok;
}

bool CSerialPort::ReceiveFrame() {
    if (!m_file.IsValid()) return false;
    IFrameTrace* trace = m_trace.load(std::memory_order_acquire);
    m_traceLength = 0;
    FrameDecoder decoder(m_reply);
    for (;;) {
        uint8_t byte = 0;
        uint32_t count = 1;
        const bool read = Read(&byte, count, kInfinite);
        if (read && count == 0) m_readTimeouts.fetch_add(1, std::memory_order_relaxed);
        if (read && count > 0) m_bytesReceived.fetch_add(count, std::memory_order_relaxed);
        if (!read || count == 0) {
            if (trace && m_traceLength > 0)
                trace->OnFrame(IFrameTrace::Direction::Received, m_traceBytes, m_traceLength);
            return false;
        }
        const bool hunting = decoder.Hunting();
        const FrameDecoder::Status status = decoder.Feed(byte);
        if (trace && (!hunting || byte == FRAME_START) && m_traceLength < sizeof m_traceBytes)
            m_traceBytes[m_traceLength++] = byte;
        if (status == FrameDecoder::Status::NeedMore) continue;
        if (trace) trace->OnFrame(IFrameTrace::Direction::Received, m_traceBytes, m_traceLength);
        if (status != FrameDecoder::Status::Frame) return false;
        m_replyLength = decoder.MessageLength();
        return true;
    }
}
