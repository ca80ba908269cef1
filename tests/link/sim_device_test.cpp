// The simulator on a pseudo-terminal, driven through a raw client end: wire
// bytes, image storage and saving, faults as the client sees them, line
// pacing, hang-ups and prompt stops.
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "link/device_link.h"
#include "sim/device_simulator.h"
#include "sim/sim_client.h"
#include "tests/support/test_data.h"

namespace {
using testdata::Pattern;
using testdata::ReadFile;
using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

Bytes Request(uint8_t code) { return {REQUEST_TAG, code, 0x00, 0x00}; }

Bytes Block(uint16_t offset, const Bytes& data, uint8_t code = CMD_WRITE_BLOCK) {
    Bytes m = {REQUEST_TAG, code, 0x00, 0x00, static_cast<uint8_t>(offset), static_cast<uint8_t>(offset >> 8),
               static_cast<uint8_t>(data.size())};
    m.insert(m.end(), data.begin(), data.end());
    return m;
}

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

class SimOnPty : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(sim.CreatePty(error)) << error;
        ASSERT_TRUE(sim.Start());
        ASSERT_TRUE(client.Open(sim.PortPath(), error)) << error;
    }

    // Sends a request and returns the next frame's message (empty on timeout or a bad frame).
    Bytes Ask(const Bytes& request, int timeoutMs = 2000) {
        EXPECT_TRUE(client.Send(request));
        Bytes reply;
        return client.Receive(reply, timeoutMs) == SimClient::Result::Frame ? reply : Bytes{};
    }

    DeviceSimulator sim;
    SimClient client;
};
}  // namespace

TEST_F(SimOnPty, IdentityAndHardwareInformationOnTheWire) {
    ASSERT_TRUE(client.Send(Request(CMD_READ_HWINFO)));
    bool hungUp = false;
    // Hardware 2.00, product 258: every byte below 0x20 escaped, checksum 0x37.
    const Bytes wire = client.ReadRaw(1000, hungUp);
    EXPECT_FALSE(hungUp);
    EXPECT_EQ(wire, (Bytes{0x05, 0xC0, 0x09, 0x24, 0x09, 0x20, 0x09, 0x20, 0x09, 0x20, 0x09, 0x20, 0x09, 0x20, 0x09,
                           0x22, 0x09, 0x20, 0x09, 0x20, 0x09, 0x20, 0x09, 0x21, 0x09, 0x22, 0x37, 0x0A}));

    SimIdentity id;
    id.chip[0] = 0xA1;
    id.name = std::string(200, 'Z');
    id.sw = {3, 10};
    id.hwLowest = {1, 50};
    id.hwHighest = {0x01000000, 0};
    sim.SetIdentity(id);
    const Bytes ident = Ask(Request(CMD_READ_IDENT));
    ASSERT_EQ(ident.size(), 221u) << "a 200-character name goes out whole";
    EXPECT_EQ(Bytes(ident.begin(), ident.begin() + 20),
              (Bytes{0xC0, 0x03, 0x00, 0x00, 0xA1, 0x34, 0x56, 0x78, 0x03, 0x0A, 0x00, 0x00, 0x00, 0x01, 50, 0x01,
                     0x00, 0x00, 0x00, 0x00}));
    EXPECT_EQ(std::string(ident.begin() + 20, ident.end() - 1), id.name);
    EXPECT_EQ(ident.back(), 0);
}

