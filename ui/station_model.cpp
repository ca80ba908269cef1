#include "ui/station_model.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>

#include <wx/datetime.h>

#include "link/adapter_latency.h"
#include "records/record_time.h"
#include "res/info_lines.h"
#include "ui/station_reasons.h"
#include "ui/station_texts.h"

namespace {
// printf into a std::string (the texts carry their own placeholders).
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* format, ...) {
    char buffer[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    return buffer;
}

bool Failed(UnitResult result) { return result != UnitResult::Passed && result != UnitResult::Stopped; }

// The last unit's failure is still what the bay has to say: not once a new
// unit is being flashed.
bool ShowsFailure(const BayStatus& bay) {
    return bay.hasLastResult && Failed(bay.lastResult) && bay.state != BayState::Flashing;
}

// The last unit's outcome: passed, failed (with its reason) or stopped.
void DescribeResult(const BayStatus& bay, TileContent& tile) {
    if (!bay.hasLastResult || bay.lastResult == UnitResult::Passed) {
        tile.state = Tr(stationtext::kStatePassed);
        tile.icon = TileIcon::Passed;
        tile.tone = TileTone::Good;
    } else if (bay.lastResult == UnitResult::Stopped) {
        tile.state = Tr(stationtext::kStateStopped);
        tile.icon = TileIcon::Stopped;
        tile.tone = TileTone::Off;
    } else {
        tile.state = Tr(stationtext::kStateFailed);
        tile.icon = TileIcon::Failed;
        tile.tone = TileTone::Bad;
    }
}

// A download that stands still shows no percentage as if it moved on.
void DescribeNoReply(TileContent& tile) {
    tile.reason = Format(Tr(stationtext::kNoReplyReason), static_cast<unsigned>(tile.percent));
    tile.state = Tr(stationtext::kStateNoReply);
    tile.icon = TileIcon::NoReply;
    tile.tone = TileTone::Bad;
    tile.percent = -1;
}

void DescribeState(const BayStatus& bay, TileContent& tile) {
    switch (bay.state) {
        case BayState::Idle:
            tile.state = Tr(stationtext::kStateIdle);
            break;
        case BayState::WaitingForUnit:
            // A unit that did not pass stays FAILED until the next one answers:
            // a silent or pulled unit must never look like a finished one.
            if (ShowsFailure(bay)) {
                DescribeResult(bay, tile);
                break;
            }
            tile.state = Tr(stationtext::kStateWaiting);
            tile.icon = TileIcon::Waiting;
            break;
        case BayState::Flashing:
            tile.percent = bay.total > 0 ? static_cast<int>(uint64_t{bay.position} * 100 / bay.total) : 0;
            tile.state = Format(Tr(stationtext::kStateFlashing), static_cast<unsigned>(tile.percent));
            tile.icon = TileIcon::Flashing;
            tile.tone = TileTone::Busy;
            break;
        case BayState::WaitingForRemoval:
        case BayState::Done:
            DescribeResult(bay, tile);
            break;
        case BayState::Paused:
            tile.state = Tr(stationtext::kStatePaused);
            tile.icon = TileIcon::Paused;
            tile.tone = TileTone::Off;
            break;
        case BayState::OutOfService:
            tile.state = Tr(stationtext::kStateOutOfService);
            tile.icon = TileIcon::OutOfService;
            tile.tone = TileTone::Bad;
            break;
        case BayState::Stopped:
            tile.state = Tr(stationtext::kStateStopped);
            tile.icon = TileIcon::Stopped;
            tile.tone = TileTone::Off;
            break;
    }
}
}  // namespace

ShiftSummary SummarizeShift(const std::vector<UnitRecord>& records, int64_t nowUtcMs) {
    ShiftSummary shift;
    int64_t firstStart = nowUtcMs;
    for (const UnitRecord& record : records) {
        UnitCounts& port = shift.ports[record.port];
        if (record.result == UnitResult::Stopped) {
            ++shift.total.stopped;
            ++port.stopped;
            continue;
        }
        ++(record.result == UnitResult::Passed ? shift.total.passed : shift.total.failed);
        ++(record.result == UnitResult::Passed ? port.passed : port.failed);
        firstStart = std::min(firstStart, record.startedUtcMs);
    }
    if (shift.total.passed + shift.total.failed < kFewestForPace) return shift;
    const int64_t windowMs = std::chrono::duration_cast<std::chrono::milliseconds>(kPaceWindow).count();
    const int64_t from = std::max(nowUtcMs - windowMs, firstStart);
    const auto recent = std::count_if(records.begin(), records.end(), [from](const UnitRecord& record) {
        return record.result != UnitResult::Stopped && record.endedUtcMs >= from;
    });
    if (nowUtcMs > from) shift.unitsPerHour = static_cast<double>(recent) * 3600000.0 / static_cast<double>(nowUtcMs - from);
    return shift;
}

