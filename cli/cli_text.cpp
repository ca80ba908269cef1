#include "cli/cli_text.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>

#include "link/platform.h"
#include "link/port_list.h"
#include "res/strings.h"
#include "res/translation.h"

size_t Utf8Boundary(const std::string& text, size_t bytes) {
    if (bytes >= text.size()) return text.size();
    while (bytes > 0 && (static_cast<unsigned char>(text[bytes]) & 0xC0) == 0x80) --bytes;
    return bytes;
}

std::string StringText(unsigned id) {
    const char* text = LoadStringText(id);
    return text != nullptr ? text : "";
}

namespace {

// Length of the valid UTF-8 sequence that starts at text[i], or 0 when none does
// (overlong forms, surrogates and code points above U+10FFFF are not valid).
size_t Utf8SequenceLength(const std::string& text, size_t i) {
    const auto byte = [&text](size_t at) { return static_cast<unsigned char>(text[at]); };
    const unsigned char b0 = byte(i);
    size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;  // range of the second byte
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        length = 2;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        length = 3;
        if (b0 == 0xE0) low = 0xA0;
        if (b0 == 0xED) high = 0x9F;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        length = 4;
        if (b0 == 0xF0) low = 0x90;
        if (b0 == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (i + length > text.size()) return 0;
    if (byte(i + 1) < low || byte(i + 1) > high) return 0;
    for (size_t k = 2; k < length; ++k) {
        if (byte(i + k) < 0x80 || byte(i + k) > 0xBF) return 0;
    }
    return length;
}

void AppendUnicodeEscape(std::string& out, unsigned value) {
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "\\u%04X", value);
    out += buffer;
}

}  // namespace

std::string JsonString(const std::string& text) {
    std::string out;
    out.reserve(text.size() + 2);
    out += '"';
    for (size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
            ++i;
        } else if (c < 0x20 || c == 0x7F) {
            AppendUnicodeEscape(out, c);
            ++i;
        } else if (c < 0x80) {
            out += static_cast<char>(c);
            ++i;
        } else if (const size_t n = Utf8SequenceLength(text, i); n != 0) {
            out.append(text, i, n);
            i += n;
        } else {
            AppendUnicodeEscape(out, c);
            ++i;
        }
    }
    out += '"';
    return out;
}

JsonObject& JsonObject::Add(const std::string& key, const std::string& value) {
    m_fields.emplace_back(key, JsonString(value));
    return *this;
}

JsonObject& JsonObject::Add(const std::string& key, const char* value) {
    if (value == nullptr) return AddNull(key);
    return Add(key, std::string(value));
}

JsonObject& JsonObject::Add(const std::string& key, uint64_t value) {
    m_fields.emplace_back(key, std::to_string(value));
    return *this;
}

JsonObject& JsonObject::Add(const std::string& key, bool value) {
    m_fields.emplace_back(key, value ? "true" : "false");
    return *this;
}

JsonObject& JsonObject::AddFixed(const std::string& key, double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    m_fields.emplace_back(key, text);
    return *this;
}

JsonObject& JsonObject::AddNull(const std::string& key) {
    m_fields.emplace_back(key, "null");
    return *this;
}

std::string JsonObject::Text() const {
    std::string out = "{";
    for (size_t i = 0; i < m_fields.size(); ++i) {
        if (i != 0) out += ',';
        out += JsonString(m_fields[i].first);
        out += ':';
        out += m_fields[i].second;
    }
    out += '}';
    return out;
}

std::string InfoLineValue(const std::string& line) {
    const size_t at = line.find(" : ");
    return at == std::string::npos ? std::string() : line.substr(at + 3);
}

std::vector<std::string> PortFailureDetail(const std::string& port, uint32_t systemError) {
    std::vector<std::string> lines;
    lines.push_back(systemError != 0 ? FormatText(Tr("Port %s: %s"), {port, SystemErrorText(systemError)})
                                     : FormatText(Tr("Port %s"), {port}));
    // Busy first: Windows reports a port held by another program as access
    // denied, which it counts as both (on POSIX the two never overlap).
    if (IsBusyError(systemError)) {
        lines.push_back(Tr("Hint: another program holds the port; close it and try again."));
    } else if (IsPermissionError(systemError)) {
        lines.push_back(
            Tr("Hint: your user may not use serial ports; add it to the dialout group "
               "(sudo usermod -aG dialout $USER) and log in again."));
    } else if (IsMissingError(systemError)) {
        lines.push_back(Tr("Hint: 'kavro-cli ports' lists the serial ports of this machine."));
    }
    return lines;
}

