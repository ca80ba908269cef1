// The serial channel on pseudo-terminals: transfers, time-outs, the stop
// event, exclusive use and hang-ups.
#include <gtest/gtest.h>

#include <sys/ioctl.h>

#include <cerrno>
#include <chrono>
#include <thread>

#include "link/serial_port.h"
#include "pty_pair.h"
#include "terminal_recorder.h"

namespace {
using Clock = std::chrono::steady_clock;

class SerialPortTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(pty.Ok());
        port.m_portName.Assign(pty.Path().c_str());
        port.m_baudRate = 19200;
        port.m_timeouts = CommTimeouts{0, 0, 300, 0, 1000};
    }
    void TearDown() override { port.Close(); }

    PtyPair pty;
    CSerialPort port;
};
}  // namespace

TEST_F(SerialPortTest, SendFrameWritesTheWorkedRequest) {
    ASSERT_TRUE(port.Open()) << port.m_file.m_lastError;
    const uint8_t request[] = {0x80, 0x04, 0x00, 0x00};
    std::copy(std::begin(request), std::end(request), port.m_request);
    port.m_requestLength = 4;
    ASSERT_TRUE(port.SendFrame());
    EXPECT_EQ(pty.Drain(), (std::vector<uint8_t>{0x05, 0x80, 0x09, 0x24, 0x09, 0x20, 0x09, 0x20, 0x7C, 0x0A}));
}

TEST_F(SerialPortTest, ReceiveFrameDecodesAReplyAfterJunk) {
    ASSERT_TRUE(port.Open());
    pty.Send({0x11, 0x22, 0x05, 0xC0, 0x09, 0x24, 0x09, 0x20, 0x09, 0x20, 0x3C, 0x0A});
    ASSERT_TRUE(port.ReceiveFrame());
    EXPECT_EQ(port.m_replyLength, 4u);
    EXPECT_EQ(port.m_reply[0], 0xC0);
    EXPECT_EQ(port.m_reply[1], 0x04);
    EXPECT_EQ(port.m_reply[4], 0x3C);
    // Junk counts as something on the line; no read ran out.
    EXPECT_EQ(port.m_bytesReceived.load(), 12u);
    EXPECT_EQ(port.m_readTimeouts.load(), 0u);
}

TEST_F(SerialPortTest, FailedReceiveKeepsTheEarlierLength) {
    ASSERT_TRUE(port.Open());
    port.m_replyLength = 77;
    pty.Send({0x05, 0xC0, 0x41, 0x0A});  // bad checksum
    EXPECT_FALSE(port.ReceiveFrame());
    EXPECT_EQ(port.m_replyLength, 77u);
    const auto start = Clock::now();
    EXPECT_FALSE(port.ReceiveFrame()) << "silence must end the hunt after the read time-out";
    EXPECT_LT(SecondsSince(start), 2.0);
    EXPECT_EQ(port.m_replyLength, 77u);
    EXPECT_EQ(port.m_bytesReceived.load(), 4u);
    EXPECT_EQ(port.m_readTimeouts.load(), 1u) << "the silent hunt ended on a time-out";
    // A new open starts both counts afresh.
    ASSERT_TRUE(port.Close());
    ASSERT_TRUE(port.Open());
    EXPECT_EQ(port.m_bytesReceived.load(), 0u);
    EXPECT_EQ(port.m_readTimeouts.load(), 0u);
}

TEST_F(SerialPortTest, ReadWithNothingIncomingTimesOutAsSuccess) {
    ASSERT_TRUE(port.Open());
    uint8_t byte = 0;
    uint32_t count = 1;
    const auto start = Clock::now();
    EXPECT_TRUE(port.Read(&byte, count, kInfinite));
    const double elapsed = SecondsSince(start);
    EXPECT_EQ(count, 0u);
    EXPECT_GE(elapsed, 0.25);
    EXPECT_LT(elapsed, 2.0);
}

TEST_F(SerialPortTest, ByteFromTheOtherEndArrives) {
    ASSERT_TRUE(port.Open());
    pty.Send({0x5A});
    uint8_t byte = 0;
    uint32_t count = 1;
    ASSERT_TRUE(port.Read(&byte, count, kInfinite));
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(byte, 0x5A);
}

TEST_F(SerialPortTest, StopEventEndsAWaitingReadAndStaysSetUntilClose) {
    port.m_timeouts.ReadTotalTimeoutConstant = 6000;
    ASSERT_TRUE(port.Open());
    std::thread stopper([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        port.SignalStop();
    });
    uint8_t byte = 0;
    uint32_t count = 1;
    const auto start = Clock::now();
    const bool ok = port.Read(&byte, count, kInfinite);
    const double elapsed = SecondsSince(start);
    stopper.join();
    EXPECT_FALSE(ok);
    EXPECT_EQ(port.m_file.m_lastError, kErrorIoIncomplete);
    EXPECT_LT(elapsed, 1.0);

    // Every later transfer that cannot complete at once fails at once.
    count = 1;
    const auto again = Clock::now();
    EXPECT_FALSE(port.Read(&byte, count, kInfinite));
    EXPECT_LT(SecondsSince(again), 0.5);
    EXPECT_FALSE(port.ReceiveFrame());

    // Close clears the stop; a reopened port transfers again.
    port.Close();
    ASSERT_TRUE(port.Open());
    pty.Send({0x42});
    count = 1;
    EXPECT_TRUE(port.Read(&byte, count, kInfinite));
    EXPECT_EQ(count, 1u);
}

