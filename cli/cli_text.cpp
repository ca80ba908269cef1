#include "cli/cli_text.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <utility>

#include "link/device_info.h"
#include "link/platform.h"
#include "link/port_failure.h"
#include "link/port_list.h"
#include "records/json_text.h"
#include "res/info_lines.h"
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

std::string InfoLineValue(const std::string& line) {
    const size_t at = line.find(" : ");
    return at == std::string::npos ? std::string() : line.substr(at + 3);
}

std::vector<std::string> PortFailureDetail(const std::string& port, uint32_t systemError) {
    std::vector<std::string> lines;
    lines.push_back(systemError != 0 ? FormatText(Tr("Port %s: %s"), {port, SystemErrorText(systemError)})
                                     : FormatText(Tr("Port %s"), {port}));
    if (const char* hint = PortFailureHint(systemError)) lines.push_back(Tr(hint));
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
    Json array = Json::array();
    for (const SerialPortEntry& port : ports) {
        Json object = {{"name", JsonText(port.name)},
                       {"path", JsonText(port.path)},
                       {"description", JsonTextOrNull(port.description)},
                       {"vendorId", JsonTextOrNull(port.vendorId)},
                       {"productId", JsonTextOrNull(port.productId)},
                       {"serialNumber", JsonTextOrNull(port.serial)},
                       {"byPath", JsonTextOrNull(port.byPath)},
                       {"adapterLatencyMs", port.latencyMs >= 0 ? Json(port.latencyMs) : Json(nullptr)}};
        array.push_back(std::move(object));
    }
    return JsonLine(array);
}

std::string IdentifyJson(const std::string& port, const DeviceInfo& device, int adapterLatencyMs) {
    const Json object = {
        {"format", kIdentifyJsonFormat},
        {"port", JsonText(port)},
        {"chipId", ChipIdText(device.chipId)},
        {"name", JsonText(device.name.Text())},
        {"swVersion", FormatVersion(device.swMajor, device.swMinor)},
        {"hwLowest", FormatVersion(device.hwLowestMajor, device.hwLowestMinor)},
        {"hwHighest", FormatVersion(device.hwHighestMajor, device.hwHighestMinor)},
        {"hwCurrent", FormatVersion(device.hwCurrentMajor, device.hwCurrentMinor)},
        {"productNumber", device.productNumber},
        {"adapterLatencyMs", adapterLatencyMs >= 0 ? Json(adapterLatencyMs) : Json(nullptr)},
    };
    return JsonLine(object);
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