bool CProgressWatch::Stalled(const BayStatus& bay, std::chrono::steady_clock::time_point now) {
    // Before the first block the unit is checked and the order asked; after
    // the last the unit may take its time to write and restart.
    const bool downloading = bay.state == BayState::Flashing && bay.position > 0 && bay.position < bay.total;
    if (!downloading || !m_downloading || bay.position != m_position) m_moved = now;
    m_downloading = downloading;
    m_position = bay.position;
    return downloading && now - m_moved >= kNoReplyAfter;
}

TileContent DescribeBay(size_t index, const BayStatus& bay, const UnitCounts& counts, bool stalled) {
    TileContent tile;
    tile.title = Format(Tr(stationtext::kBayTitle), index + 1);
    tile.port = bay.config.port;
    tile.place = PhysicalPlace(bay.config.port);
    DescribeState(bay, tile);
    if (bay.device.name.Text()[0] != '\0' || bay.device.productNumber != 0)
        tile.unit = Format(Tr(stationtext::kUnitLine), bay.device.name.Text(), static_cast<unsigned>(bay.device.productNumber));
    else
        tile.unit = bay.state == BayState::WaitingForUnit ? Tr(stationtext::kWaitingHint) : Tr(stationtext::kNoUnit);
    if (ShowsFailure(bay)) tile.reason = ShownReason(bay.lastMessage);
    if (stalled && bay.state == BayState::Flashing) DescribeNoReply(tile);
    // A port the bay cannot open says why while the bay waits for it.
    if (bay.state == BayState::WaitingForUnit && !bay.portFailure.empty()) tile.reason = bay.portFailure;
    tile.counts = Format(Tr(stationtext::kCountLine), counts.passed, counts.failed, counts.stopped);
    return tile;
}

std::string RemoveFlashingBayQuestion(size_t number) { return Format(Tr(stationtext::kAskRemove), number); }

std::string BayTooltip(const std::string& port, int latencyMs) {
    AdapterLatency adapter;
    adapter.timerMs = latencyMs;
    std::string text = port + "\n" + AdapterLatencyLine(adapter);
    if (AdapterLatencyTooHigh(latencyMs)) text += "\n" + AdapterLatencyAdvice(port, latencyMs);
    return text;
}

std::string PhysicalPlace(const std::string& port) {
    static const std::string kByPath = "/dev/serial/by-path/";
    if (port.compare(0, kByPath.size(), kByPath) != 0) return {};
    const std::string name = port.substr(kByPath.size());
    // ...-usb-0:2.1:1.0-port0 or ...-usbv2-0:2.1:1.0-port0: the hub ports between the colons.
    const size_t usb = name.find("-usb");
    if (usb == std::string::npos) return {};
    const size_t first = name.find(':', usb);
    const size_t second = first == std::string::npos ? first : name.find(':', first + 1);
    if (second == std::string::npos || second == first + 1) return {};
    const std::string socket = name.substr(first + 1, second - first - 1);
    const size_t portAt = name.rfind("-port");
    if (portAt == std::string::npos || portAt < second || portAt + 5 >= name.size())
        return Format(Tr(stationtext::kPlace), socket.c_str());
    return Format(Tr(stationtext::kPlacePort), socket.c_str(), name.substr(portAt + 5).c_str());
}

std::string ImageLine(const FirmwareImage& image) {
    if (image.data.empty()) return Tr(stationtext::kNoImage);
    const FirmwareInfo& info = image.info;
    return Format(Tr(stationtext::kImageLine), info.name.Text(), FormatVersion(info.swMajor, info.swMinor).c_str(),
                  FormatVersion(info.hwLowestMajor, info.hwLowestMinor).c_str(),
                  FormatVersion(info.hwHighestMajor, info.hwHighestMinor).c_str(), image.checksum,
                  image.BuiltIn() ? Tr(stationtext::kBuiltIn) : image.path.c_str());
}

