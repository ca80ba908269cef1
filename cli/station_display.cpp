#include "cli/station_display.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "cli/cli_text.h"
#include "records/json_text.h"
#include "records/record_time.h"
#include "res/info_lines.h"
#include "res/translation.h"

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

void AddDevice(Json& object, const DeviceInfo& device) {
    object["chipId"] = ChipIdText(device.chipId);
    object["name"] = JsonText(device.name.Text());
    object["productNumber"] = device.productNumber;
}

// format, event, bay, port and time: what every line starts with.
Json EventHead(const char* event, size_t bay, const std::string& port, int64_t utcMs) {
    return {{"format", kStationJsonFormat},
            {"event", event},
            {"bay", bay},
            {"port", JsonText(port)},
            {"time", FormatUtcTime(utcMs)}};
}
}  // namespace

std::string StationEventJson(const StationEvent& event) {
    Json object = EventHead(StationEventName(event.kind), event.bay, event.port, event.utcMs);
    object["cpu"] = event.secondCpu ? "second" : "first";
    switch (event.kind) {
        case StationEventKind::UnitFound:
        case StationEventKind::DownloadStarted: AddDevice(object, event.device); break;
        case StationEventKind::Progress:
            object["position"] = event.position;
            object["total"] = event.total;
            break;
        case StationEventKind::UnitFinished:
            AddDevice(object, event.device);
            object["result"] = UnitResultName(event.result);
            object["message"] = JsonText(event.message);
            object["durationMs"] = std::max<int64_t>(event.durationMs, 0);
            object["recordId"] = JsonText(event.recordId);
            break;
        case StationEventKind::AlreadyPassed:
            AddDevice(object, event.device);
            object["result"] = UnitResultName(event.result);
            object["message"] = JsonText(event.message);
            break;
        case StationEventKind::PortFailed:
        case StationEventKind::OrderComplete:
        case StationEventKind::OutOfService: object["message"] = JsonText(event.message); break;
        default: break;
    }
    if (event.kind == StationEventKind::DownloadStarted) object["total"] = event.total;
    return JsonLine(object);
}

std::string RecordStoredJson(const RecordBay& bay, const std::string& recordId, int64_t utcMs) {
    Json object = EventHead("record-stored", bay.bay, bay.port, utcMs);
    object["cpu"] = bay.secondCpu ? "second" : "first";
    object["recordId"] = JsonText(recordId);
    return JsonLine(object);
}

std::string RecordsStateJson(const std::string& event, const std::string& message, int64_t utcMs) {
    const Json object = {{"format", kStationJsonFormat},
                         {"event", event},
                         {"time", FormatUtcTime(utcMs)},
                         {"message", JsonText(message)}};
    return JsonLine(object);
}

std::string StationImageJson(const FirmwareImage& image, int64_t utcMs) {
    char checksum[8];
    std::snprintf(checksum, sizeof checksum, "0x%04X", image.checksum);
    Json object = {{"format", kStationJsonFormat},
                         {"event", "image"},
                         {"time", FormatUtcTime(utcMs)},
                         {"source", JsonText(image.Source())},
                         {"name", JsonText(image.info.name.Text())},
                         {"swVersion", FormatVersion(image.info.swMajor, image.info.swMinor)},
                         {"dataLength", image.data.size()},
                         {"checksum", checksum},
                         {"sha256", image.sha256}};
    // Who released it: null for an image without a verified signature.
    object["keyId"] = image.keyId.empty() ? Json(nullptr) : Json(image.keyId);
    object["signer"] = image.keyId.empty() ? Json(nullptr) : Json(JsonText(image.signer));
    return JsonLine(object);
}

std::string StationImageLine(const FirmwareImage& image) {
    const std::string line = FormatText(Tr("Image %s: %s, software %s, SHA-256 %s"),
                                        {image.Source(), image.info.name.Text(),
                                         FormatVersion(image.info.swMajor, image.info.swMinor), image.sha256});
    if (image.keyId.empty()) return line;
    return line + FormatText(Tr(", released by \"%s\" (key %s)"), {image.signer, image.keyId});
}

std::string StationSummaryJson(const StationTotals& totals, int status, const char* stopRequest, int64_t utcMs) {
    // The yield with four decimals, as the events give it.
    const bool any = totals.passed + totals.failed > 0;
    const Json object = {{"format", kStationJsonFormat},
                         {"event", "summary"},
                         {"time", FormatUtcTime(utcMs)},
                         {"passed", totals.passed},
                         {"failed", totals.failed},
                         {"stopped", totals.stopped},
                         {"yield", any ? Json(std::round(totals.yield * 10000) / 10000) : Json(nullptr)},
                         {"unitsPerHour", std::round(totals.unitsPerHour * 10) / 10},
                         {"status", status},
                         {"stopRequest", stopRequest != nullptr ? Json(stopRequest) : Json(nullptr)}};
    return JsonLine(object);
}

