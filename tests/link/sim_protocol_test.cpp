// The simulator's protocol core without a port: reply layouts byte for byte,
// image storage, and the fault decisions with their seeded reproducibility.
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <string>
#include <vector>

#include "link/device_link.h"
#include "sim/sim_protocol.h"

namespace {
using Bytes = std::vector<uint8_t>;

SimReaction Send(SimProtocol& p, const Bytes& message) { return p.Handle(message.data(), message.size()); }

Bytes Request(uint8_t code) { return {REQUEST_TAG, code, 0x00, 0x00}; }

Bytes Block(uint8_t code, uint16_t offset, const Bytes& data) {
    Bytes m = {REQUEST_TAG, code, 0x00, 0x00, static_cast<uint8_t>(offset), static_cast<uint8_t>(offset >> 8),
               static_cast<uint8_t>(data.size())};
    m.insert(m.end(), data.begin(), data.end());
    return m;
}

// Decodes every frame in the wire bytes of the reaction; bad frames are reported as empty.
std::vector<Bytes> Frames(const SimReaction& r) {
    std::vector<Bytes> frames;
    uint8_t body[MAX_MESSAGE_LENGTH];
    FrameDecoder decoder(body);
    for (const SimEmission& e : r.emissions) {
        for (uint8_t b : e.bytes) {
            const auto s = decoder.Feed(b);
            if (s == FrameDecoder::Status::Frame) frames.emplace_back(body, body + decoder.MessageLength());
            else if (s != FrameDecoder::Status::NeedMore) frames.emplace_back();
        }
    }
    return frames;
}

Bytes OnlyReply(const SimReaction& r) {
    const auto frames = Frames(r);
    EXPECT_EQ(frames.size(), 1u);
    return frames.empty() ? Bytes{} : frames.front();
}

Bytes Wire(const SimReaction& r) {
    Bytes all;
    for (const SimEmission& e : r.emissions) all.insert(all.end(), e.bytes.begin(), e.bytes.end());
    return all;
}

Bytes Counting(size_t n, uint8_t first) {
    Bytes b(n);
    std::iota(b.begin(), b.end(), first);
    return b;
}
}  // namespace

TEST(SimReplies, DefaultIdentityAndHardwareInformation) {
    SimProtocol p;
    EXPECT_EQ(OnlyReply(Send(p, Request(CMD_READ_IDENT))),
              (Bytes{0xC0, 0x03, 0x00, 0x00, 0x12, 0x34, 0x56, 0x78, 0x02, 0x05, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00,
                     0x00, 0x00, 0x03, 0x00, 'K', 'A', 'V', 'R', 'O', ' ', 'S', 'I', 'M', 0x00}));
    EXPECT_EQ(OnlyReply(Send(p, Request(CMD_READ_HWINFO))),
              (Bytes{0xC0, 0x04, 0x00, 0x00, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x01, 0x02}));
}

TEST(SimReplies, WorkedExampleDeviceAndBigEndianNumbers) {
    SimProtocol p;
    SimIdentity id;
    id.name = "AB";
    id.hwHighest = {2, 9};
    id.hwCurrent = {3, 1};
    p.SetIdentity(id);
    EXPECT_EQ(OnlyReply(Send(p, Request(CMD_READ_IDENT))),
              (Bytes{0xC0, 0x03, 0x00, 0x00, 0x12, 0x34, 0x56, 0x78, 0x02, 0x05, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00,
                     0x00, 0x00, 0x02, 0x09, 0x41, 0x42, 0x00}));
    EXPECT_EQ(OnlyReply(Send(p, Request(CMD_READ_HWINFO))),
              (Bytes{0xC0, 0x04, 0x00, 0x00, 0x00, 0x00, 0x00, 0x03, 0x01, 0x00, 0x00, 0x01, 0x02}));

    id.hwLowest = {0x01020304, 5};
    id.hwHighest = {0xA0B0C0D0, 99};
    id.hwCurrent = {0xFFFFFFFF, 7};
    id.productNumber = 0x11223344;
    id.chip[0] = 0xDE;
    p.SetIdentity(id);
    const Bytes ident = OnlyReply(Send(p, Request(CMD_READ_IDENT)));
    ASSERT_EQ(ident.size(), 23u);
    EXPECT_EQ(Bytes(ident.begin() + 4, ident.begin() + 20),
              (Bytes{0xDE, 0x34, 0x56, 0x78, 0x02, 0x05, 0x01, 0x02, 0x03, 0x04, 0x05, 0xA0, 0xB0, 0xC0, 0xD0, 99}));
    EXPECT_EQ(OnlyReply(Send(p, Request(CMD_READ_HWINFO))),
              (Bytes{0xC0, 0x04, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0x07, 0x11, 0x22, 0x33, 0x44}));
}