TEST_F(SerialPortTest, SecondOpenOfAPortInUseFailsWithTheSystemError) {
    ASSERT_TRUE(port.Open());
    CSerialPort other;
    other.m_portName.Assign(pty.Path().c_str());
    other.m_baudRate = 19200;
    EXPECT_FALSE(other.Open());
    EXPECT_EQ(other.m_file.m_lastError, static_cast<uint32_t>(EBUSY));
    EXPECT_FALSE(other.IsOpen());
    other.Close();
    // Once released, the port opens for the other user.
    port.Close();
    EXPECT_TRUE(other.Open());
    other.Close();
}

// The exclusive flag belongs to the terminal, not to a descriptor: a refused
// opener that cleared it would let anyone in during the holder's download.
TEST_F(SerialPortTest, RefusedSecondOpenerLeavesTheHoldersExclusiveUse) {
    ASSERT_TRUE(port.Open());
    int exclusive = 0;
    ASSERT_EQ(::ioctl(port.m_file.m_handle, TIOCGEXCL, &exclusive), 0);
    ASSERT_EQ(exclusive, 1) << "the holder asks for exclusive use";
    CSerialPort other;
    other.m_portName.Assign(pty.Path().c_str());
    EXPECT_FALSE(other.Open());
    other.Close();
    ASSERT_EQ(::ioctl(port.m_file.m_handle, TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 1) << "the refused opener must not clear the holder's flag";
}

TEST_F(SerialPortTest, CloseTwiceAndReopenOnAnOpenObjectAreHarmless) {
    ASSERT_TRUE(port.Open());
    ASSERT_TRUE(port.Open()) << "Open on an object whose handle is valid closes it first";
    EXPECT_TRUE(port.IsOpen());
    port.Close();
    port.Close();
    EXPECT_FALSE(port.IsOpen());
    EXPECT_TRUE(port.m_stopEvent.IsEmpty());
    EXPECT_TRUE(port.m_readEvent.IsEmpty());
    EXPECT_TRUE(port.m_writeEvent.IsEmpty());
}

TEST_F(SerialPortTest, OperationsOnAClosedPortFail) {
    uint8_t byte = 0;
    uint32_t count = 1;
    EXPECT_FALSE(port.Read(&byte, count, kInfinite));
    EXPECT_EQ(count, 1u) << "count is left as it was";
    EXPECT_FALSE(port.Write(&byte, count, kInfinite));
    EXPECT_FALSE(port.Configure());
    EXPECT_FALSE(port.ApplyState());
    EXPECT_FALSE(port.ApplyTimeouts());
    EXPECT_FALSE(port.SendFrame());
    EXPECT_FALSE(port.ReceiveFrame());
    EXPECT_FALSE(port.EscapeCommFunction(SETDTR));
}

TEST_F(SerialPortTest, MissingPortFailsWithTheSystemError) {
    port.m_portName.Assign("/dev/kavro-no-such-port");
    EXPECT_FALSE(port.Open());
    EXPECT_EQ(port.m_file.m_lastError, static_cast<uint32_t>(ENOENT));
}

TEST_F(SerialPortTest, HangUpMakesReadFailInsteadOfTimingOut) {
    port.m_timeouts.ReadTotalTimeoutConstant = 6000;
    ASSERT_TRUE(port.Open());
    std::thread far([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        pty.CloseMaster();
    });
    uint8_t byte = 0;
    uint32_t count = 1;
    const auto start = Clock::now();
    const bool ok = port.Read(&byte, count, kInfinite);
    far.join();
    EXPECT_FALSE(ok) << "a hang-up must not pass for a silent device";
    EXPECT_NE(port.m_file.m_lastError, 0u);
    EXPECT_NE(port.m_file.m_lastError, kErrorIoIncomplete);
    EXPECT_LT(SecondsSince(start), 2.0);
}

TEST_F(SerialPortTest, HangUpMakesWriteFail) {
    ASSERT_TRUE(port.Open());
    pty.CloseMaster();
    port.m_request[0] = 0x80;
    port.m_request[1] = 0x03;
    port.m_requestLength = 2;
    EXPECT_FALSE(port.SendFrame());
}

TEST_F(SerialPortTest, ModemLinesAndSpeedChangesWorkOnAPseudoTerminal) {
    ASSERT_TRUE(port.Open());
    // A pseudo-terminal has no modem lines; raising them is not an error.
    EXPECT_TRUE(port.EscapeCommFunction(SETDTR));
    EXPECT_TRUE(port.EscapeCommFunction(SETRTS));
    for (uint32_t rate : {1200u, 2400u, 4800u, 9600u, 19200u, 38400u, 57600u, 115200u}) {
        port.m_baudRate = rate;
        EXPECT_TRUE(port.ApplyState()) << rate;
    }
    port.m_baudRate = 12345;
    EXPECT_FALSE(port.ApplyState());
    EXPECT_NE(port.m_file.m_lastError, 0u);
}

// A USB adapter's driver is asked to pass replies on at once as the port
// opens, before the line is set; a port that refuses (this pseudo-terminal)
// still opens and works, the refusal kept for the front ends to show.
TEST_F(SerialPortTest, OpenAsksForLowLatencyAndARefusalIsNotFatal) {
    TerminalRecorder recorder;
    ASSERT_TRUE(port.Open()) << port.m_file.m_lastError;
    EXPECT_EQ(recorder.Calls(), (std::vector<std::string>{"low latency", "speed 19200"}));
    EXPECT_EQ(port.m_adapter.lowLatency, LowLatency::Refused);
    EXPECT_NE(port.m_adapter.refusal, 0u);
    EXPECT_EQ(port.m_adapter.timerMs, -1) << "a pseudo-terminal has no latency timer";
    port.m_request[0] = 0x80;
    port.m_request[1] = 0x04;
    port.m_requestLength = 2;
    EXPECT_TRUE(port.SendFrame());
    EXPECT_EQ(AdapterLatencyLine(port.m_adapter), "Adapter latency: not reported by this port");

    port.Close();
    recorder.GrantLowLatency();
    ASSERT_TRUE(port.Open());
    EXPECT_EQ(port.m_adapter.lowLatency, LowLatency::Granted);
    EXPECT_EQ(port.m_adapter.refusal, 0u);
    EXPECT_EQ(AdapterLatencyLine(port.m_adapter), "Adapter latency: low-latency mode on");
}

// A completed write means the bytes have left: a speed change that follows can
// no longer catch the frame's tail.
TEST_F(SerialPortTest, WriteDrainsBeforeTheNextSpeedChange) {
    ASSERT_TRUE(port.Open());
    TerminalRecorder recorder;
    port.m_request[0] = 0x80;
    port.m_request[1] = 0x86;
    port.m_requestLength = 2;
    ASSERT_TRUE(port.SendFrame());
    port.m_baudRate = 1200;
    ASSERT_TRUE(port.ApplyState());
    EXPECT_EQ(recorder.Calls(), (std::vector<std::string>{"write", "drain", "speed 1200"}));
}

// On a slow line the driver still holds bytes after write() returns: Write
// waits for them, a stop cuts the wait, the port's write time-out leaves a
// short count of what went out.
TEST_F(SerialPortTest, WriteWaitsForTheQueueAndStopsOrTimesOutLikeATransfer) {
    port.m_baudRate = 1200;  // 10 queued bytes take about 84 ms
    ASSERT_TRUE(port.Open());
    TerminalRecorder recorder;
    const uint8_t bytes[10] = {};
    recorder.HoldQueue(10, 3);
    uint32_t count = sizeof bytes;
    const auto start = Clock::now();
    ASSERT_TRUE(port.Write(bytes, count, kInfinite));
    EXPECT_EQ(count, 10u);
    EXPECT_GE(recorder.QueueLooks(), 4) << "looked until the queue was empty";
    EXPECT_GE(SecondsSince(start), 0.2) << "three looks, each after the queued bytes' line time";
    EXPECT_EQ(recorder.Calls().back(), "drain");

    port.m_timeouts.WriteTotalTimeoutConstant = 150;
    recorder.HoldQueue(4, 1000000);
    count = sizeof bytes;
    ASSERT_TRUE(port.Write(bytes, count, kInfinite));
    EXPECT_EQ(count, 6u) << "the four bytes still queued at the time-out did not go out";

    port.m_timeouts.WriteTotalTimeoutConstant = 0;
    std::thread stopper([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        port.SignalStop();
    });
    count = sizeof bytes;
    const auto stopStart = Clock::now();
    const bool ok = port.Write(bytes, count, kInfinite);
    stopper.join();
    EXPECT_FALSE(ok);
    EXPECT_EQ(port.m_file.m_lastError, kErrorIoIncomplete);
    EXPECT_LT(SecondsSince(stopStart), 2.0);
    recorder.HoldQueue(0, 0);
}

// A time-out total beyond the clock's range waits (until stopped) instead of
// wrapping into the past and timing out at once.
TEST_F(SerialPortTest, TimeOutTotalsTooLargeForTheClockSaturate) {
    port.m_timeouts = CommTimeouts{0, 0xFFFFFFFFu, 0xFFFFFFFFu, 0, 1000};
    ASSERT_TRUE(port.Open());
    std::thread stopper([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        port.SignalStop();
    });
    std::vector<uint8_t> buffer(4096);
    uint32_t count = 4096;
    const auto start = Clock::now();
    const bool ok = port.Read(buffer.data(), count, kInfinite);
    const double elapsed = SecondsSince(start);
    stopper.join();
    EXPECT_FALSE(ok) << "returned after " << elapsed << " s with " << count << " bytes";
    EXPECT_EQ(port.m_file.m_lastError, kErrorIoIncomplete);
    EXPECT_GE(elapsed, 0.1);
}
