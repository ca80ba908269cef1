#include "link/frame_codec.h"

namespace {
// Stores one byte, escaped when below 0x20. False when it does not fit.
bool Put(uint8_t value, uint8_t* out, size_t capacity, size_t& n) {
    if (value >= 0x20) {
        if (n + 1 > capacity) return false;
        out[n++] = value;
    } else {
        if (n + 2 > capacity) return false;
        out[n++] = FRAME_ESCAPE;
        out[n++] = static_cast<uint8_t>(value | 0x20);
    }
    return true;
}
}  // namespace

uint8_t FrameChecksum(const uint8_t* message, uint32_t length) {
    uint8_t sum = 0;
    for (uint32_t i = 0; i < length; ++i) sum = static_cast<uint8_t>(sum + message[i]);
    return static_cast<uint8_t>(0u - sum);
}

size_t BuildFrame(const uint8_t* message, uint32_t length, uint8_t* out, size_t capacity) {
    if (length > MAX_MESSAGE_LENGTH) length = MAX_MESSAGE_LENGTH;
    size_t n = 0;
    if (capacity < 1) return 0;
    out[n++] = FRAME_START;
    uint8_t sum = 0;
    for (uint32_t i = 0; i < length; ++i) {
        sum = static_cast<uint8_t>(sum + message[i]);
        if (!Put(message[i], out, capacity, n)) return 0;
    }
    if (!Put(static_cast<uint8_t>(0u - sum), out, capacity, n)) return 0;
    if (n + 1 > capacity) return 0;
    out[n++] = FRAME_END;
    return n;
}

void FrameDecoder::Reset() {
    m_hunting = true;
    m_escape = false;
    m_sum = 0;
    m_count = 0;
}

FrameDecoder::Status FrameDecoder::Feed(uint8_t byte) {
    if (m_hunting) {
        if (byte == FRAME_START) {
            m_hunting = false;
            m_escape = false;
            m_sum = 0;
            m_count = 0;
        }
        return Status::NeedMore;
    }
    if (byte == FRAME_END) {
        // Ends the body even right after an escape; the dangling escape is dropped.
        const uint8_t sum = m_sum;
        const uint32_t count = m_count;
        Reset();
        if (sum != 0) return Status::BadChecksum;
        if (count < 2) return Status::TooShort;
        m_storedCount = count;
        return Status::Frame;
    }
    if (byte == FRAME_ESCAPE) {
        m_escape = true;
        return Status::NeedMore;
    }
    uint8_t value = byte;
    if (m_escape) value ^= 0x20;
    m_escape = false;
    m_sum = static_cast<uint8_t>(m_sum + value);
    // Longer bodies are summed but only the first 256 bytes are kept.
    if (m_count < MAX_MESSAGE_LENGTH) m_body[m_count] = value;
    if (m_count < MAX_MESSAGE_LENGTH) ++m_count;
    return Status::NeedMore;
}

FrameDecoder::Status FrameDecoder::Feed(const uint8_t* data, size_t size, size_t& consumed) {
    consumed = 0;
    while (consumed < size) {
        const Status s = Feed(data[consumed++]);
        if (s != Status::NeedMore) return s;
    }
    return Status::NeedMore;
}