TEST(SimReplies, LongNamesAreSentWholeUpToTheMessageLimit) {
    SimProtocol p;
    SimIdentity id;
    id.name = std::string(200, 'N');
    p.SetIdentity(id);
    Bytes reply = OnlyReply(Send(p, Request(CMD_READ_IDENT)));
    ASSERT_EQ(reply.size(), 221u);
    EXPECT_EQ(std::string(reply.begin() + 20, reply.end() - 1), id.name);
    EXPECT_EQ(reply.back(), 0);

    id.name = std::string(300, 'x');
    p.SetIdentity(id);
    reply = OnlyReply(Send(p, Request(CMD_READ_IDENT)));
    ASSERT_EQ(reply.size(), MAX_MESSAGE_LENGTH - 1) << "cut so that reply and checksum fit in 256 bytes";
    EXPECT_EQ(reply.back(), 0);
    EXPECT_EQ(std::string(reply.begin() + 20, reply.end() - 1), std::string(SIM_MAX_NAME_LENGTH, 'x'));
}

TEST(SimReplies, SecondCpuCodesAreAnsweredWithTheirOwnCode) {
    SimProtocol p;
    p.SetCpuCount(2);
    for (uint8_t code : {CMD_READ_IDENT_SECOND, CMD_READ_HWINFO_SECOND, CMD_BEGIN_DOWNLOAD_SECOND,
                         CMD_END_DOWNLOAD_SECOND, CMD_RUN, CMD_RUN_SECOND}) {
        const Bytes reply = OnlyReply(Send(p, Request(code)));
        ASSERT_GE(reply.size(), 4u) << int(code);
        EXPECT_EQ(reply[0], REPLY_TAG);
        EXPECT_EQ(reply[1], code);
        EXPECT_EQ(reply[3], 0) << int(code);
    }
    EXPECT_EQ(OnlyReply(Send(p, Block(CMD_WRITE_BLOCK_SECOND, 2, {9, 8}))), (Bytes{0xC0, 0x0B, 0x00, 0x00}));
    EXPECT_EQ(p.Image(1), (Bytes{0, 0, 9, 8}));
    EXPECT_TRUE(p.Image(0).empty());
}

// Each CPU of a two-CPU device answers with its own identity and hardware
// information and keeps its own image; a one-CPU device (the default) answers
// none of the second CPU's codes and stores nothing for them.
TEST(SimCpus, EachCpuKeepsItsOwnDataAndAOneCpuDeviceIgnoresTheSecond) {
    SimProtocol p;
    const Bytes secondCodes[] = {Request(CMD_READ_IDENT_SECOND), Request(CMD_READ_HWINFO_SECOND),
                                 Request(CMD_BEGIN_DOWNLOAD_SECOND), Block(CMD_WRITE_BLOCK_SECOND, 0, {1}),
                                 Request(CMD_END_DOWNLOAD_SECOND), Request(CMD_RUN_SECOND)};
    for (const Bytes& m : secondCodes) {
        const SimReaction r = Send(p, m);
        EXPECT_TRUE(r.isRequest && r.emissions.empty() && !r.endAccepted) << int(m[1]);
    }
    EXPECT_TRUE(p.Image(1).empty());

    p.SetCpuCount(2);
    SimIdentity second;
    second.hwCurrent = {5, 7};
    p.SetIdentity(second, 1);
    EXPECT_EQ(OnlyReply(Send(p, Request(CMD_READ_HWINFO_SECOND))),
              (Bytes{0xC0, 0x0E, 0x00, 0x00, 0x00, 0x00, 0x00, 0x05, 0x07, 0x00, 0x00, 0x01, 0x02}));
    EXPECT_EQ(OnlyReply(Send(p, Request(CMD_READ_HWINFO)))[7], 0x02) << "the first CPU keeps its own";
    Send(p, Block(CMD_WRITE_BLOCK, 0, {1, 2, 3}));
    Send(p, Request(CMD_BEGIN_DOWNLOAD_SECOND));
    Send(p, Block(CMD_WRITE_BLOCK_SECOND, 0, {7, 8}));
    EXPECT_EQ(Send(p, Request(CMD_END_DOWNLOAD_SECOND)).cpu, 1);
    EXPECT_EQ(p.Image(0), (Bytes{1, 2, 3}));
    EXPECT_EQ(p.Image(1), (Bytes{7, 8}));
    EXPECT_EQ(p.EndCount(0), 0u);
    EXPECT_EQ(p.EndCount(1), 1u);
}

