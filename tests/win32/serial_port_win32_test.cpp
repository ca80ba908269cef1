// The Win32 serial channel on a real COM port with a simulated device behind
// it (kavro-sim on a pseudo-terminal, mapped into Wine as KAVRO_TEST_COM).
// Where Wine's serial driver differs from Windows, the tests assert what each
// does, so a change in Wine shows up here rather than in the product.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "link/device_link.h"
#include "link/platform.h"
#include "link/serial_port.h"
#include "win32_test_support.h"

using win32test::Clock;
using win32test::RunningUnderWine;
using win32test::SecondsSince;

namespace {
using Bytes = std::vector<uint8_t>;

class SimulatedDevice : public ::testing::Test {
protected:
    void SetUp() override {
        m_com = win32test::Environment("KAVRO_TEST_COM");
        if (m_com.empty())
            GTEST_SKIP() << "KAVRO_TEST_COM is not set: no simulated device on a COM port "
                            "(scripts/test-windows.sh starts kavro-sim and sets it, e.g. COM5)";
        Prepare(port);
    }
    void TearDown() override { port.Close(); }

    void Prepare(CSerialPort& p) const {
        p.m_portName.Assign(m_com.c_str());
        p.m_baudRate = 19200;
        p.m_timeouts = CommTimeouts{0, 0, 1000, 0, 2000};
    }

    // Opens the port and throws away whatever an earlier test left on the line.
    void OpenClean() {
        ASSERT_TRUE(port.Open()) << port.m_file.m_lastError << " " << SystemErrorText(port.m_file.m_lastError);
        const CommTimeouts kept = port.m_timeouts;
        port.m_timeouts.ReadTotalTimeoutConstant = 100;
        ASSERT_TRUE(port.ApplyTimeouts());
        uint8_t byte = 0;
        uint32_t count = 1;
        while (port.Read(&byte, count, kInfinite) && count == 1) {
        }
        port.m_timeouts = kept;
        ASSERT_TRUE(port.ApplyTimeouts());
    }

    // Sends a request and receives frames until the one that answers it (the
    // device may send others first); false when none comes.
    bool Exchange(const Bytes& request) {
        std::copy(request.begin(), request.end(), port.m_request);
        port.m_requestLength = static_cast<uint32_t>(request.size());
        if (!port.SendFrame()) return false;
        for (int i = 0; i < 3; ++i) {
            if (!port.ReceiveFrame()) return false;
            if (port.m_reply[0] == REPLY_TAG && port.m_reply[1] == request[1]) return true;
        }
        return false;
    }

    Bytes Reply() const { return Bytes(port.m_reply, port.m_reply + port.m_replyLength); }

    std::string m_com;
    CSerialPort port;
};

const Bytes kHardwareInfoRequest = {REQUEST_TAG, CMD_READ_HWINFO, 0x00, 0x00};
// What the simulator's default device reports: hardware 2.00, product 258.
const Bytes kHardwareInfoReply = {REPLY_TAG, CMD_READ_HWINFO, 0x00, 0x00, 0, 0, 0, 2, 0, 0, 0, 1, 2};

Bytes BlockRequest(uint32_t offset, const uint8_t* data, uint8_t n) {
    Bytes request(7u + n);
    request[0] = REQUEST_TAG;
    request[1] = CMD_WRITE_BLOCK;
    request[4] = static_cast<uint8_t>(offset & 0xFF);
    request[5] = static_cast<uint8_t>(offset >> 8);
    request[6] = n;
    std::copy(data, data + n, request.begin() + 7);
    return request;
}

// Starts an overlapped write of its own on the port handle, outside the
// channel (whose stop event may be set), and waits for it.
bool RawWrite(HANDLE port, const Bytes& frame) {
    OVERLAPPED overlapped{};
    overlapped.hEvent = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    DWORD done = 0;
    BOOL ok = ::WriteFile(port, frame.data(), static_cast<DWORD>(frame.size()), &done, &overlapped);
    if (!ok && ::GetLastError() == ERROR_IO_PENDING) ok = ::GetOverlappedResult(port, &overlapped, &done, TRUE);
    ::CloseHandle(overlapped.hEvent);
    return ok && done == frame.size();
}

Bytes Framed(const Bytes& message) {
    uint8_t frame[MAX_FRAME_LENGTH];
    const size_t n = BuildFrame(message.data(), static_cast<uint32_t>(message.size()), frame, sizeof frame);
    return Bytes(frame, frame + n);
}
}  // namespace

