#include "web/web_api.h"

#include <array>
#include <charconv>
#include <cstdio>
#include <random>

#include "records/json_text.h"
#include "records/record_columns.h"
#include "records/record_time.h"
#include "res/info_lines.h"

namespace {
// Upper bounds of the flash duration histogram, in seconds.
constexpr std::array<double, 10> kDurationBounds{1, 2, 5, 10, 15, 20, 30, 45, 60, 120};
constexpr size_t kRecordsLimit = 1000;

WebResponse JsonResponse(const Json& value, int status = 200) {
    return {status, "application/json", JsonLine(value)};
}

Json DeviceJson(const DeviceInfo& device) {
    return {{"name", JsonText(device.name.Text())},
            {"software", FormatVersion(device.swMajor, device.swMinor)},
            {"productNumber", device.productNumber},
            {"chipId", ChipIdText(device.chipId)}};
}

Json BayJson(size_t index, const BayStatus& bay) {
    Json object = {{"bay", index + 1},
                   {"port", JsonText(bay.config.port)},
                   {"cpu", bay.config.secondCpu ? "second" : "first"},
                   {"state", BayStateName(bay.state)},
                   {"present", bay.present},
                   {"position", bay.position},
                   {"total", bay.total},
                   {"passed", bay.passed},
                   {"failed", bay.failed},
                   {"stopped", bay.stopped}};
    object["unit"] = bay.present || bay.hasLastResult ? DeviceJson(bay.device) : Json(nullptr);
    object["lastResult"] = bay.hasLastResult ? Json(UnitResultName(bay.lastResult)) : Json(nullptr);
    object["lastMessage"] = JsonTextOrNull(bay.lastMessage);
    return object;
}

Json TotalsJson(const StationTotals& totals) {
    return {{"passed", totals.passed},
            {"failed", totals.failed},
            {"stopped", totals.stopped},
            {"yield", totals.yield},
            {"unitsPerHour", totals.unitsPerHour},
            {"elapsedMs", totals.elapsed.count()}};
}

Json EventJson(const StationEvent& event, const BayStatus& bay) {
    Json object = {{"format", CWebApi::kApiFormat},
                   {"event", StationEventName(event.kind)},
                   {"time", FormatUtcTime(event.utcMs)}};
    object["bayStatus"] = BayJson(event.bay, bay);
    if (event.kind == StationEventKind::UnitFinished) {
        object["result"] = UnitResultName(event.result);
        object["message"] = JsonText(event.message);
        object["durationMs"] = std::max<int64_t>(event.durationMs, 0);
        object["recordId"] = JsonText(event.recordId);
    }
    if (event.kind == StationEventKind::PortFailed || event.kind == StationEventKind::OutOfService)
        object["message"] = JsonText(event.message);
    return object;
}

// The records' columns as JSON, as `records --json` names them.
Json RecordJson(const UnitRecord& record) {
    const std::vector<RecordColumn>& columns = RecordColumns();
    const std::vector<std::string> row = RecordToRow(record);
    Json object = Json::object();
    for (size_t i = 0; i < columns.size() && i < row.size(); ++i) {
        const std::string name = columns[i].name;
        if (name == "started_utc_ms" || name == "ended_utc_ms") {
            object[name.substr(0, name.size() - 3)] = FormatUtcTime(std::stoll(row[i]));
        } else if (columns[i].integer && !row[i].empty()) {
            int64_t value = 0;
            std::from_chars(row[i].data(), row[i].data() + row[i].size(), value);
            object[name] = value;
        } else {
            object[name] = JsonText(row[i]);
        }
    }
    return object;
}

// "/api/v1/bays/3/pause" → bay 3 (one-based), action "pause".
bool ParseBayPath(const std::string& path, size_t& bay, std::string& action) {
    static const std::string kPrefix = "/api/v1/bays/";
    if (path.compare(0, kPrefix.size(), kPrefix) != 0) return false;
    const std::string rest = path.substr(kPrefix.size());
    const size_t slash = rest.find('/');
    if (slash == std::string::npos || slash == 0 || slash > 6) return false;
    const auto [end, ec] = std::from_chars(rest.data(), rest.data() + slash, bay);
    if (ec != std::errc() || end != rest.data() + slash || bay == 0) return false;
    action = rest.substr(slash + 1);
    return action == "pause" || action == "resume";
}

// Compares without leaking where the first difference is.
bool SameSecret(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    unsigned char diff = 0;
    for (size_t i = 0; i < a.size(); ++i) diff |= static_cast<unsigned char>(a[i] ^ b[i]);
    return diff == 0;
}

std::string Number(double value) {
    char text[40];
    std::snprintf(text, sizeof text, "%.6g", value);
    return text;
}

// A label value as the exposition format escapes it.
std::string Label(const std::string& value) {
    std::string out;
    for (char c : ToValidUtf8(value)) {
        if (c == '\\' || c == '"') out += '\\';
        if (c == '\n') {
            out += "\\n";
            continue;
        }
        out += c;
    }
    return out;
}
}  // namespace