TEST_F(SimOnPty, RecordsValidRequestsAndResynchronisesAfterGarbage) {
    // Noise without a start byte, then a frame with a bad checksum, then a good request.
    ASSERT_TRUE(client.WriteRaw({0x00, 0xFF, 0x0A, 0x09, 0x41}));
    ASSERT_TRUE(client.WriteRaw({0x05, 0x80, 0x09, 0x23, 0x09, 0x20, 0x09, 0x20, 0x7C, 0x0A}));
    const Bytes reply = Ask(Request(CMD_READ_HWINFO));
    ASSERT_EQ(reply.size(), 13u);
    EXPECT_EQ(reply[1], CMD_READ_HWINFO);
    EXPECT_EQ(sim.CountRequests(CMD_READ_IDENT), 0u) << "a request with a bad checksum is ignored";

    // A frame cut short is lost, and the one after it is read again.
    ASSERT_TRUE(client.WriteRaw({0x05, 0x80, 0x09, 0x21}));
    ASSERT_TRUE(client.WriteRaw({0x0A}));
    EXPECT_EQ(Ask(Request(CMD_RUN)), (Bytes{0xC0, 0x07, 0x00, 0x00}));

    ASSERT_TRUE(client.Send({REQUEST_TAG, CMD_BAUD_SYNC, 0x00, 0x00, 0xFF}));
    Bytes none;
    EXPECT_EQ(client.Receive(none, 200), SimClient::Result::Timeout) << "sync requests are not answered";

    const auto requests = sim.Requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0].command, CMD_READ_HWINFO);
    EXPECT_EQ(requests[1].command, CMD_RUN);
    EXPECT_EQ(requests[2].message, (Bytes{REQUEST_TAG, CMD_BAUD_SYNC, 0x00, 0x00, 0xFF}));
    EXPECT_LE(requests[0].at, requests[1].at);
    sim.ClearRequests();
    EXPECT_TRUE(sim.Requests().empty());
}

TEST_F(SimOnPty, StoresBlocksAtTheirOffsetsAndSavesTheImageAtEnd) {
    char pattern[] = "/tmp/kavro-sim-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::string dir = pattern;
    const std::string path = dir + "/image.bin";
    sim.SetSaveImagePath(path);

    const Bytes data = Pattern(300, 3);
    EXPECT_EQ(Ask(Request(CMD_BEGIN_DOWNLOAD)), (Bytes{0xC0, 0x05, 0x00, 0x00}));
    for (uint16_t offset : {256, 0, 128}) {
        const size_t n = std::min<size_t>(128, data.size() - offset);
        EXPECT_EQ(Ask(Block(offset, Bytes(data.begin() + offset, data.begin() + offset + n))),
                  (Bytes{0xC0, 0x01, 0x00, 0x00}));
    }
    EXPECT_EQ(sim.Image(), data);
    EXPECT_EQ(sim.EndCount(), 0u);
    EXPECT_EQ(Ask(Request(CMD_END_DOWNLOAD)), (Bytes{0xC0, 0x06, 0x00, 0x00}));
    // The file is complete by the time the end reply has arrived.
    EXPECT_EQ(ReadFile(path), data);
    EXPECT_EQ(sim.EndCount(), 1u);

    // A second, shorter download replaces the file.
    Ask(Request(CMD_BEGIN_DOWNLOAD));
    EXPECT_EQ(Ask(Block(0, {1, 2, 3})), (Bytes{0xC0, 0x01, 0x00, 0x00}));
    EXPECT_EQ(Ask(Request(CMD_END_DOWNLOAD)), (Bytes{0xC0, 0x06, 0x00, 0x00}));
    EXPECT_EQ(ReadFile(path), (Bytes{1, 2, 3}));
    EXPECT_EQ(sim.EndCount(), 2u);

    // The second CPU of a two-CPU device saves into its own file.
    const std::string secondPath = dir + "/second.bin";
    sim.SetCpuCount(2);
    sim.SetSaveImagePath(secondPath, 1);
    Ask(Request(CMD_BEGIN_DOWNLOAD_SECOND));
    EXPECT_EQ(Ask(Block(0, {4, 5}, CMD_WRITE_BLOCK_SECOND)), (Bytes{0xC0, 0x0B, 0x00, 0x00}));
    EXPECT_EQ(Ask(Request(CMD_END_DOWNLOAD_SECOND)), (Bytes{0xC0, 0x10, 0x00, 0x00}));
    EXPECT_EQ(ReadFile(secondPath), (Bytes{4, 5}));
    EXPECT_EQ(ReadFile(path), (Bytes{1, 2, 3}));
    EXPECT_EQ(sim.EndCount(), 2u);
    EXPECT_EQ(sim.EndCount(1), 1u);

    std::remove(path.c_str());
    std::remove(secondPath.c_str());
    rmdir(dir.c_str());
}

