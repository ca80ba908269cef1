#include "cli/frame_tracer.h"

#include "cli/cli_platform.h"

namespace {
// Appends the decimal digits of value; returns the new position.
size_t PutDecimal(char* out, size_t at, uint64_t value, int minDigits) {
    char digits[24];
    int n = 0;
    do {
        digits[n++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0 || n < minDigits);
    while (n > 0) out[at++] = digits[--n];
    return at;
}
}  // namespace

size_t FormatTraceLine(char* out, size_t capacity, IFrameTrace::Direction direction, const uint8_t* bytes,
                       uint32_t length, uint64_t elapsedMicros) {
    static const char kHex[] = "0123456789ABCDEF";
    size_t at = 0;
    out[at++] = '+';
    // Right-aligned milliseconds, so the arrows line up for anything under 100 s.
    const uint64_t ms = elapsedMicros / 1000;
    for (uint64_t limit = 10000; limit > 1 && ms < limit; limit /= 10) out[at++] = ' ';
    at = PutDecimal(out, at, ms, 1);
    out[at++] = '.';
    at = PutDecimal(out, at, elapsedMicros % 1000, 3);
    const char* tag = direction == IFrameTrace::Direction::Sent ? " ms -> " : " ms <- ";
    for (const char* p = tag; *p != '\0'; ++p) out[at++] = *p;
    for (uint32_t i = 0; i < length; ++i) {
        // Room for "XX ", and for "...\n" should the frame not fit.
        if (at + 3 + 5 > capacity) {
            out[at++] = '.';
            out[at++] = '.';
            out[at++] = '.';
            break;
        }
        out[at++] = kHex[bytes[i] >> 4];
        out[at++] = kHex[bytes[i] & 0xF];
        if (i + 1 < length) out[at++] = ' ';
    }
    out[at++] = '\n';
    return at;
}

CFrameTracer::CFrameTracer(int fd) : m_fd(fd), m_previous(std::chrono::steady_clock::now()) {}

void CFrameTracer::OnFrame(Direction direction, const uint8_t* bytes, uint32_t length) {
    const auto now = std::chrono::steady_clock::now();
    const auto elapsed = std::chrono::duration_cast<std::chrono::microseconds>(now - m_previous).count();
    m_previous = now;
    const size_t n = FormatTraceLine(m_line, sizeof m_line, direction, bytes, length,
                                     elapsed > 0 ? static_cast<uint64_t>(elapsed) : 0);
    // A closed standard error must not stop the link: a failed write is dropped.
    WriteAllToDescriptor(m_fd, m_line, n);
}