std::string TotalsLine(const ShiftSummary& shift) {
    const uint32_t finished = shift.total.passed + shift.total.failed;
    const std::string yield =
        finished == 0 ? "-" : Format("%.1f %%", 100.0 * shift.total.passed / static_cast<double>(finished));
    const std::string pace = shift.unitsPerHour ? Format("%.0f", *shift.unitsPerHour) : "-";
    return Format(Tr(stationtext::kTotalsLine), shift.total.passed, shift.total.failed, yield.c_str(), pace.c_str());
}

namespace {
const char* ResultWords(UnitResult result) {
    switch (result) {
        case UnitResult::Passed: return Tr(stationtext::kResultPassed);
        case UnitResult::RefusedByHardwareRange: return Tr(stationtext::kResultRefused);
        case UnitResult::NoResponse: return Tr(stationtext::kResultNoResponse);
        case UnitResult::PortFailed: return Tr(stationtext::kResultPortFailed);
        case UnitResult::Stopped: return Tr(stationtext::kResultStopped);
    }
    return "";
}

std::string CsvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string out = "\"";
    for (char c : text) out += c == '"' ? std::string("\"\"") : std::string(1, c);
    return out + '"';
}
}  // namespace

std::string PortEnd(const std::string& port) {
    const size_t slash = port.find_last_of("/\\");
    std::string end = slash == std::string::npos || slash + 1 == port.size() ? port : port.substr(slash + 1);
    if (end.size() <= kPortEndLength) return end;
    size_t from = end.size() - (kPortEndLength - 1);
    // Never from the middle of a character.
    while (from < end.size() && (static_cast<unsigned char>(end[from]) & 0xC0) == 0x80) ++from;
    return "\u2026" + end.substr(from);
}

std::string LocalTimeText(int64_t utcMs) {
    const wxDateTime time{wxLongLong(utcMs)};
    return std::string(time.Format("%Y-%m-%d %H:%M:%S").utf8_str());
}

RecordRow DescribeRecord(const UnitRecord& record, size_t bayNumber) {
    RecordRow row;
    row.time = LocalTimeText(record.startedUtcMs);
    row.bay = bayNumber == 0 ? PortEnd(record.port) : std::to_string(bayNumber) + " \u00B7 " + PortEnd(record.port);
    // The result column names the result: the reason column tells the rest.
    if (record.result != UnitResult::Passed) row.reason = ShownDetail(record.message);
    row.product = std::to_string(record.device.productNumber);
    row.result = ResultWords(record.result);
    row.duration = Format(Tr(stationtext::kDuration), static_cast<double>(record.DurationMs()) / 1000.0);
    return row;
}

std::string RecordsCsv(const std::vector<UnitRecord>& records) {
    std::string csv = "time_utc,bay,product_number,result,duration_s,message\r\n";
    for (const UnitRecord& record : records) {
        csv += FormatUtcTime(record.startedUtcMs) + ',' + CsvField(record.port) + ',' +
               std::to_string(record.device.productNumber) + ',' + UnitResultName(record.result) + ',' +
               Format("%.3f", static_cast<double>(record.DurationMs()) / 1000.0) + ',' + CsvField(record.message) +
               "\r\n";
    }
    return csv;
}

int GridColumns(size_t tiles, int width, int height, int leastWidth) {
    if (tiles <= 1 || width <= 0 || height <= 0) return 1;
    const size_t most = leastWidth > 0 ? std::max<size_t>(1, static_cast<size_t>(width / leastWidth)) : tiles;
    int best = 1;
    double bestScale = 0;
    for (size_t columns = 1; columns <= std::min(tiles, most); ++columns) {
        const size_t rows = (tiles + columns - 1) / columns;
        const double tileWidth = static_cast<double>(width) / static_cast<double>(columns);
        const double tileHeight = static_cast<double>(height) / static_cast<double>(rows);
        // The size of a 3:2 tile that fits the cell.
        const double scale = std::min(tileWidth / 3.0, tileHeight / 2.0);
        if (scale > bestScale + 1e-9) {
            bestScale = scale;
            best = static_cast<int>(columns);
        }
    }
    return best;
}