TEST_F(SimOnPty, AFileThatCannotBeSavedIsReportedAndTheEndStillAnswered) {
    std::atomic<int> errors{0};
    sim.SetLogger([&](bool error, const std::string&) {
        if (error) ++errors;
    });
    sim.SetSaveImagePath("/nonexistent-kavro-dir/image.bin");
    EXPECT_EQ(Ask(Request(CMD_END_DOWNLOAD)), (Bytes{0xC0, 0x06, 0x00, 0x00}));
    EXPECT_EQ(errors.load(), 1);
}

TEST_F(SimOnPty, RefusalsForeignFramesAndShortAcks) {
    SimFaults f;
    f.refuseCommand = CMD_BEGIN_DOWNLOAD;
    f.refuseFirst = 2;
    f.foreignFrames = 2;
    f.shortAckFirst = 1;
    sim.SetFaults(f);

    for (int attempt = 0; attempt < 3; ++attempt) {
        ASSERT_TRUE(client.Send(Request(CMD_BEGIN_DOWNLOAD)));
        Bytes reply;
        for (int i = 0; i < 2; ++i) {
            ASSERT_EQ(client.Receive(reply, 2000), SimClient::Result::Frame);
            EXPECT_EQ(reply[0], REPLY_TAG);
            EXPECT_NE(reply[1], CMD_BEGIN_DOWNLOAD) << "foreign frames answer another code";
        }
        ASSERT_EQ(client.Receive(reply, 2000), SimClient::Result::Frame);
        EXPECT_EQ(reply, (Bytes{0xC0, 0x05, 0x00, static_cast<uint8_t>(attempt < 2 ? 1 : 0)})) << attempt;
    }

    f.foreignFrames = 0;
    sim.SetFaults(f);
    EXPECT_EQ(Ask(Block(0, {7})), (Bytes{0xC0, 0x01, 0x00})) << "too short an ack";
    EXPECT_EQ(Ask(Block(0, {7})), (Bytes{0xC0, 0x01, 0x00, 0x00}));
}

TEST_F(SimOnPty, CorruptedAndDroppedReplies) {
    SimFaults f;
    f.corruptRate = 1;
    sim.SetFaults(f);
    ASSERT_TRUE(client.Send(Request(CMD_READ_IDENT)));
    Bytes reply;
    EXPECT_EQ(client.Receive(reply, 2000), SimClient::Result::BadFrame);

    f = {};
    f.dropRate = 1;
    sim.SetFaults(f);
    ASSERT_TRUE(client.Send(Request(CMD_READ_IDENT)));
    EXPECT_EQ(client.Receive(reply, 300), SimClient::Result::Timeout);
    EXPECT_EQ(sim.CountRequests(CMD_READ_IDENT), 2u);
}

TEST_F(SimOnPty, SilenceForOneCommandForAllAndAfterBlocks) {
    SimFaults f;
    f.silentCommand = CMD_READ_HWINFO;
    sim.SetFaults(f);
    Bytes reply;
    ASSERT_TRUE(client.Send(Request(CMD_READ_HWINFO)));
    EXPECT_EQ(client.Receive(reply, 300), SimClient::Result::Timeout);
    EXPECT_EQ(Ask(Request(CMD_READ_IDENT)).size(), 30u);

    f = {};
    f.silenceAfterBlocks = 2;
    sim.SetFaults(f);
    EXPECT_EQ(Ask(Block(0, {1})).size(), 4u);
    EXPECT_EQ(Ask(Block(1, {2})).size(), 4u);
    ASSERT_TRUE(client.Send(Block(2, {3})));
    EXPECT_EQ(client.Receive(reply, 300), SimClient::Result::Timeout);
    ASSERT_TRUE(client.Send(Request(CMD_READ_IDENT)));
    EXPECT_EQ(client.Receive(reply, 300), SimClient::Result::Timeout);
    EXPECT_EQ(sim.AcknowledgedBlocks(), 2u);

    f = {};
    f.silent = true;
    sim.SetFaults(f);
    ASSERT_TRUE(client.Send(Request(CMD_RUN)));
    EXPECT_EQ(client.Receive(reply, 300), SimClient::Result::Timeout);
    EXPECT_TRUE(sim.WaitForRequests(CMD_RUN, 1, 1000)) << "silent requests are still recorded";
}