WebResponse WebError(int status, const std::string& message) {
    return JsonResponse({{"format", CWebApi::kApiFormat}, {"error", {{"status", status}, {"message", JsonText(message)}}}},
                        status);
}

std::string NewWebToken() {
    std::random_device random;
    std::string token;
    static const char kHex[] = "0123456789abcdef";
    for (int i = 0; i < 8; ++i) {
        const uint32_t word = random();
        for (int k = 0; k < 4; ++k) {
            const unsigned byte = (word >> (8 * k)) & 0xffu;
            token += kHex[byte >> 4];
            token += kHex[byte & 0xfu];
        }
    }
    return token;
}

CWebApi::CWebApi(const CStation& station, WebApiConfig config)
    : m_station(station), m_config(std::move(config)), m_durationBuckets(kDurationBounds.size(), 0) {
    if (m_config.version.empty()) m_config.version = KAVRO_VERSION;
    m_config.image.data.clear();
    m_config.image.data.shrink_to_fit();
}

void CWebApi::OnStationEvent(const StationEvent& event) {
    {
        std::lock_guard lock(m_metricsLock);
        uint32_t& last = m_bayPosition[event.bay];
        if (event.kind == StationEventKind::Progress && event.position > last) {
            m_lineBytes += event.position - last;
            last = event.position;
        } else if (event.kind == StationEventKind::DownloadStarted || event.kind == StationEventKind::UnitFinished) {
            last = 0;
        }
        if (event.kind == StationEventKind::UnitFinished) {
            ++m_units[UnitResultName(event.result)];
            const double seconds = static_cast<double>(std::max<int64_t>(event.durationMs, 0)) / 1000.0;
            for (size_t i = 0; i < kDurationBounds.size(); ++i)
                if (seconds <= kDurationBounds[i]) {
                    ++m_durationBuckets[i];
                    break;
                }
            ++m_durationCount;
            m_durationSum += seconds;
            if (!event.recordId.empty() && !m_unstored.erase(event.recordId)) m_unstored[event.recordId] = true;
        }
    }
    m_hub.Publish(StationEventName(event.kind), JsonLine(EventJson(event, m_station.Bay(event.bay))));
}

void CWebApi::OnRecordStored(const std::string& recordId) {
    {
        std::lock_guard lock(m_metricsLock);
        // A record stored before its unit-finished arrived is marked, so the two cancel out.
        if (!m_unstored.erase(recordId)) m_unstored[recordId] = false;
    }
    m_hub.Publish("record-stored", JsonLine(Json{{"format", kApiFormat},
                                                 {"event", "record-stored"},
                                                 {"time", FormatUtcTime(UtcNowMs())},
                                                 {"recordId", JsonText(recordId)}}));
}

WebResponse CWebApi::Respond(const WebRequest& request) {
    try {
        return Route(request);
    } catch (const std::exception& error) {
        // Nothing a client sends may end the station: a request that trips a parser is its own fault.
        return WebError(400, error.what());
    }
}

WebResponse CWebApi::Route(const WebRequest& request) {
    if (request.method == "GET" || request.method == "HEAD") return Get(request);
    if (request.method == "POST") return Post(request);
    return WebError(405, "method not allowed");
}

WebResponse CWebApi::Get(const WebRequest& request) {
    const std::string& path = request.path;
    if (path == "/" || path == "/index.html") return {200, "text/html; charset=utf-8", WebConsolePage()};
    if (path == "/api/v1/station") return StationJson();
    if (path == "/api/v1/bays") return BaysJson();
    if (path == "/api/v1/records") return RecordsJson(request);
    if (path == "/metrics") return {200, "text/plain; version=0.0.4; charset=utf-8", MetricsText()};
    if (path == "/api/v1/start" || path == "/api/v1/stop" || path.compare(0, 13, "/api/v1/bays/") == 0)
        return WebError(405, "use POST");
    return WebError(404, "no such resource");
}