TEST_F(SimulatedDevice, BareComNameOpensAndExchangesAFrame) {
    ASSERT_NO_FATAL_FAILURE(OpenClean());
    ASSERT_TRUE(Exchange(kHardwareInfoRequest)) << "no answer from the device on " << m_com;
    EXPECT_EQ(Reply(), kHardwareInfoReply);
}

TEST_F(SimulatedDevice, DevicePathFormOpensToo) {
    const std::string path = "\\\\.\\" + m_com;
    port.m_portName.Assign(path.c_str());
    ASSERT_NO_FATAL_FAILURE(OpenClean());
    ASSERT_TRUE(Exchange(kHardwareInfoRequest));
    EXPECT_EQ(Reply(), kHardwareInfoReply);
}

TEST_F(SimulatedDevice, LongBlockFrameArrivesIntact) {
    ASSERT_NO_FATAL_FAILURE(OpenClean());
    // 128 bytes below 0x20: every one goes out escaped, a frame of 270 bytes.
    uint8_t data[128];
    for (int i = 0; i < 128; ++i) data[i] = static_cast<uint8_t>(i % 32);
    ASSERT_TRUE(Exchange(BlockRequest(0, data, 128)));
    ASSERT_GE(port.m_replyLength, 4u);
    EXPECT_EQ(port.m_reply[3], 0) << "the device refused the block (status 2: its length or layout was wrong)";
}

TEST_F(SimulatedDevice, DownloadedBytesAreStoredByteExact) {
    const std::string saved = win32test::Environment("KAVRO_TEST_SAVED_IMAGE");
    if (saved.empty()) GTEST_SKIP() << "KAVRO_TEST_SAVED_IMAGE is not set: the simulator saves no image";
    ::DeleteFileA(saved.c_str());
    ASSERT_NO_FATAL_FAILURE(OpenClean());
    Bytes image(300);
    for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<uint8_t>(i * 7 + 3);
    ASSERT_TRUE(Exchange({REQUEST_TAG, CMD_BEGIN_DOWNLOAD, 0, 0}));
    for (uint32_t offset = 0; offset < image.size(); offset += 128) {
        const uint8_t n = static_cast<uint8_t>(std::min<size_t>(128, image.size() - offset));
        ASSERT_TRUE(Exchange(BlockRequest(offset, image.data() + offset, n))) << offset;
        ASSERT_EQ(port.m_reply[3], 0) << offset;
    }
    ASSERT_TRUE(Exchange({REQUEST_TAG, CMD_END_DOWNLOAD, 0, 0}));

    const HANDLE file = ::CreateFileA(saved.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << saved << ": " << SystemErrorText(::GetLastError());
    Bytes stored(1024);
    DWORD n = 0;
    const BOOL ok = ::ReadFile(file, stored.data(), static_cast<DWORD>(stored.size()), &n, nullptr);
    ::CloseHandle(file);
    ASSERT_TRUE(ok);
    stored.resize(n);
    EXPECT_EQ(stored, image);
}

TEST_F(SimulatedDevice, LineSettingsReachTheDriver) {
    ASSERT_NO_FATAL_FAILURE(OpenClean());
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    ASSERT_TRUE(::GetCommState(port.m_file.m_handle, &dcb));
    EXPECT_EQ(dcb.BaudRate, 19200u);
    EXPECT_EQ(dcb.ByteSize, 8);
    EXPECT_EQ(dcb.Parity, NOPARITY);
    EXPECT_EQ(dcb.StopBits, ONESTOPBIT);
    EXPECT_EQ(dcb.fOutX, 0u);

    // The wake-up changes only the speed and applies the state again.
    port.m_baudRate = 1200;
    port.m_flowControl = FLOW_XON_XOFF;
    ASSERT_TRUE(port.ApplyState());
    ASSERT_TRUE(::GetCommState(port.m_file.m_handle, &dcb));
    EXPECT_EQ(dcb.BaudRate, 1200u);
    EXPECT_EQ(dcb.fOutX, 1u);
    EXPECT_EQ(dcb.fInX, 1u);

    COMMTIMEOUTS timeouts{};
    port.m_timeouts.ReadTotalTimeoutConstant = 2000;
    ASSERT_TRUE(port.ApplyTimeouts());
    ASSERT_TRUE(::GetCommTimeouts(port.m_file.m_handle, &timeouts));
    EXPECT_EQ(timeouts.ReadTotalTimeoutConstant, 2000u);
    EXPECT_EQ(timeouts.WriteTotalTimeoutConstant, 2000u);
}

TEST_F(SimulatedDevice, SilentLineReadTimesOutAsSuccessWithNoByte) {
    port.m_timeouts.ReadTotalTimeoutConstant = 500;
    ASSERT_NO_FATAL_FAILURE(OpenClean());
    uint8_t byte = 0xEE;
    uint32_t count = 1;
    const auto start = Clock::now();
    EXPECT_TRUE(port.Read(&byte, count, kInfinite)) << port.m_file.m_lastError;
    const double elapsed = SecondsSince(start);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(byte, 0xEE);
    EXPECT_GE(elapsed, 0.4);
    EXPECT_LT(elapsed, 3.0);
    // A silent line makes the frame codec give up after one read time-out.
    EXPECT_FALSE(port.ReceiveFrame());
}

// Wine ends a timed-out overlapped read with FALSE and ERROR_TIMEOUT where
// Windows returns TRUE with 0 bytes; the channel counts both as a time-out.
TEST_F(SimulatedDevice, TimedOutOverlappedReadAsTheDriverReportsIt) {
    port.m_timeouts.ReadTotalTimeoutConstant = 200;
    ASSERT_NO_FATAL_FAILURE(OpenClean());
    OVERLAPPED overlapped{};
    overlapped.hEvent = port.m_readEvent.Get();
    port.m_readEvent.Reset();
    uint8_t byte = 0;
    DWORD n = 0;
    if (!::ReadFile(port.m_file.m_handle, &byte, 1, &n, &overlapped)) {
        ASSERT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_IO_PENDING));
        ASSERT_EQ(::WaitForSingleObject(overlapped.hEvent, 5000), WAIT_OBJECT_0);
        const BOOL ok = ::GetOverlappedResult(port.m_file.m_handle, &overlapped, &n, FALSE);
        const DWORD error = ::GetLastError();
        if (RunningUnderWine()) {
            EXPECT_FALSE(ok) << "Wine now reports a timed-out read as Windows does";
            EXPECT_EQ(error, static_cast<DWORD>(ERROR_TIMEOUT));
        } else {
            EXPECT_TRUE(ok) << error;
        }
    }
    EXPECT_EQ(n, 0u);
}

