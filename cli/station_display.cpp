#include "cli/station_display.h"

#include <cstdio>

#include "cli/cli_text.h"
#include "records/record_time.h"

namespace {
std::string Percent(uint32_t position, uint32_t total) {
    if (total == 0) return "0 %";
    return std::to_string(static_cast<unsigned>(uint64_t{position} * 100 / total)) + " %";
}

std::string Fixed(double value, int decimals) {
    char text[48];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

// "KAVRO SIM #258", or "" before a unit answered.
std::string UnitText(const DeviceInfo& device) {
    if (device.productNumber == 0 && device.name.Text()[0] == '\0') return "";
    return std::string(device.name.Text()) + " #" + std::to_string(device.productNumber);
}

void AddDevice(JsonObject& object, const DeviceInfo& device) {
    object.Add("chipId", ChipIdText(device));
    object.Add("name", device.name.Text());
    object.Add("productNumber", uint64_t{device.productNumber});
}
}  // namespace

std::string ChipIdText(const DeviceInfo& device) {
    char text[9];
    std::snprintf(text, sizeof text, "%02X%02X%02X%02X", device.chipId[0], device.chipId[1], device.chipId[2],
                  device.chipId[3]);
    return text;
}

std::string StationEventJson(const StationEvent& event) {
    JsonObject object;
    object.Add("format", uint64_t{kStationJsonFormat});
    object.Add("event", StationEventName(event.kind));
    object.Add("bay", uint64_t{event.bay});
    object.Add("port", event.port);
    object.Add("time", FormatUtcTime(event.utcMs));
    object.Add("cpu", event.secondCpu ? "second" : "first");
    switch (event.kind) {
        case StationEventKind::UnitFound:
        case StationEventKind::DownloadStarted: AddDevice(object, event.device); break;
        case StationEventKind::Progress:
            object.Add("position", uint64_t{event.position});
            object.Add("total", uint64_t{event.total});
            break;
        case StationEventKind::UnitFinished:
            AddDevice(object, event.device);
            object.Add("result", UnitResultName(event.result));
            object.Add("message", event.message);
            object.Add("durationMs", static_cast<uint64_t>(event.durationMs < 0 ? 0 : event.durationMs));
            object.Add("recordId", event.recordId);
            break;
        case StationEventKind::PortFailed:
        case StationEventKind::OutOfService: object.Add("message", event.message); break;
        default: break;
    }
    if (event.kind == StationEventKind::DownloadStarted) object.Add("total", uint64_t{event.total});
    return object.Text();
}

std::string RecordStoredJson(const std::pair<size_t, std::string>& bay, const std::string& recordId, int64_t utcMs) {
    JsonObject object;
    object.Add("format", uint64_t{kStationJsonFormat});
    object.Add("event", "record-stored");
    object.Add("bay", uint64_t{bay.first});
    object.Add("port", bay.second);
    object.Add("time", FormatUtcTime(utcMs));
    object.Add("recordId", recordId);
    return object.Text();
}

std::string StationEventLine(const StationEvent& event) {
    std::string line = FormatUtcTime(event.utcMs) + "  bay " + std::to_string(event.bay) + "  " + event.port + "  ";
    switch (event.kind) {
        case StationEventKind::Waiting: return line + "waiting for a unit";
        case StationEventKind::UnitFound:
            return line + "unit " + ChipIdText(event.device) + " " + UnitText(event.device) + " found";
        case StationEventKind::DownloadStarted:
            return line + "downloading " + std::to_string(event.total) + " bytes" +
                   (event.secondCpu ? " to the second CPU" : "");
        case StationEventKind::Progress: return line + Percent(event.position, event.total);
        case StationEventKind::UnitFinished:
            return line + UnitResultName(event.result) + ": " + event.message + " (" +
                   Fixed(static_cast<double>(event.durationMs) / 1000.0, 1) + " s)";
        case StationEventKind::WaitingForRemoval: return line + "waiting for the unit to be removed";
        case StationEventKind::UnitRemoved: return line + "unit removed";
        case StationEventKind::PortFailed: return line + "port failed: " + event.message;
        case StationEventKind::OutOfService: return line + "out of service: " + event.message;
        case StationEventKind::Paused: return line + "paused";
        case StationEventKind::BayStopped: return line + "stopped";
    }
    return line;
}

std::string TotalsLine(const StationTotals& totals) {
    std::string line = "Passed " + std::to_string(totals.passed) + "  Failed " + std::to_string(totals.failed);
    if (totals.stopped > 0) line += "  Stopped " + std::to_string(totals.stopped);
    line += "  Yield " + (totals.passed + totals.failed > 0 ? Fixed(totals.yield * 100.0, 1) + " %" : "-");
    line += "  Units/h " + Fixed(totals.unitsPerHour, 1);
    return line;
}

std::string BayLine(size_t index, const BayStatus& bay, size_t width) {
    std::string line = "bay " + std::to_string(index) + "  " + bay.config.port + "  " + BayStateName(bay.state);
    if (bay.present) {
        line += "  " + UnitText(bay.device);
        if (bay.state == BayState::Flashing) line += "  " + Percent(bay.position, bay.total);
    }
    if (bay.hasLastResult) line += "  last: " + std::string(UnitResultName(bay.lastResult));
    line += "  (" + std::to_string(bay.passed) + " passed, " + std::to_string(bay.failed) + " failed)";
    if (width > 0 && line.size() > width) line.resize(width);
    return line;
}

std::string BaySummaryLine(size_t index, const BayStatus& bay) {
    std::string line = "Bay " + std::to_string(index) + " " + bay.config.port + ": ";
    if (!bay.hasLastResult) return line + BayStateName(bay.state) + ", no unit finished";
    line += UnitResultName(bay.lastResult);
    if (bay.device.productNumber != 0 || bay.device.chipId[0] != 0)
        line += " (chip " + ChipIdText(bay.device) + ", product " + std::to_string(bay.device.productNumber) + ")";
    return line + " " + bay.lastMessage;
}

BayConfig ParseBayOption(const std::string& value, bool secondCpuForAll) {
    static const std::string kSecond = ":second";
    BayConfig bay;
    bay.port = value;
    bay.secondCpu = secondCpuForAll;
    if (value.size() > kSecond.size() && value.compare(value.size() - kSecond.size(), kSecond.size(), kSecond) == 0) {
        bay.port = value.substr(0, value.size() - kSecond.size());
        bay.secondCpu = true;
    }
    return bay;
}
