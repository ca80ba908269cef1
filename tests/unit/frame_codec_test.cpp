// Framing: the protocol's worked examples byte for byte, and the decoder's
// treatment of malformed input.
#include <gtest/gtest.h>

#include <vector>

#include "link/frame_codec.h"

namespace {
using Bytes = std::vector<uint8_t>;

Bytes Frame(const Bytes& message, uint32_t length) {
    uint8_t out[MAX_FRAME_LENGTH];
    const size_t n = BuildFrame(message.data(), length, out, sizeof out);
    return Bytes(out, out + n);
}
Bytes Frame(const Bytes& message) { return Frame(message, static_cast<uint32_t>(message.size())); }

struct Decoded {
    FrameDecoder::Status status;
    Bytes body;  // stored bytes, checksum included
};

// Feeds bytes one at a time and returns the first ended frame.
Decoded DecodeFirst(const Bytes& wire) {
    uint8_t body[MAX_MESSAGE_LENGTH] = {};
    FrameDecoder decoder(body);
    for (uint8_t b : wire) {
        const auto s = decoder.Feed(b);
        if (s == FrameDecoder::Status::Frame) return {s, Bytes(body, body + decoder.StoredCount())};
        if (s != FrameDecoder::Status::NeedMore) return {s, {}};
    }
    return {FrameDecoder::Status::NeedMore, {}};
}
}  // namespace

TEST(FrameBuild, HardwareInfoRequestIsTenBytes) {
    EXPECT_EQ(Frame({0x80, 0x04, 0x00, 0x00}),
              (Bytes{0x05, 0x80, 0x09, 0x24, 0x09, 0x20, 0x09, 0x20, 0x7C, 0x0A}));
}

TEST(FrameBuild, ChecksumBelow0x20IsEscaped) {
    EXPECT_EQ(Frame({0x80, 0x01, 0x00, 0x00, 0x00, 0x00, 0x01, 0x7E}),
              (Bytes{0x05, 0x80, 0x09, 0x21, 0x09, 0x20, 0x09, 0x20, 0x09, 0x20, 0x09, 0x20, 0x09, 0x21,
                     0x7E, 0x09, 0x20, 0x0A}));
}

TEST(FrameBuild, ControlBytesNeverStandUnescaped) {
    // 255 bytes: a received body keeps 256 bytes, the checksum included.
    Bytes message;
    for (int i = 0; i < 255; ++i) message.push_back(static_cast<uint8_t>(i));
    const Bytes wire = Frame(message);
    ASSERT_FALSE(wire.empty());
    for (size_t i = 1; i + 1 < wire.size(); ++i) {
        EXPECT_NE(wire[i], FRAME_START) << i;
        EXPECT_NE(wire[i], FRAME_END) << i;
    }
    const Decoded d = DecodeFirst(wire);
    ASSERT_EQ(d.status, FrameDecoder::Status::Frame);
    EXPECT_EQ(Bytes(d.body.begin(), d.body.end() - 1), message);
}

TEST(FrameBuild, LongestFrameIs516Bytes) {
    // 256 bytes below 0x20 whose checksum is below 0x20 too (sum 0 -> checksum 0).
    Bytes message(256, 0x00);
    const Bytes wire = Frame(message);
    EXPECT_EQ(wire.size(), MAX_FRAME_LENGTH);
    uint8_t small[MAX_FRAME_LENGTH - 1];
    EXPECT_EQ(BuildFrame(message.data(), 256, small, sizeof small), 0u) << "must not overrun";
}

TEST(FrameBuild, LengthOver256SendsOnlyTheFirst256) {
    Bytes message(300, 0x41);
    message[256] = 0x99;  // would change the checksum if it were summed
    EXPECT_EQ(Frame(message, 300), Frame(Bytes(message.begin(), message.begin() + 256)));
}

TEST(FrameDecode, WorkedReplyExample) {
    const Decoded d = DecodeFirst({0x05, 0xC0, 0x09, 0x24, 0x09, 0x20, 0x09, 0x20, 0x3C, 0x0A});
    ASSERT_EQ(d.status, FrameDecoder::Status::Frame);
    EXPECT_EQ(d.body, (Bytes{0xC0, 0x04, 0x00, 0x00, 0x3C}));
}