std::vector<std::string> SilentLineDetail(const std::string& port, double seconds) {
    char after[32];
    std::snprintf(after, sizeof after, "%.1f s", seconds);
    return {FormatText(Tr("Nothing came back on %s within %s of opening it: not a single byte."), {port, after}),
            FormatText(Tr("Hint: check that the device is powered, that the cable is plugged in at both ends (a "
                          "null-modem cable where the device needs one), and that %s is the port the device is on "
                          "('kavro-cli ports' lists them). --timeout waits longer."),
                       {port})};
}

std::string PortsJson(const std::vector<SerialPortEntry>& ports) {
    const auto addText = [](JsonObject& object, const char* key, const std::string& value) {
        if (value.empty())
            object.AddNull(key);
        else
            object.Add(key, value);
    };
    std::string text = "[";
    for (const SerialPortEntry& port : ports) {
        JsonObject object;
        object.Add("name", port.name);
        object.Add("path", port.path);
        addText(object, "description", port.description);
        addText(object, "vendorId", port.vendorId);
        addText(object, "productId", port.productId);
        addText(object, "serialNumber", port.serial);
        addText(object, "byPath", port.byPath);
        if (port.latencyMs >= 0)
            object.Add("adapterLatencyMs", static_cast<uint64_t>(port.latencyMs));
        else
            object.AddNull("adapterLatencyMs");
        if (text.size() > 1) text += ",";
        text += object.Text();
    }
    return text + "]";
}

std::string FormatRate(double bytesPerSecond) {
    char buffer[32];
    if (bytesPerSecond < 1000)
        std::snprintf(buffer, sizeof buffer, "%.0f B/s", bytesPerSecond);
    else if (bytesPerSecond < 1e6)
        std::snprintf(buffer, sizeof buffer, "%.1f kB/s", bytesPerSecond / 1e3);
    else
        std::snprintf(buffer, sizeof buffer, "%.1f MB/s", bytesPerSecond / 1e6);
    return buffer;
}

std::string FormatDuration(double seconds) {
    const uint64_t s = seconds <= 0 ? 0 : static_cast<uint64_t>(seconds + 0.5);
    char buffer[48];
    if (s < 60)
        std::snprintf(buffer, sizeof buffer, "%" PRIu64 " s", s);
    else if (s < 3600)
        std::snprintf(buffer, sizeof buffer, "%" PRIu64 " min %02" PRIu64 " s", s / 60, s % 60);
    else
        std::snprintf(buffer, sizeof buffer, "%" PRIu64 " h %02" PRIu64 " min", s / 3600, s / 60 % 60);
    return buffer;
}

CProgressText::CProgressText(uint32_t total, bool terminal, Clock::time_point start)
    : m_total(total), m_terminal(terminal), m_start(start) {}

namespace {
uint32_t Percent(uint32_t done, uint32_t total) {
    if (total == 0) return 100;
    return static_cast<uint32_t>(uint64_t{std::min(done, total)} * 100 / total);
}
}  // namespace

std::string CProgressText::Bar(uint32_t done, Clock::time_point now) const {
    constexpr int kWidth = 30;
    const uint32_t percent = Percent(done, m_total);
    const int filled = static_cast<int>(percent * kWidth / 100);
    std::string bar = "\r[" + std::string(static_cast<size_t>(filled), '#') +
                      std::string(static_cast<size_t>(kWidth - filled), '.') + "] ";
    char padded[8];
    std::snprintf(padded, sizeof padded, "%3u", percent);
    bar += FormatText(Tr("%s%%  %s/%s bytes"), {padded, std::to_string(done), std::to_string(m_total)});
    const double elapsed = std::chrono::duration<double>(now - m_start).count();
    if (elapsed > 0 && done > 0) {
        const double rate = done / elapsed;
        bar += "  " + FormatRate(rate);
        if (done < m_total) bar += "  " + FormatText(Tr("%s left"), {FormatDuration((m_total - done) / rate)});
    }
    // Clears what a longer earlier drawing left at the end of the line.
    bar += "\x1b[K";
    return bar;
}

std::string CProgressText::Update(uint32_t done, Clock::time_point now) {
    if (m_terminal) {
        const bool last = done >= m_total;
        if (m_drawn && !last && now - m_lastDraw < std::chrono::milliseconds(100)) return {};
        m_drawn = true;
        m_lastDraw = now;
        return Bar(done, now);
    }
    const int tenth = static_cast<int>(Percent(done, m_total) / 10);
    if (tenth <= m_lastTenth) return {};
    m_lastTenth = tenth;
    return FormatText(Tr("Downloading: %s%% (%s of %s bytes)"),
                      {std::to_string(Percent(done, m_total)), std::to_string(std::min(done, m_total)),
                       std::to_string(m_total)}) +
           "\n";
}

std::string CProgressText::Finish() {
    if (m_terminal && m_drawn) {
        m_drawn = false;
        return "\n";
    }
    return {};
}