TEST(SimReplies, SyncUnknownAndNonRequestMessagesGetNoAnswer) {
    SimProtocol p;
    SimReaction r = Send(p, {REQUEST_TAG, CMD_BAUD_SYNC, 0x00, 0x00, 0xFF});
    EXPECT_TRUE(r.isRequest);
    EXPECT_EQ(r.command, CMD_BAUD_SYNC);
    EXPECT_TRUE(r.emissions.empty());

    r = Send(p, Request(0x42));
    EXPECT_TRUE(r.isRequest) << "recorded, though not understood";
    EXPECT_TRUE(r.emissions.empty());

    r = Send(p, {REPLY_TAG, CMD_READ_IDENT, 0x00, 0x00});
    EXPECT_FALSE(r.isRequest);
    EXPECT_TRUE(r.emissions.empty());

    r = Send(p, {REQUEST_TAG, CMD_READ_IDENT});
    EXPECT_TRUE(r.isRequest);
    EXPECT_TRUE(r.emissions.empty()) << "a request without its two zero bytes is not answered";
}

TEST(SimReplies, LateSyncAnswerComesAfterItsDelay) {
    SimProtocol p;
    SimFaults f;
    f.syncReplyDelayMs = 250;
    p.SetFaults(f);
    const SimReaction r = Send(p, {REQUEST_TAG, CMD_BAUD_SYNC, 0x00, 0x00, 0xFF});
    ASSERT_EQ(r.emissions.size(), 1u);
    EXPECT_EQ(r.emissions[0].delayMs, 250u);
    EXPECT_EQ(OnlyReply(r), (Bytes{0xC0, 0x86, 0x00, 0x00}));
}

TEST(SimImage, BlocksAreStoredAtTheirOffsetsAndBeginStartsAnew) {
    SimProtocol p;
    EXPECT_EQ(OnlyReply(Send(p, Request(CMD_BEGIN_DOWNLOAD))), (Bytes{0xC0, 0x05, 0x00, 0x00}));
    // Out of order: the image grows to the highest offset + length.
    EXPECT_EQ(OnlyReply(Send(p, Block(CMD_WRITE_BLOCK, 0x0100, Counting(44, 100)))), (Bytes{0xC0, 0x01, 0x00, 0x00}));
    Send(p, Block(CMD_WRITE_BLOCK, 0x0000, Counting(128, 0)));
    Send(p, Block(CMD_WRITE_BLOCK, 0x0080, Counting(128, 128)));
    Bytes expected = Counting(256, 0);
    const Bytes tail = Counting(44, 100);
    expected.insert(expected.end(), tail.begin(), tail.end());
    EXPECT_EQ(p.Image(), expected);
    EXPECT_EQ(p.AcknowledgedBlocks(), 3);

    const SimReaction end = Send(p, Request(CMD_END_DOWNLOAD));
    EXPECT_TRUE(end.endAccepted);
    EXPECT_EQ(p.EndCount(), 1u);

    Send(p, Request(CMD_BEGIN_DOWNLOAD));
    EXPECT_TRUE(p.Image().empty()) << "a new download does not keep the old image's tail";
    Send(p, Block(CMD_WRITE_BLOCK, 0xFFFF, {0xAB}));
    ASSERT_EQ(p.Image().size(), 0x10000u);
    EXPECT_EQ(p.Image().back(), 0xAB);
}

TEST(SimImage, MalformedBlocksAreRefusedAndNotStored) {
    SimProtocol p;
    const std::vector<Bytes> malformed = {
        {REQUEST_TAG, CMD_WRITE_BLOCK, 0, 0, 0, 0},                 // no count
        {REQUEST_TAG, CMD_WRITE_BLOCK, 0, 0, 0, 0, 0},              // n = 0
        Block(CMD_WRITE_BLOCK, 0, Counting(129, 0)),                // n = 129
        {REQUEST_TAG, CMD_WRITE_BLOCK, 0, 0, 0, 0, 3, 1, 2},        // fewer bytes than n
        {REQUEST_TAG, CMD_WRITE_BLOCK, 0, 0, 0, 0, 1, 1, 2},        // more bytes than n
    };
    for (const Bytes& m : malformed) {
        const Bytes reply = OnlyReply(Send(p, m));
        ASSERT_EQ(reply.size(), 4u);
        EXPECT_EQ(reply[3], SIM_STATUS_MALFORMED) << m.size();
    }
    EXPECT_TRUE(p.Image().empty());
    EXPECT_EQ(p.AcknowledgedBlocks(), 0);
    EXPECT_EQ(OnlyReply(Send(p, Block(CMD_WRITE_BLOCK, 0, Counting(128, 1)))), (Bytes{0xC0, 0x01, 0x00, 0x00}));
}