std::string OrderCompleteJson(const std::string& orderId, uint64_t passed, uint64_t quantity, int64_t utcMs) {
    const Json object = {{"format", kStationJsonFormat},
                         {"event", "order-complete"},
                         {"time", FormatUtcTime(utcMs)},
                         {"order", JsonText(orderId)},
                         {"passed", passed},
                         {"quantity", quantity}};
    return JsonLine(object);
}

std::string StationEventLine(const StationEvent& event) {
    std::string line =
        FormatUtcTime(event.utcMs) + "  " + FormatText(Tr("bay %s"), {std::to_string(event.bay + 1)}) + "  " + event.port + "  ";
    switch (event.kind) {
        case StationEventKind::Waiting: return line + Tr("waiting for a unit");
        case StationEventKind::UnitFound:
            return line + FormatText(Tr("unit %s %s found"), {ChipIdText(event.device.chipId), UnitText(event.device)});
        case StationEventKind::DownloadStarted:
            return line + FormatText(event.secondCpu ? Tr("downloading %s bytes to the second CPU")
                                                     : Tr("downloading %s bytes"),
                                     {std::to_string(event.total)});
        case StationEventKind::Progress: return line + Percent(event.position, event.total);
        case StationEventKind::UnitFinished:
            // The result's name is a record field and stays as stored.
            return line + UnitResultName(event.result) + ": " + Tr(event.message.c_str()) + " (" +
                   Fixed(static_cast<double>(event.durationMs) / 1000.0, 1) + " s)";
        case StationEventKind::WaitingForRemoval: return line + Tr("waiting for the unit to be removed");
        case StationEventKind::UnitRemoved: return line + Tr("unit removed");
        case StationEventKind::PortFailed: return line + FormatText(Tr("port failed: %s"), {event.message});
        case StationEventKind::OutOfService: return line + FormatText(Tr("out of service: %s"), {event.message});
        case StationEventKind::Paused: return line + Tr("paused");
        case StationEventKind::BayStopped: return line + Tr("stopped");
        case StationEventKind::OrderComplete: return line + Tr("order complete");
        case StationEventKind::AlreadyPassed:
            return line + FormatText(Tr("unit %s passed with this image before: not flashed again"),
                                     {ChipIdText(event.device.chipId)});
    }
    return line;
}

std::string TotalsLine(const StationTotals& totals) {
    std::string line = FormatText(Tr("Passed %s  Failed %s"), {std::to_string(totals.passed), std::to_string(totals.failed)});
    if (totals.stopped > 0) line += "  " + FormatText(Tr("Stopped %s"), {std::to_string(totals.stopped)});
    line += "  " + FormatText(Tr("Yield %s"), {totals.passed + totals.failed > 0 ? Fixed(totals.yield * 100.0, 1) + " %" : "-"});
    line += "  " + FormatText(Tr("Units/h %s"), {Fixed(totals.unitsPerHour, 1)});
    return line;
}

std::string BayLine(size_t index, const BayStatus& bay, size_t width) {
    std::string line = FormatText(Tr("bay %s"), {std::to_string(index + 1)}) + "  " + bay.config.port + "  " + BayStateName(bay.state);
    if (bay.present) {
        line += "  " + UnitText(bay.device);
        if (bay.state == BayState::Flashing) line += "  " + Percent(bay.position, bay.total);
    }
    if (bay.hasLastResult) line += "  " + FormatText(Tr("last: %s"), {UnitResultName(bay.lastResult)});
    line += "  " + FormatText(Tr("(%s passed, %s failed)"), {std::to_string(bay.passed), std::to_string(bay.failed)});
    if (width > 0 && line.size() > width) line.resize(Utf8Boundary(line, width));
    return line;
}

std::string BaySummaryLine(size_t index, const BayStatus& bay) {
    std::string line = FormatText(Tr("Bay %s %s: "), {std::to_string(index + 1), bay.config.port});
    if (!bay.hasLastResult) return line + FormatText(Tr("%s, no unit finished"), {BayStateName(bay.state)});
    line += UnitResultName(bay.lastResult);
    if (bay.device.productNumber != 0 || bay.device.chipId[0] != 0)
        line += " " + FormatText(Tr("(chip %s, product %s)"),
                                 {ChipIdText(bay.device.chipId), std::to_string(bay.device.productNumber)});
    return line + " " + Tr(bay.lastMessage.c_str());
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
