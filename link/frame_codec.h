#pragma once
// Byte-level framing of the device protocol as pure functions: no port, no
// allocation, usable from any thread on its own buffers.
//
// Wire frame: FRAME_START, message bytes and checksum (each byte below 0x20 sent
// as FRAME_ESCAPE, byte | 0x20), FRAME_END. The checksum makes the 8-bit sum of
// message and checksum zero.
#include <cstddef>
#include <cstdint>

inline constexpr uint8_t FRAME_START = 0x05;
inline constexpr uint8_t FRAME_ESCAPE = 0x09;
inline constexpr uint8_t FRAME_END = 0x0A;
inline constexpr uint32_t MAX_MESSAGE_LENGTH = 256;
inline constexpr uint32_t MAX_FRAME_LENGTH = 516;  // start + 2*256 + 2 + end

// Builds the frame of the first min(length, 256) message bytes into out.
// Returns the frame length, or 0 when it would not fit in outCapacity.
size_t BuildFrame(const uint8_t* message, uint32_t length, uint8_t* out, size_t outCapacity);

// Two's complement of the 8-bit sum of the bytes.
uint8_t FrameChecksum(const uint8_t* message, uint32_t length);

// Decodes frames byte by byte into a caller-owned body buffer of 256 bytes.
class FrameDecoder {
public:
    enum class Status {
        NeedMore,     // byte taken, frame not finished
        Frame,        // a frame with a correct checksum and at least two body bytes ended
        BadChecksum,  // a frame ended whose body does not sum to zero
        TooShort,     // a frame ended with fewer than two body bytes
    };

    explicit FrameDecoder(uint8_t* body) : m_body(body) {}

    // Starts hunting for FRAME_START again.
    void Reset();
    Status Feed(uint8_t byte);
    // Feeds bytes until a frame ends or the input runs out; consumed tells how many
    // bytes were taken. The decoder resets itself after reporting an ended frame.
    Status Feed(const uint8_t* data, size_t size, size_t& consumed);

    [[nodiscard]] bool Hunting() const { return m_hunting; }
    // Body bytes stored by the last ended frame (at most 256, checksum included).
    uint32_t StoredCount() const { return m_storedCount; }
    // Message length of the last good frame: stored count less the checksum.
    uint32_t MessageLength() const { return m_storedCount - 1; }

private:
    uint8_t* m_body;
    bool m_hunting = true;
    bool m_escape = false;
    uint8_t m_sum = 0;
    uint32_t m_count = 0;
    uint32_t m_storedCount = 0;
};
