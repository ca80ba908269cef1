// The frame decoder on arbitrary line bytes, and the builder/decoder round trip.
//
// Properties:
//  - feeding the bytes one at a time and in bulk calls gives the same sequence
//    of ended frames (status and stored body);
//  - a good frame's body sums to zero, holds 2 to 256 bytes, and its message
//    length is one less;
//  - any message of up to 256 bytes (the first bytes of the input) built into a
//    frame fits in 516 bytes, contains no unescaped control byte, and decodes
//    back to itself; a buffer one byte short of the frame is refused.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "fuzz_check.h"
#include "link/frame_codec.h"

namespace {
struct Ended {
    FrameDecoder::Status status;
    std::vector<uint8_t> body;  // the stored body, for good frames only
};

void Record(std::vector<Ended>& out, FrameDecoder::Status status, const FrameDecoder& decoder,
            const uint8_t* body) {
    Ended e{status, {}};
    if (status == FrameDecoder::Status::Frame) {
        const uint32_t stored = decoder.StoredCount();
        FUZZ_CHECK(stored >= 2 && stored <= MAX_MESSAGE_LENGTH);
        FUZZ_CHECK(decoder.MessageLength() == stored - 1);
        e.body.assign(body, body + stored);
    }
    out.push_back(std::move(e));
}

void CheckDecoding(const uint8_t* data, size_t size) {
    uint8_t bodyA[MAX_MESSAGE_LENGTH];
    uint8_t bodyB[MAX_MESSAGE_LENGTH];
    FrameDecoder one(bodyA);
    FrameDecoder bulk(bodyB);

    std::vector<Ended> a;
    for (size_t i = 0; i < size; ++i) {
        const FrameDecoder::Status s = one.Feed(data[i]);
        if (s != FrameDecoder::Status::NeedMore) {
            Record(a, s, one, bodyA);
            FUZZ_CHECK(one.Hunting());  // an ended frame restarts the hunt
        }
    }

    std::vector<Ended> b;
    size_t offset = 0;
    while (offset < size) {
        size_t consumed = 0;
        const FrameDecoder::Status s = bulk.Feed(data + offset, size - offset, consumed);
        FUZZ_CHECK(consumed >= 1 && consumed <= size - offset);
        offset += consumed;
        if (s != FrameDecoder::Status::NeedMore)
            Record(b, s, bulk, bodyB);
        else
            FUZZ_CHECK(offset == size);  // NeedMore only when the input ran out
    }
    FUZZ_CHECK(one.Hunting() == bulk.Hunting());

    FUZZ_CHECK(a.size() == b.size());
    for (size_t i = 0; i < a.size(); ++i) {
        FUZZ_CHECK(a[i].status == b[i].status);
        FUZZ_CHECK(a[i].body == b[i].body);
        if (a[i].status == FrameDecoder::Status::Frame) {
            // Only the first 256 body bytes are stored; when a body was longer
            // its sum still covered every byte, so check the sum only when the
            // stored count is below the limit.
            if (a[i].body.size() < MAX_MESSAGE_LENGTH) {
                uint8_t sum = 0;
                for (uint8_t v : a[i].body) sum = static_cast<uint8_t>(sum + v);
                FUZZ_CHECK(sum == 0);
            }
        }
    }
}

void CheckRoundTrip(const uint8_t* data, size_t size) {
    const uint32_t length = static_cast<uint32_t>(size < MAX_MESSAGE_LENGTH ? size : MAX_MESSAGE_LENGTH);
    uint8_t frame[MAX_FRAME_LENGTH];
    const size_t n = BuildFrame(data, length, frame, sizeof frame);
    FUZZ_CHECK(n >= 3 && n <= MAX_FRAME_LENGTH);
    FUZZ_CHECK(frame[0] == FRAME_START && frame[n - 1] == FRAME_END);
    for (size_t i = 1; i + 1 < n; ++i) FUZZ_CHECK(frame[i] >= 0x20 || frame[i] == FRAME_ESCAPE);

    // Exactly the frame's length fits; one byte less does not.
    std::vector<uint8_t> exact(n);
    FUZZ_CHECK(BuildFrame(data, length, exact.data(), exact.size()) == n);
    FUZZ_CHECK(std::memcmp(exact.data(), frame, n) == 0);
    std::vector<uint8_t> shorter(n - 1);
    FUZZ_CHECK(BuildFrame(data, length, shorter.data(), shorter.size()) == 0);
    // More bytes than a message holds: only the first 256 are framed.
    if (size > MAX_MESSAGE_LENGTH) {
        uint8_t again[MAX_FRAME_LENGTH];
        FUZZ_CHECK(BuildFrame(data, static_cast<uint32_t>(size), again, sizeof again) == n);
        FUZZ_CHECK(std::memcmp(again, frame, n) == 0);
    }

    uint8_t body[MAX_MESSAGE_LENGTH];
    FrameDecoder decoder(body);
    size_t consumed = 0;
    const FrameDecoder::Status s = decoder.Feed(frame, n, consumed);
    FUZZ_CHECK(consumed == n);
    if (length == 0) {
        // The checksum alone is one body byte: too short to be a reply.
        FUZZ_CHECK(s == FrameDecoder::Status::TooShort);
        return;
    }
    if (length == MAX_MESSAGE_LENGTH) {
        // Message and checksum are 257 bytes: the checksum is summed, not stored.
        FUZZ_CHECK(s == FrameDecoder::Status::Frame);
        FUZZ_CHECK(decoder.StoredCount() == MAX_MESSAGE_LENGTH);
        FUZZ_CHECK(std::memcmp(body, data, MAX_MESSAGE_LENGTH) == 0);
        return;
    }
    FUZZ_CHECK(s == FrameDecoder::Status::Frame);
    FUZZ_CHECK(decoder.MessageLength() == length);
    FUZZ_CHECK(std::memcmp(body, data, length) == 0);
    FUZZ_CHECK(body[length] == FrameChecksum(data, length));
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CheckDecoding(data, size);
    CheckRoundTrip(data, size);
    return 0;
}