TEST_F(SimOnPty, LateSyncAnswerArrivesAfterTheNextReply) {
    SimFaults f;
    f.syncReplyDelayMs = 300;
    sim.SetFaults(f);
    ASSERT_TRUE(client.Send({REQUEST_TAG, CMD_BAUD_SYNC, 0x00, 0x00, 0xFF}));
    const auto sent = Clock::now();
    const Bytes first = Ask(Request(CMD_READ_HWINFO));
    ASSERT_EQ(first.size(), 13u);
    Bytes late;
    ASSERT_EQ(client.Receive(late, 2000), SimClient::Result::Frame);
    EXPECT_EQ(late, (Bytes{0xC0, 0x86, 0x00, 0x00}));
    EXPECT_GE(Seconds(Clock::now() - sent), 0.25);
}

TEST_F(SimOnPty, ReplyDelayAndLinePacing) {
    SimFaults f;
    f.replyDelayMs = 200;
    sim.SetFaults(f);
    auto start = Clock::now();
    EXPECT_EQ(Ask(Request(CMD_RUN)).size(), 4u);
    EXPECT_GE(Seconds(Clock::now() - start), 0.19);

    // 2000 bit/s is 5 ms a byte: the 10-byte request and the 52-byte identity
    // frame cannot take less than about 310 ms.
    f = {};
    f.lineRate = 2000;
    sim.SetFaults(f);
    sim.ClearRequests();
    start = Clock::now();
    EXPECT_EQ(Ask(Request(CMD_READ_IDENT), 5000).size(), 30u);
    const double paced = Seconds(Clock::now() - start);
    EXPECT_GE(paced, 0.30);
    EXPECT_LT(paced, 3.0);
    const auto requests = sim.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_GE(Seconds(requests[0].at - start), 0.045) << "taken only once its 10 bytes could have arrived";
}

// A USB adapter's latency timer: a short reply reaches the host whole, only
// the hold after its first byte; a reply that fills the adapter's packet
// passes at once.
TEST_F(SimOnPty, ReplyHoldKeepsShortRepliesOnly) {
    SimFaults f;
    f.replyHoldMs = 300;
    sim.SetFaults(f);
    const auto start = Clock::now();
    ASSERT_TRUE(client.Send(Request(CMD_RUN)));
    bool hungUp = false;
    EXPECT_TRUE(client.ReadRaw(150, hungUp).empty()) << "nothing before the hold is over";
    Bytes reply;
    ASSERT_EQ(client.Receive(reply, 2000), SimClient::Result::Frame);
    EXPECT_EQ(reply.size(), 4u);
    EXPECT_GE(Seconds(Clock::now() - start), 0.29);

    SimIdentity id;
    id.name = std::string(100, 'Z');
    sim.SetIdentity(id);
    const auto longStart = Clock::now();
    EXPECT_EQ(Ask(Request(CMD_READ_IDENT)).size(), 121u);
    EXPECT_LT(Seconds(Clock::now() - longStart), 0.29) << "a long reply is not held";
}

TEST_F(SimOnPty, ClientMayCloseAndReopenThePort) {
    EXPECT_EQ(Ask(Request(CMD_READ_HWINFO)).size(), 13u);
    client.Close();
    std::string error;
    ASSERT_TRUE(client.Open(sim.PortPath(), error)) << error;
    EXPECT_EQ(Ask(Request(CMD_READ_HWINFO)).size(), 13u);
    EXPECT_FALSE(sim.LineClosed());
    EXPECT_TRUE(sim.Running());
}

TEST_F(SimOnPty, HangUpIsSeenByTheClient) {
    sim.HangUp();
    EXPECT_TRUE(sim.LineClosed());
    EXPECT_FALSE(sim.Running());
    pollfd p{client.Fd(), POLLIN, 0};
    ASSERT_EQ(poll(&p, 1, 1000), 1);
    EXPECT_TRUE(p.revents & POLLHUP);
    Bytes reply;
    EXPECT_EQ(client.Receive(reply, 500), SimClient::Result::HangUp);
    EXPECT_FALSE(sim.Start()) << "no line to serve";
}