TEST(SimFaultDecisions, RefusalsCountOnlyTheChosenCommand) {
    SimProtocol p;
    SimFaults f;
    f.refuseCommand = CMD_BEGIN_DOWNLOAD;
    f.refuseFirst = 2;
    p.SetFaults(f);
    EXPECT_EQ(OnlyReply(Send(p, Request(CMD_READ_IDENT)))[3], 0);
    EXPECT_EQ(OnlyReply(Send(p, Request(CMD_BEGIN_DOWNLOAD))), (Bytes{0xC0, 0x05, 0x00, 0x01}));
    EXPECT_EQ(OnlyReply(Send(p, Request(CMD_BEGIN_DOWNLOAD))), (Bytes{0xC0, 0x05, 0x00, 0x01}));
    EXPECT_EQ(OnlyReply(Send(p, Request(CMD_BEGIN_DOWNLOAD))), (Bytes{0xC0, 0x05, 0x00, 0x00}));

    // Every command: a refused block is not stored, a refused end saves nothing.
    f.refuseCommand = 0;
    f.refuseFirst = 2;
    p.SetFaults(f);
    EXPECT_EQ(OnlyReply(Send(p, Block(CMD_WRITE_BLOCK, 0, {1})))[3], SIM_STATUS_REFUSED);
    const SimReaction end = Send(p, Request(CMD_END_DOWNLOAD));
    EXPECT_EQ(OnlyReply(end)[3], SIM_STATUS_REFUSED);
    EXPECT_FALSE(end.endAccepted);
    EXPECT_TRUE(p.Image().empty());
    EXPECT_EQ(p.EndCount(), 0u);
    EXPECT_EQ(OnlyReply(Send(p, Request(CMD_END_DOWNLOAD)))[3], 0);
    EXPECT_EQ(p.EndCount(), 1u);
}

TEST(SimFaultDecisions, ForeignFramesComeFirstAndAnswerOtherCodes) {
    SimProtocol p;
    SimFaults f;
    f.foreignFrames = 3;
    p.SetFaults(f);
    for (uint8_t code : {CMD_READ_IDENT, CMD_BAUD_SYNC, CMD_READ_HWINFO, CMD_RUN}) {
        if (code == CMD_BAUD_SYNC) continue;  // sync is not answered at all
        const auto frames = Frames(Send(p, Request(code)));
        ASSERT_EQ(frames.size(), 4u);
        for (size_t i = 0; i < 3; ++i) {
            ASSERT_GE(frames[i].size(), 4u);
            EXPECT_EQ(frames[i][0], REPLY_TAG);
            EXPECT_NE(frames[i][1], code);
        }
        EXPECT_EQ(frames[3][1], code);
    }
}

TEST(SimFaultDecisions, ShortAcksAreThreeBytesAndDoNotCountAsAcknowledged) {
    SimProtocol p;
    SimFaults f;
    f.shortAckFirst = 2;
    f.silenceAfterBlocks = 1;
    p.SetFaults(f);
    EXPECT_EQ(OnlyReply(Send(p, Block(CMD_WRITE_BLOCK, 0, {1}))), (Bytes{0xC0, 0x01, 0x00}));
    EXPECT_EQ(OnlyReply(Send(p, Block(CMD_WRITE_BLOCK, 0, {1}))), (Bytes{0xC0, 0x01, 0x00}));
    EXPECT_EQ(OnlyReply(Send(p, Block(CMD_WRITE_BLOCK, 0, {1}))), (Bytes{0xC0, 0x01, 0x00, 0x00}));
    EXPECT_EQ(p.AcknowledgedBlocks(), 1);
    // Silent after that one acknowledged block, for everything.
    EXPECT_TRUE(Send(p, Request(CMD_READ_IDENT)).emissions.empty());
    EXPECT_TRUE(Send(p, Block(CMD_WRITE_BLOCK, 1, {2})).emissions.empty());
    EXPECT_EQ(p.Image(), (Bytes{1})) << "a silent device stores nothing";
}

