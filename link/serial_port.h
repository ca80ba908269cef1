#pragma once
// The one serial channel of the link.
//
// Threads: Open() and Close() run on the window thread while no worker exists.
// Transfers, ApplyState(), ApplyTimeouts(), EscapeCommFunction(), SendFrame()
// and ReceiveFrame() run on the thread that owns the open port (the link's
// worker), one at a time. The only cross-thread call is SignalStop(), which
// makes a waiting transfer return false with kErrorIoIncomplete; the stop stays
// in force until Close().
#include <atomic>
#include <cstdint>

#include "link/adapter_latency.h"
#include "link/fixed_string.h"
#include "link/frame_codec.h"
#include "link/handles.h"

// Port timeouts in milliseconds, with the meaning of the Windows COMMTIMEOUTS record.
struct CommTimeouts {
    uint32_t ReadIntervalTimeout = 0;
    uint32_t ReadTotalTimeoutMultiplier = 0;
    uint32_t ReadTotalTimeoutConstant = 4000;
    uint32_t WriteTotalTimeoutMultiplier = 0;
    uint32_t WriteTotalTimeoutConstant = 0;
};

// The device control block the channel applies, built afresh from the settings.
struct DeviceControlBlock {
    uint32_t DCBlength = 28;
    uint32_t BaudRate = 0;
    uint8_t fBinary = 1;
    uint8_t fParity = 0;
    uint8_t fOutxCtsFlow = 0;
    uint8_t fOutxDsrFlow = 0;
    uint8_t fDtrControl = 0;  // DTR_CONTROL_DISABLE
    uint8_t fDsrSensitivity = 0;
    uint8_t fTXContinueOnXoff = 0;
    uint8_t fOutX = 0;
    uint8_t fInX = 0;
    uint8_t fErrorChar = 0;
    uint8_t fNull = 0;
    uint8_t fRtsControl = 0;  // RTS_CONTROL_DISABLE, or 2 = RTS_CONTROL_HANDSHAKE
    uint8_t fAbortOnError = 0;
    uint16_t XonLim = 128;
    uint16_t XoffLim = 128;
    uint8_t ByteSize = 8;
    uint8_t Parity = 0;
    uint8_t StopBits = 0;
    char XonChar = 17;
    char XoffChar = 19;
    char ErrorChar = 0;
    char EofChar = 0;
    char EvtChar = 0;

    bool operator==(const DeviceControlBlock&) const = default;
};

inline constexpr uint8_t FLOW_NONE = 0;
inline constexpr uint8_t FLOW_RTS_CTS = 1;
inline constexpr uint8_t FLOW_XON_XOFF = 2;  // any other value acts as FLOW_NONE

DeviceControlBlock BuildDeviceControlBlock(uint32_t baudRate, uint8_t dataBits, uint8_t stopBits,
                                           uint8_t parity, uint8_t flowControl);

// EscapeCommFunction codes.
inline constexpr uint32_t SETRTS = 3;
inline constexpr uint32_t CLRRTS = 4;
inline constexpr uint32_t SETDTR = 5;
inline constexpr uint32_t CLRDTR = 6;

// The system device that a port name stands for. POSIX: "COM1".."COM4" are
// /dev/ttyS0../dev/ttyS3, anything else is a path used as given. Win32: a bare
// "COMn" becomes "\\.\COMn" so that COM10 and above open too.
const char* PosixDevicePath(const char* portName, char* out, int outCapacity);
const char* Win32DevicePath(const char* portName, char* out, int outCapacity);

// Receives every frame that goes over the line, for tracing. Called on the
// worker thread; must not block.
class IFrameTrace {
public:
    enum class Direction { Sent, Received };
    virtual void OnFrame(Direction direction, const uint8_t* bytes, uint32_t length) = 0;

protected:
    ~IFrameTrace() = default;
};

class CSerialPort {
public:
    CSerialPort();
    CSerialPort(const CSerialPort&) = delete;
    CSerialPort& operator=(const CSerialPort&) = delete;
    // The port handle is closed by Close(), never by destruction; the events are.
    ~CSerialPort() = default;

    [[nodiscard]] bool Open();
    bool Close();
    [[nodiscard]] bool Configure();
    [[nodiscard]] bool ApplyState();
    [[nodiscard]] bool ApplyTimeouts();
    // One transfer bounded by the port timeouts and by timeoutMs (kInfinite:
    // none). A read that times out is true with count 0; a write that times out
    // is true with a short count. The stop event ends a waiting transfer: false
    // with kErrorIoIncomplete. A hang-up: false with the system error.
    [[nodiscard]] bool Read(uint8_t* buffer, uint32_t& count, uint32_t timeoutMs);
    [[nodiscard]] bool Write(const uint8_t* buffer, uint32_t& count, uint32_t timeoutMs);
    // Raises or lowers a modem line; lines a port does not have count as done.
    [[nodiscard]] bool EscapeCommFunction(uint32_t function);
    // Signals the stop event (any thread).
    void SignalStop();
    [[nodiscard]] bool IsOpen() const { return m_file.IsValid(); }

    // Frames m_request[0..m_requestLength) and writes the frame.
    [[nodiscard]] bool SendFrame();
    // Reads one frame into m_reply; sets m_replyLength on success only.
    [[nodiscard]] bool ReceiveFrame();

    // What the line brought since Open(), for front ends that judge a silent
    // line: bytes received, and reads that ended with nothing (time-outs).
    // Written by the worker, read by any thread.
    std::atomic<uint64_t> m_bytesReceived{0};
    std::atomic<uint32_t> m_readTimeouts{0};

    // Trace hook; null (the default) costs one load per frame.
    void SetTrace(IFrameTrace* trace) { m_trace.store(trace, std::memory_order_release); }

    CFileHandle m_file;
    // The adapter behind the open port: its latency timer and the driver's
    // answer to the low-latency request. Set by Open(); a refusal (a
    // pseudo-terminal, a built-in UART) does not fail the open.
    AdapterLatency m_adapter;
    CFixedString32 m_portName;
    uint32_t m_baudRate = 9600;
    uint8_t m_dataBits = 8;
    uint8_t m_stopBits = 0;
    uint8_t m_parity = 0;
    uint8_t m_flowControl = 0;
    CommTimeouts m_timeouts;
    CKernelHandle m_stopEvent;
    CKernelHandle m_readEvent;
    CKernelHandle m_writeEvent;
    NativeOverlapped m_readOverlapped{};
    NativeOverlapped m_writeOverlapped{};
    uint8_t m_reply[MAX_MESSAGE_LENGTH]{};
    uint32_t m_replyLength = 0;
    uint8_t m_request[MAX_MESSAGE_LENGTH]{};
    uint32_t m_requestLength = 0;
    uint8_t m_frame[MAX_FRAME_LENGTH]{};

private:
    // Backend part of Open(): open the device and size its queues.
    [[nodiscard]] bool OpenDevice();
    [[nodiscard]] bool ApplyDeviceControlBlock(const DeviceControlBlock& dcb);
    [[nodiscard]] bool ApplyDeviceTimeouts();

    std::atomic<IFrameTrace*> m_trace{nullptr};
    // Raw bytes of the frame being received, kept only while tracing.
    uint8_t m_traceBytes[2 * MAX_FRAME_LENGTH]{};
    uint32_t m_traceLength = 0;
};