TEST_F(SimulatedDevice, StopEndsAWaitingReadPromptlyAndStaysInForce) {
    port.m_timeouts.ReadTotalTimeoutConstant = 20000;
    ASSERT_NO_FATAL_FAILURE(OpenClean());
    std::thread stopper([&] {
        ::Sleep(200);
        port.SignalStop();
    });
    uint8_t byte = 0;
    uint32_t count = 1;
    const auto start = Clock::now();
    const bool ok = port.Read(&byte, count, kInfinite);
    const double elapsed = SecondsSince(start);
    stopper.join();
    EXPECT_FALSE(ok);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(port.m_file.m_lastError, kErrorIoIncomplete);
    EXPECT_GE(elapsed, 0.15);
    EXPECT_LT(elapsed, 3.0);

    // Until Close() every transfer that cannot complete at once fails at once.
    count = 1;
    const auto again = Clock::now();
    EXPECT_FALSE(port.Read(&byte, count, kInfinite));
    EXPECT_EQ(port.m_file.m_lastError, kErrorIoIncomplete);
    EXPECT_LT(SecondsSince(again), 1.0);
    EXPECT_FALSE(port.ReceiveFrame());
    EXPECT_TRUE(port.Close());
    EXPECT_FALSE(port.IsOpen());
}

