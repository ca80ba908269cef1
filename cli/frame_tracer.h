#pragma once
// --trace: every frame sent and received, in hex, with the time since the
// previous frame, written to a file descriptor (standard error).
//
// OnFrame() runs on the link's worker thread: it formats into a buffer of its
// own and writes with one system call, without allocating or locking. Attach
// with CSerialPort::SetTrace before the link starts; the object must outlive
// the link's worker (detach, or Stop() the link, before destroying it).
#include <chrono>
#include <cstddef>
#include <cstdint>

#include "link/frame_codec.h"
#include "link/serial_port.h"

// Formats one trace line into out (capacity bytes, at least 64) and returns its
// length: "+<ms>.<us> ms -> 05 80 04 ... 0A\n" ("->" sent, "<-" received). A
// frame too long for the buffer ends in "...". elapsedMicros is the time since
// the previous frame.
size_t FormatTraceLine(char* out, size_t capacity, IFrameTrace::Direction direction, const uint8_t* bytes,
                       uint32_t length, uint64_t elapsedMicros);

class CFrameTracer final : public IFrameTrace {
public:
    explicit CFrameTracer(int fd);
    void OnFrame(Direction direction, const uint8_t* bytes, uint32_t length) override;

private:
    // A received frame's raw bytes can reach twice the longest frame.
    static constexpr size_t kLineCapacity = 40 + 3 * 2 * MAX_FRAME_LENGTH;

    int m_fd;
    std::chrono::steady_clock::time_point m_previous;
    char m_line[kLineCapacity];
};