TEST(SimFaultDecisions, SilenceAndHangUp) {
    SimProtocol p;
    SimFaults f;
    f.silentCommand = CMD_READ_HWINFO;
    p.SetFaults(f);
    EXPECT_TRUE(Send(p, Request(CMD_READ_HWINFO)).emissions.empty());
    EXPECT_EQ(Frames(Send(p, Request(CMD_READ_IDENT))).size(), 1u);

    f = {};
    f.silent = true;
    f.syncReplyDelayMs = 0;
    p.SetFaults(f);
    EXPECT_TRUE(Send(p, Request(CMD_READ_IDENT)).emissions.empty());
    EXPECT_TRUE(Send(p, {REQUEST_TAG, CMD_BAUD_SYNC, 0, 0, 0xFF}).emissions.empty());

    f = {};
    f.hangUpAfterBlocks = 2;
    p.SetFaults(f);
    EXPECT_EQ(Frames(Send(p, Block(CMD_WRITE_BLOCK, 0, {1}))).size(), 1u);
    EXPECT_EQ(Frames(Send(p, Block(CMD_WRITE_BLOCK, 1, {2}))).size(), 1u);
    EXPECT_EQ(Frames(Send(p, Request(CMD_READ_HWINFO))).size(), 1u) << "only a block request hangs up";
    const SimReaction r = Send(p, Block(CMD_WRITE_BLOCK, 2, {3}));
    ASSERT_EQ(r.emissions.size(), 1u);
    EXPECT_EQ(r.emissions[0].kind, SimEmission::Kind::HangUp);
    EXPECT_EQ(p.Image().size(), 2u);
}

TEST(SimFaultDecisions, CorruptDropGarbageAndDelay) {
    SimProtocol p;
    SimFaults f;
    f.corruptRate = 1;
    f.replyDelayMs = 40;
    p.SetFaults(f);
    SimReaction r = Send(p, Request(CMD_READ_HWINFO));
    ASSERT_EQ(r.emissions.size(), 1u);
    EXPECT_EQ(r.emissions[0].delayMs, 40u);
    EXPECT_EQ(Frames(r), std::vector<Bytes>{Bytes{}}) << "one frame, with a bad checksum";
    // The frame's body is the real reply, only its checksum byte is off by 0xFF.
    const Bytes good = SimProtocol::Frame(SimProtocol::HardwareInfoMessage(CMD_READ_HWINFO, SimIdentity{}));
    EXPECT_EQ(Wire(r).size(), good.size());

    f = {};
    f.dropRate = 1;
    p.SetFaults(f);
    EXPECT_TRUE(Wire(Send(p, Request(CMD_READ_HWINFO))).empty());

    f = {};
    f.garbageRate = 1;
    p.SetFaults(f);
    for (int i = 0; i < 50; ++i) {
        r = Send(p, Request(CMD_READ_HWINFO));
        const Bytes wire = Wire(r);
        ASSERT_GT(wire.size(), good.size());
        ASSERT_LE(wire.size(), good.size() + 16);
        const Bytes garbage(wire.begin(), wire.end() - static_cast<std::ptrdiff_t>(good.size()));
        EXPECT_EQ(std::count(garbage.begin(), garbage.end(), FRAME_START), 0);
        EXPECT_EQ(Bytes(wire.end() - static_cast<std::ptrdiff_t>(good.size()), wire.end()), good);
    }
}

TEST(SimFaultDecisions, SameSeedSameRepliesOtherSeedOtherReplies) {
    auto run = [](uint32_t seed) {
        SimProtocol p;
        SimFaults f;
        f.seed = seed;
        f.corruptRate = 0.3;
        f.dropRate = 0.2;
        f.garbageRate = 0.5;
        f.foreignFrames = 1;
        p.SetFaults(f);
        Bytes all;
        for (int i = 0; i < 40; ++i) {
            const Bytes wire = Wire(Send(p, Request(i % 2 ? CMD_READ_IDENT : CMD_READ_HWINFO)));
            all.insert(all.end(), wire.begin(), wire.end());
            all.push_back(0xEE);  // separator, so shifted sequences differ
        }
        return all;
    };
    EXPECT_EQ(run(42), run(42));
    EXPECT_NE(run(42), run(43));

    // Setting the faults again restarts the sequence.
    SimProtocol p;
    SimFaults f;
    f.seed = 7;
    f.dropRate = 0.5;
    p.SetFaults(f);
    std::vector<bool> first, second;
    for (int i = 0; i < 32; ++i) first.push_back(Send(p, Request(CMD_RUN)).emissions.empty());
    p.SetFaults(f);
    for (int i = 0; i < 32; ++i) second.push_back(Send(p, Request(CMD_RUN)).emissions.empty());
    EXPECT_EQ(first, second);
    EXPECT_NE(std::count(first.begin(), first.end(), true), 0);
    EXPECT_NE(std::count(first.begin(), first.end(), false), 0);
}