// A read abandoned by the stop event is over when Read() returns: a reply that
// arrives later neither lands in the caller's buffer (often a local variable
// long gone) nor loses its first byte to the abandoned transfer.
TEST_F(SimulatedDevice, AbandonedReadTouchesNothingAfterwards) {
    port.m_timeouts.ReadTotalTimeoutConstant = 20000;
    ASSERT_NO_FATAL_FAILURE(OpenClean());
    port.SignalStop();
    uint8_t buffer[4] = {0xA5, 0xA5, 0xA5, 0xA5};
    uint32_t count = 1;
    ASSERT_FALSE(port.Read(buffer, count, kInfinite));
    ASSERT_EQ(port.m_file.m_lastError, kErrorIoIncomplete);

    ASSERT_TRUE(RawWrite(port.m_file.m_handle, Framed(kHardwareInfoRequest)));
    ::Sleep(500);  // the device answers within milliseconds
    EXPECT_EQ(Bytes(buffer, buffer + 4), Bytes(4, 0xA5)) << "the abandoned read wrote into the buffer";

    ASSERT_TRUE(port.Close());
    if (!RunningUnderWine()) return;  // Windows discards the driver's queue on close
    // Under Wine the reply waits in the pseudo-terminal, whole.
    port.m_timeouts.ReadTotalTimeoutConstant = 1000;
    ASSERT_TRUE(port.Open());
    ASSERT_TRUE(port.ReceiveFrame()) << "the reply lost its start to the abandoned read";
    EXPECT_EQ(Reply(), kHardwareInfoReply);
}

TEST_F(SimulatedDevice, ModemLinesCountAsRaisedOnAPortWithout) {
    ASSERT_NO_FATAL_FAILURE(OpenClean());
    for (const uint32_t function : {SETRTS, SETDTR, CLRRTS, CLRDTR})
        EXPECT_TRUE(port.EscapeCommFunction(function)) << function << ": " << port.m_file.m_lastError;
    const BOOL raw = ::EscapeCommFunction(port.m_file.m_handle, SETRTS);
    const DWORD error = ::GetLastError();
    if (RunningUnderWine()) {
        // Wine's driver has no modem lines on a pseudo-terminal.
        EXPECT_FALSE(raw) << "Wine now raises RTS on a pseudo-terminal";
        EXPECT_EQ(error, static_cast<DWORD>(ERROR_NOT_SUPPORTED));
    } else {
        EXPECT_TRUE(raw) << error;
    }
    // A code that is no line function at all stays an error.
    EXPECT_FALSE(port.EscapeCommFunction(99));
    EXPECT_NE(port.m_file.m_lastError, 0u);
}

// Windows refuses a second open of a COM port (share mode 0); Wine lets it
// through, so under Wine the channel cannot tell that another program holds
// the port.
TEST_F(SimulatedDevice, SecondOpenOfTheSamePort) {
    ASSERT_NO_FATAL_FAILURE(OpenClean());
    CSerialPort second;
    Prepare(second);
    const bool opened = second.Open();
    const uint32_t error = second.m_file.m_lastError;
    second.Close();
    if (RunningUnderWine()) {
        EXPECT_TRUE(opened) << "Wine now refuses a second open: " << error;
    } else {
        EXPECT_FALSE(opened);
        EXPECT_TRUE(IsBusyError(error)) << error << " " << SystemErrorText(error);
    }
    // The first opener is unaffected either way.
    ASSERT_TRUE(Exchange(kHardwareInfoRequest));
    EXPECT_EQ(Reply(), kHardwareInfoReply);
}

TEST(Win32SerialPort, MissingPortFailsWithTheSystemError) {
    CSerialPort port;
    port.m_portName.Assign("COM219");
    EXPECT_FALSE(port.Open());
    EXPECT_TRUE(IsMissingError(port.m_file.m_lastError)) << port.m_file.m_lastError;
    EXPECT_FALSE(port.IsOpen());
    EXPECT_TRUE(port.Close());
    EXPECT_TRUE(port.m_stopEvent.IsEmpty());
    EXPECT_TRUE(port.m_readEvent.IsEmpty());
    EXPECT_TRUE(port.m_writeEvent.IsEmpty());
}

TEST(Win32SerialPort, ClosedPortRefusesEverything) {
    CSerialPort port;
    uint8_t byte = 0;
    uint32_t count = 1;
    EXPECT_FALSE(port.Read(&byte, count, 0));
    EXPECT_EQ(count, 1u) << "count is left as it was";
    EXPECT_FALSE(port.Write(&byte, count, 0));
    EXPECT_FALSE(port.Configure());
    EXPECT_FALSE(port.ApplyState());
    EXPECT_FALSE(port.ApplyTimeouts());
    EXPECT_FALSE(port.EscapeCommFunction(SETRTS));
    EXPECT_FALSE(port.SendFrame());
    EXPECT_FALSE(port.ReceiveFrame());
    EXPECT_EQ(port.m_file.m_lastError, 0u);
    EXPECT_TRUE(port.Close());
    EXPECT_TRUE(port.Close());
}