TEST_F(SimOnPty, HangUpAfterBlocks) {
    SimFaults f;
    f.hangUpAfterBlocks = 2;
    sim.SetFaults(f);
    EXPECT_EQ(Ask(Block(0, {1})).size(), 4u);
    EXPECT_EQ(Ask(Block(1, {2})).size(), 4u);
    ASSERT_TRUE(client.Send(Block(2, {3})));
    Bytes reply;
    EXPECT_EQ(client.Receive(reply, 2000), SimClient::Result::HangUp);
    EXPECT_TRUE(sim.WaitForEnd(2000));
    EXPECT_TRUE(sim.LineClosed());
    EXPECT_EQ(sim.Image(), (Bytes{1, 2}));
}

TEST_F(SimOnPty, StopIsPromptEvenWithRepliesPending) {
    SimFaults f;
    f.replyDelayMs = 10000;
    f.lineRate = 300;
    sim.SetFaults(f);
    ASSERT_TRUE(client.Send(Request(CMD_READ_IDENT)));
    ASSERT_TRUE(sim.WaitForRequests(CMD_READ_IDENT, 1, 2000));
    const auto start = Clock::now();
    sim.Stop();
    EXPECT_LT(Seconds(Clock::now() - start), 1.0);
    EXPECT_FALSE(sim.Running());
    EXPECT_FALSE(sim.LineClosed()) << "a stop keeps the line";

    // Served again after a new start.
    sim.SetFaults({});
    ASSERT_TRUE(sim.Start());
    EXPECT_EQ(Ask(Request(CMD_READ_HWINFO)).size(), 13u);
}

TEST_F(SimOnPty, SeededFaultsGiveTheSameBytesOnTheLine) {
    // The same requests against a fresh simulator with the same seed give the
    // same bytes, and those are what the protocol core alone produces.
    SimFaults f;
    f.seed = 1234;
    f.corruptRate = 0.3;
    f.dropRate = 0.2;
    f.garbageRate = 0.5;
    f.foreignFrames = 1;
    Bytes requests;
    std::vector<Bytes> messages;
    for (int i = 0; i < 24; ++i) {
        messages.push_back(i % 3 == 0 ? Block(static_cast<uint16_t>(i), {static_cast<uint8_t>(i)})
                                      : Request(i % 3 == 1 ? CMD_READ_IDENT : CMD_READ_HWINFO));
        const Bytes frame = SimProtocol::Frame(messages.back());
        requests.insert(requests.end(), frame.begin(), frame.end());
    }
    SimProtocol core;
    core.SetFaults(f);
    Bytes expected;
    for (const Bytes& m : messages) {
        for (const SimEmission& e : core.Handle(m.data(), m.size()).emissions)
            expected.insert(expected.end(), e.bytes.begin(), e.bytes.end());
    }
    ASSERT_FALSE(expected.empty());

    // Reads until as many bytes as expected have come (or 3 s), then a little
    // longer to catch any extra ones.
    auto run = [&](DeviceSimulator& device, SimClient& end) {
        device.SetFaults(f);
        EXPECT_TRUE(end.WriteRaw(requests));
        Bytes got;
        bool hungUp = false;
        const auto deadline = Clock::now() + std::chrono::seconds(3);
        while (got.size() < expected.size() && Clock::now() < deadline && !hungUp) {
            const Bytes more = end.ReadRaw(50, hungUp);
            got.insert(got.end(), more.begin(), more.end());
        }
        const Bytes extra = end.ReadRaw(150, hungUp);
        got.insert(got.end(), extra.begin(), extra.end());
        return got;
    };
    EXPECT_EQ(run(sim, client), expected);

    DeviceSimulator other;
    SimClient otherClient;
    std::string error;
    ASSERT_TRUE(other.CreatePty(error)) << error;
    ASSERT_TRUE(other.Start());
    ASSERT_TRUE(otherClient.Open(other.PortPath(), error)) << error;
    EXPECT_EQ(run(other, otherClient), expected);

    f.seed = 1235;
    sim.ClearRequests();
    EXPECT_NE(run(sim, client), expected);
}