WebResponse CWebApi::Post(const WebRequest& request) {
    const std::string& path = request.path;
    size_t bay = 0;
    std::string action;
    const bool bayControl = ParseBayPath(path, bay, action);
    if (!bayControl && path != "/api/v1/start" && path != "/api/v1/stop") {
        const bool known = path == "/" || path == "/metrics" || path.compare(0, 8, "/api/v1/") == 0;
        return known ? WebError(405, "method not allowed") : WebError(404, "no such resource");
    }
    if (!Authorized(request)) return WebError(401, "a valid Authorization: Bearer token is needed");
    if (!request.body.empty() && !Json::accept(request.body)) return WebError(400, "the body is not JSON");
    if (!bayControl) return Queue(path == "/api/v1/start" ? ControlKind::Start : ControlKind::Stop, 0);
    if (bay > m_station.BayCount()) return WebError(404, "no such bay");
    return Queue(action == "pause" ? ControlKind::Pause : ControlKind::Resume, bay - 1);
}

bool CWebApi::Authorized(const WebRequest& request) const {
    static const std::string kScheme = "Bearer ";
    const std::string& header = request.authorization;
    if (header.size() <= kScheme.size() || header.compare(0, kScheme.size(), kScheme) != 0) return false;
    return SameSecret(header.substr(kScheme.size()), m_config.token);
}

WebResponse CWebApi::StationJson() const {
    const FirmwareImage& image = m_config.image;
    Json object = {{"format", kApiFormat},
                   {"station", JsonText(m_config.stationName)},
                   {"version", m_config.version},
                   {"running", m_station.Running()},
                   {"time", FormatUtcTime(UtcNowMs())}};
    object["image"] = {{"source", JsonText(image.Source())},
                       {"name", JsonText(image.info.name.Text())},
                       {"software", FormatVersion(image.info.swMajor, image.info.swMinor)},
                       {"checksum", image.checksum},
                       {"length", image.length},
                       {"sha256", image.sha256}};
    object["totals"] = TotalsJson(m_station.Totals());
    object["bayCount"] = m_station.BayCount();
    return JsonResponse(object);
}

WebResponse CWebApi::BaysJson() const {
    Json bays = Json::array();
    for (size_t i = 0; i < m_station.BayCount(); ++i) bays.push_back(BayJson(i, m_station.Bay(i)));
    return JsonResponse({{"format", kApiFormat}, {"bays", bays}});
}

WebResponse CWebApi::RecordsJson(const WebRequest& request) const {
    RecordQuery query;
    query.newestFirst = true;
    query.limit = 100;
    const auto since = request.query.find("since");
    if (since != request.query.end() && !ParseUtcTime(since->second, UtcNowMs(), query.sinceUtcMs))
        return WebError(400, "since: a time such as 2026-12-07T12:00 or 36h");
    const auto limit = request.query.find("limit");
    if (limit != request.query.end()) {
        const std::string& text = limit->second;
        const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), query.limit);
        if (ec != std::errc() || end != text.data() + text.size() || query.limit == 0 || query.limit > kRecordsLimit)
            return WebError(400, "limit: a number from 1 to 1000");
    }
    std::vector<UnitRecord> records;
    std::string error;
    if (!m_config.readRecords || !m_config.readRecords(query, records, error))
        return WebError(503, error.empty() ? "records cannot be read" : error);
    Json list = Json::array();
    for (const UnitRecord& record : records) list.push_back(RecordJson(record));
    return JsonResponse({{"format", kApiFormat}, {"records", list}});
}

WebResponse CWebApi::Queue(ControlKind kind, size_t bay) {
    auto control = std::make_unique<Control>(Control{kind, bay, {}});
    std::future<WebResponse> done = control->done.get_future();
    {
        std::lock_guard lock(m_controlLock);
        if (m_controlsCancelled) return WebError(503, "the station is stopping");
        m_controls.push_back(std::move(control));
    }
    if (done.wait_for(m_config.controlWait) != std::future_status::ready)
        return WebError(503, "the station did not take the request in time");
    return done.get();
}

void CWebApi::RunControls(CStation& station) {
    std::vector<std::unique_ptr<Control>> controls;
    {
        std::lock_guard lock(m_controlLock);
        controls.swap(m_controls);
    }
    for (auto& control : controls) control->done.set_value(Execute(station, control->kind, control->bay));
}

void CWebApi::CancelControls() {
    std::vector<std::unique_ptr<Control>> controls;
    {
        std::lock_guard lock(m_controlLock);
        m_controlsCancelled = true;
        controls.swap(m_controls);
    }
    for (auto& control : controls) control->done.set_value(WebError(503, "the station is stopping"));
}

