#pragma once
// Text helpers of the command line: the string table, JSON, progress lines,
// the detail that goes with a port that cannot be opened. Pure functions and
// small value types; any thread, no shared state.
#include <chrono>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// The string table's text, or "" when it has no such string.
std::string StringText(unsigned id);

// The longest prefix of text of at most bytes bytes that does not cut a UTF-8
// sequence in two (a translated line may hold umlauts or CJK glyphs).
size_t Utf8Boundary(const std::string& text, size_t bytes);

// Splits a painted information line "<label> : <value>" at its first separator;
// the value is "" when there is none.
std::string InfoLineValue(const std::string& line);

// The lines that explain why a port could not be opened: the port and the
// system's error text, then a hint where one helps (permissions, a busy port,
// a missing port).
std::vector<std::string> PortFailureDetail(const std::string& port, uint32_t systemError);

// The lines that explain a port on which nothing at all came back: the port,
// then what to check.
std::vector<std::string> SilentLineDetail(const std::string& port, double seconds);

// The ports as one JSON array, one object a port (null for what is unknown).
struct SerialPortEntry;
std::string PortsJson(const std::vector<SerialPortEntry>& ports);

// The version of `identify --json`'s object; raised when a field changes form
// or meaning (2: chipId as 8 hex digits, productNumber a number).
inline constexpr int kIdentifyJsonFormat = 2;

// `identify --json`: format, port, then the device block's fields.
struct DeviceInfo;
std::string IdentifyJson(const std::string& port, const DeviceInfo& device, int adapterLatencyMs);

// Download progress for people. On a terminal: one bar redrawn in place with
// the percentage, the bytes, the rate and the time left (carriage returns,
// redrawn at most ten times a second and at the end). Otherwise: one plain line
// each time another tenth of the image is done, no carriage returns.
class CProgressText {
public:
    using Clock = std::chrono::steady_clock;

    CProgressText(uint32_t total, bool terminal, Clock::time_point start);

    // The text to write for done bytes at time now ("" when nothing is due).
    std::string Update(uint32_t done, Clock::time_point now);
    // What ends the display: the line end a terminal bar still needs, or "".
    std::string Finish();

private:
    std::string Bar(uint32_t done, Clock::time_point now) const;

    uint32_t m_total;
    bool m_terminal;
    Clock::time_point m_start;
    Clock::time_point m_lastDraw{};
    bool m_drawn = false;
    int m_lastTenth = 0;
};

// "850 B/s", "1.9 kB/s", "12.4 MB/s".
std::string FormatRate(double bytesPerSecond);
// "7 s", "2 min 05 s", "1 h 02 min".
std::string FormatDuration(double seconds);