TEST_F(SimOnPty, PublicMembersMayBeCalledWhileServing) {
    std::atomic<bool> done{false};
    std::thread reader([&] {
        SimFaults f;
        while (!done) {
            (void)sim.Requests();
            (void)sim.Image();
            (void)sim.EndCount();
            (void)sim.CountRequests(CMD_WRITE_BLOCK);
            (void)sim.Identity();
            (void)sim.PortPath();
            f.replyDelayMs = f.replyDelayMs ? 0 : 1;
            sim.SetFaults(f);
            sim.SetIdentity(SimIdentity{});
        }
    });
    for (int i = 0; i < 40; ++i) EXPECT_EQ(Ask(Block(static_cast<uint16_t>(i), {static_cast<uint8_t>(i)})).size(), 4u);
    done = true;
    reader.join();
    EXPECT_EQ(sim.CountRequests(CMD_WRITE_BLOCK), 40u);
    EXPECT_EQ(sim.Image().size(), 40u);
}

TEST(SimLine, ServesAnExistingSerialDevice) {
    // A pseudo-terminal's slave plays the serial device; the test talks on its master.
    int master = -1, slave = -1;
    ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
    UniqueFd masterFd(master), slaveFd(slave);
    char name[128];
    ASSERT_EQ(ptsname_r(master, name, sizeof name), 0);
    termios tio{};
    ASSERT_EQ(tcgetattr(master, &tio), 0);
    cfmakeraw(&tio);
    ASSERT_EQ(tcsetattr(master, TCSANOW, &tio), 0);

    DeviceSimulator sim;
    std::string error;
    EXPECT_FALSE(sim.OpenDevice("/nonexistent/tty", error));
    EXPECT_NE(error.find("/nonexistent/tty"), std::string::npos);
    EXPECT_FALSE(sim.OpenDevice("/dev/null", error)) << "not a serial device";
    EXPECT_FALSE(sim.OpenDevice(name, 12345, error)) << "not a line speed";
    EXPECT_FALSE(sim.Start()) << "no line yet";
    ASSERT_TRUE(sim.OpenDevice(name, error)) << error;
    EXPECT_EQ(sim.PortPath(), name);
    ASSERT_TRUE(sim.Start());

    const Bytes frame = SimProtocol::Frame(Request(CMD_READ_HWINFO));
    ASSERT_EQ(write(master, frame.data(), frame.size()), static_cast<ssize_t>(frame.size()));
    const Bytes expected = SimProtocol::Frame(SimProtocol::HardwareInfoMessage(CMD_READ_HWINFO, SimIdentity{}));
    Bytes got;
    const auto deadline = Clock::now() + std::chrono::seconds(2);
    while (got.size() < expected.size() && Clock::now() < deadline) {
        pollfd p{master, POLLIN, 0};
        if (poll(&p, 1, 100) != 1) continue;
        uint8_t buffer[256];
        const ssize_t n = read(master, buffer, sizeof buffer);
        if (n > 0) got.insert(got.end(), buffer, buffer + n);
    }
    EXPECT_EQ(got, expected);
    EXPECT_TRUE(sim.Failure().empty());

    // The other end going away ends serving with a reason.
    masterFd.Close();
    EXPECT_TRUE(sim.WaitForEnd(2000));
    EXPECT_FALSE(sim.Running());
    EXPECT_TRUE(sim.LineClosed());
    EXPECT_FALSE(sim.Failure().empty());
}

TEST(SimLine, StartNeedsALineAndStopIsHarmlessTwice) {
    DeviceSimulator sim;
    EXPECT_FALSE(sim.Start());
    sim.Stop();
    sim.Stop();
    sim.HangUp();
    std::string error;
    ASSERT_TRUE(sim.CreatePty(error)) << error;
    ASSERT_TRUE(sim.Start());
    EXPECT_FALSE(sim.Start()) << "already running";
    EXPECT_FALSE(sim.CreatePty(error));
    sim.Stop();
    EXPECT_TRUE(sim.CreatePty(error)) << "a stopped simulator may take a new line";
}