// Start resumes every paused bay, stop pauses every working one: the station
// itself goes on serving, so the console can start it again.
WebResponse CWebApi::Execute(CStation& station, ControlKind kind, size_t bay) const {
    const size_t first = kind == ControlKind::Pause || kind == ControlKind::Resume ? bay : 0;
    const size_t last = kind == ControlKind::Pause || kind == ControlKind::Resume ? bay + 1 : station.BayCount();
    const bool pause = kind == ControlKind::Pause || kind == ControlKind::Stop;
    for (size_t i = first; i < last && i < station.BayCount(); ++i) {
        const BayState state = station.Bay(i).state;
        if (pause && state != BayState::Paused && state != BayState::Stopped && state != BayState::Done &&
            state != BayState::OutOfService)
            station.PauseBay(i);
        if (!pause && state == BayState::Paused) station.ResumeBay(i);
    }
    Json bays = Json::array();
    for (size_t i = first; i < last && i < station.BayCount(); ++i) bays.push_back(BayJson(i, station.Bay(i)));
    return JsonResponse({{"format", kApiFormat}, {"bays", bays}});
}

std::string CWebApi::MetricsText() const {
    const std::string station = "station=\"" + Label(m_config.stationName) + "\"";
    std::string text;
    text += "# HELP kavro_build_info The program's version.\n# TYPE kavro_build_info gauge\n";
    text += "kavro_build_info{version=\"" + Label(m_config.version) + "\"} 1\n";
    text += "# HELP kavro_bay_state Each bay's state (1 for the state it is in).\n# TYPE kavro_bay_state gauge\n";
    static const BayState kStates[] = {BayState::Idle,   BayState::WaitingForUnit, BayState::Flashing,
                                       BayState::WaitingForRemoval, BayState::Paused, BayState::OutOfService,
                                       BayState::Done,   BayState::Stopped};
    for (size_t i = 0; i < m_station.BayCount(); ++i) {
        const BayState now = m_station.Bay(i).state;
        for (BayState state : kStates)
            text += "kavro_bay_state{" + station + ",bay=\"" + std::to_string(i + 1) + "\",state=\"" +
                    BayStateName(state) + "\"} " + (state == now ? "1" : "0") + "\n";
    }
    std::lock_guard lock(m_metricsLock);
    text += "# HELP kavro_units_total Units finished, by result.\n# TYPE kavro_units_total counter\n";
    static const UnitResult kResults[] = {UnitResult::Passed, UnitResult::RefusedByHardwareRange,
                                          UnitResult::NoResponse, UnitResult::PortFailed, UnitResult::Stopped};
    for (UnitResult result : kResults) {
        const auto count = m_units.find(UnitResultName(result));
        text += "kavro_units_total{" + station + ",result=\"" + UnitResultName(result) + "\"} " +
                std::to_string(count == m_units.end() ? 0 : count->second) + "\n";
    }
    text += "# HELP kavro_flash_duration_seconds How long each unit took.\n"
            "# TYPE kavro_flash_duration_seconds histogram\n";
    uint64_t cumulative = 0;
    for (size_t i = 0; i < kDurationBounds.size(); ++i) {
        cumulative += m_durationBuckets[i];
        text += "kavro_flash_duration_seconds_bucket{" + station + ",le=\"" + Number(kDurationBounds[i]) + "\"} " +
                std::to_string(cumulative) + "\n";
    }
    text += "kavro_flash_duration_seconds_bucket{" + station + ",le=\"+Inf\"} " + std::to_string(m_durationCount) + "\n";
    text += "kavro_flash_duration_seconds_sum{" + station + "} " + Number(m_durationSum) + "\n";
    text += "kavro_flash_duration_seconds_count{" + station + "} " + std::to_string(m_durationCount) + "\n";
    text += "# HELP kavro_line_bytes_total Image bytes sent to units.\n# TYPE kavro_line_bytes_total counter\n";
    text += "kavro_line_bytes_total{" + station + "} " + std::to_string(m_lineBytes) + "\n";
    size_t pending = 0;
    for (const auto& [id, finished] : m_unstored) pending += finished ? 1 : 0;
    text += "# HELP kavro_records_pending Records of finished units not yet committed.\n"
            "# TYPE kavro_records_pending gauge\n";
    text += "kavro_records_pending{" + station + "} " + std::to_string(pending) + "\n";
    return text;
}
