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

// A JSON string literal of text, quotes included. Quotes, backslashes and
// control characters are escaped (controls as \u00XX); valid UTF-8 passes
// through, and any byte that is not part of a valid UTF-8 sequence is taken as
// Latin-1 and escaped, so the result is always valid JSON.
std::string JsonString(const std::string& text);

// A flat JSON object, fields in the order they were added.
class JsonObject {
public:
    JsonObject& Add(const std::string& key, const std::string& value);
    JsonObject& Add(const std::string& key, const char* value);
    JsonObject& Add(const std::string& key, uint64_t value);
    JsonObject& Add(const std::string& key, bool value);
    JsonObject& AddNull(const std::string& key);
    // A number with the given count of decimals (a finite value).
    JsonObject& AddFixed(const std::string& key, double value, int decimals);
    // One line: {"key":value,...}
    std::string Text() const;

private:
    std::vector<std::pair<std::string, std::string>> m_fields;  // key, JSON value
};

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