TEST(SimFrame, CorruptFrameDiffersOnlyInTheChecksum) {
    // Checksums below 0x20 are escaped; the corrupted one must still form one frame.
    for (const Bytes& m : {Bytes{0xC0, 0x01, 0x00, 0x00}, Bytes{0x80, 0x01, 0x00, 0x00, 0x00, 0x00, 0x01, 0x7E}}) {
        const Bytes good = SimProtocol::Frame(m);
        const Bytes bad = SimProtocol::Frame(m, true);
        uint8_t body[MAX_MESSAGE_LENGTH];
        FrameDecoder decoder(body);
        size_t consumed = 0;
        EXPECT_EQ(decoder.Feed(good.data(), good.size(), consumed), FrameDecoder::Status::Frame);
        EXPECT_EQ(decoder.Feed(bad.data(), bad.size(), consumed), FrameDecoder::Status::BadChecksum);
        EXPECT_EQ(consumed, bad.size());
    }
}

TEST(SimRobustness, RandomMessagesKeepTheRepliesWellFormed) {
    // Any message, tagged as a request or not, with every fault on: each
    // emission holds garbage without a start byte and then exactly one frame
    // that fits a 256-byte body with its checksum.
    SimProtocol p;
    SimFaults f;
    f.seed = 99;
    f.foreignFrames = 1;
    f.refuseFirst = 50;
    f.shortAckFirst = 50;
    f.corruptRate = 0.2;
    f.dropRate = 0.1;
    f.garbageRate = 0.3;
    f.syncReplyDelayMs = 5;
    p.SetFaults(f);
    SimIdentity id;
    id.name = std::string(400, 'n');
    p.SetIdentity(id);
    SimRandom random(5);
    for (int i = 0; i < 20000; ++i) {
        Bytes m(random.Below(MAX_MESSAGE_LENGTH + 1));
        for (uint8_t& b : m) b = static_cast<uint8_t>(random.Below(256));
        if (m.size() >= 2 && random.Below(4) != 0) {
            m[0] = REQUEST_TAG;
            m[1] = static_cast<uint8_t>(random.Below(0x12));
        }
        if (m.size() >= 7 && m[1] == CMD_WRITE_BLOCK && random.Below(2) == 0) {
            m.resize(std::min<size_t>(m.size(), 7 + BLOCK_SIZE));
            m[6] = static_cast<uint8_t>(m.size() - 7);
        }
        const SimReaction r = p.Handle(m.data(), m.size());
        for (const SimEmission& e : r.emissions) {
            if (e.kind == SimEmission::Kind::HangUp) continue;
            const auto start = std::find(e.bytes.begin(), e.bytes.end(), FRAME_START);
            if (start == e.bytes.end()) continue;  // a dropped answer leaves only its garbage
            ASSERT_EQ(e.bytes.back(), FRAME_END);
            uint8_t body[MAX_MESSAGE_LENGTH];
            FrameDecoder decoder(body);
            size_t consumed = 0;
            const auto status = decoder.Feed(&*start, static_cast<size_t>(e.bytes.end() - start), consumed);
            ASSERT_EQ(consumed, static_cast<size_t>(e.bytes.end() - start)) << "one frame per emission";
            ASSERT_TRUE(status == FrameDecoder::Status::Frame || status == FrameDecoder::Status::BadChecksum);
            // Body bytes on the wire (escapes not counted): message and checksum.
            const auto bodyBytes = std::count_if(start + 1, e.bytes.end() - 1, [](uint8_t b) { return b != FRAME_ESCAPE; });
            ASSERT_LE(static_cast<size_t>(bodyBytes), MAX_MESSAGE_LENGTH);
        }
    }
    EXPECT_LE(p.Image().size(), 0x10000u + BLOCK_SIZE);
}