TEST(FrameDecode, JunkBeforeStartIsIgnored) {
    const Decoded d = DecodeFirst({0xFF, 0x0A, 0x09, 0x00, 0xC0, 0x05, 0xC0, 0x40, 0x00, 0x0A});
    ASSERT_EQ(d.status, FrameDecoder::Status::Frame);
    EXPECT_EQ(d.body, (Bytes{0xC0, 0x40, 0x00}));
}

TEST(FrameDecode, TooShortBodiesAreRejected) {
    EXPECT_EQ(DecodeFirst({0x05, 0x0A}).status, FrameDecoder::Status::TooShort);
    EXPECT_EQ(DecodeFirst({0x05, 0x09, 0x20, 0x0A}).status, FrameDecoder::Status::TooShort);
}

TEST(FrameDecode, BadChecksumIsRejected) {
    EXPECT_EQ(DecodeFirst({0x05, 0xC0, 0x41, 0x0A}).status, FrameDecoder::Status::BadChecksum);
}

TEST(FrameDecode, EndRightAfterEscapeEndsTheFrame) {
    const Decoded d = DecodeFirst({0x05, 0xC0, 0x40, 0x09, 0x0A});
    ASSERT_EQ(d.status, FrameDecoder::Status::Frame);
    EXPECT_EQ(d.body, (Bytes{0xC0, 0x40}));
}

TEST(FrameDecode, StartByteInsideBodyIsData) {
    // 0x05 + 0xFB == 0x100
    const Decoded d = DecodeFirst({0x05, 0x05, 0xFB, 0x0A});
    ASSERT_EQ(d.status, FrameDecoder::Status::Frame);
    EXPECT_EQ(d.body, (Bytes{0x05, 0xFB}));
}

TEST(FrameDecode, OverlongBodyIsSummedButOnlyFirst256Stored) {
    Bytes wire{0x05};
    // 300 bytes of 0x01 then a checksum making the whole sum zero.
    for (int i = 0; i < 300; ++i) wire.insert(wire.end(), {0x09, 0x21});
    const uint8_t checksum = static_cast<uint8_t>(0u - 300u);
    wire.push_back(checksum);
    wire.push_back(0x0A);
    uint8_t body[MAX_MESSAGE_LENGTH + 8];
    std::fill(std::begin(body), std::end(body), 0xEE);
    FrameDecoder decoder(body);
    size_t consumed = 0;
    ASSERT_EQ(decoder.Feed(wire.data(), wire.size(), consumed), FrameDecoder::Status::Frame);
    EXPECT_EQ(consumed, wire.size());
    EXPECT_EQ(decoder.StoredCount(), 256u);
    EXPECT_EQ(decoder.MessageLength(), 255u);
    EXPECT_EQ(body[256], 0xEE) << "wrote past the 256-byte body";
}

TEST(FrameDecode, BulkFeedMatchesByteFeed) {
    const Bytes wire{0x33, 0x05, 0xC0, 0x09, 0x24, 0x09, 0x20, 0x09, 0x20, 0x3C, 0x0A,
                     0x05, 0xC0, 0x41, 0x0A, 0x05, 0xC0, 0x40, 0x0A};
    uint8_t body[MAX_MESSAGE_LENGTH];
    FrameDecoder decoder(body);
    std::vector<FrameDecoder::Status> statuses;
    size_t at = 0;
    while (at < wire.size()) {
        size_t used = 0;
        const auto s = decoder.Feed(wire.data() + at, wire.size() - at, used);
        at += used;
        if (s != FrameDecoder::Status::NeedMore) statuses.push_back(s);
    }
    EXPECT_EQ(statuses, (std::vector<FrameDecoder::Status>{FrameDecoder::Status::Frame,
                                                           FrameDecoder::Status::BadChecksum,
                                                           FrameDecoder::Status::Frame}));
}
