#include "cli/station_command.h"

#include <atomic>
#include <cctype>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>

#include "cli/cli_platform.h"
#include "cli/exit_codes.h"
#include "image/image_source.h"
#include "cli/station_display.h"
#include "cli/stop_signals.h"
#include "cli/unit_recording.h"
#include "link/file_path.h"
#include "records/passed_lookup.h"
#include "station/work_order.h"
#include "records/record_time.h"
#include "records/record_store.h"
#include "records/record_writer.h"
#include "link/adapter_latency.h"
#include "res/translation.h"
#include "records/records_platform.h"
#include "station/station.h"
#include "web/station_web_server.h"

namespace {
using Clock = std::chrono::steady_clock;
constexpr std::chrono::milliseconds kSlice{50};
constexpr std::chrono::milliseconds kRedrawEvery{100};

void PrintError(const std::string& text) {
    std::fflush(stdout);
    std::fprintf(stderr, "%s\n", text.c_str());
    std::fflush(stderr);
}

void PrintLine(const std::string& text) {
    std::fputs(text.c_str(), stdout);
    std::fputc('\n', stdout);
}

// The bays post their events here, and the record writer its outcomes; the
// main thread takes them.
struct QueuedEvent {
    bool stored = false;  // a record committed: recordId and utcMs only
    StationEvent event;
    std::string records;  // else the records' state changed: its JSON event name, message and utcMs
};

class CEventQueue final : public IStationEvents {
public:
    void OnStationEvent(const StationEvent& event) override {
        {
            std::lock_guard lock(m_webLock);
            if (m_web != nullptr) m_web->OnStationEvent(event);
        }
        QueuedEvent queued;
        queued.event = event;
        Push(std::move(queued));
    }
    // The web console as one more receiver (null: none any more).
    void SetWeb(CWebApi* web) {
        std::lock_guard lock(m_webLock);
        m_web = web;
    }
    void OnStored(const std::string& recordId) {
        {
            std::lock_guard lock(m_webLock);
            if (m_web != nullptr) m_web->OnRecordStored(recordId);
        }
        // Filled member by member: g++ 12 takes the braced form for uninitialized.
        QueuedEvent queued;
        queued.stored = true;
        queued.event.recordId = recordId;
        queued.event.utcMs = UtcNowMs();
        Push(std::move(queued));
    }
    void OnRecords(const char* name, const std::string& message) {
        QueuedEvent queued;
        queued.records = name;
        queued.event.message = message;
        queued.event.utcMs = UtcNowMs();
        Push(std::move(queued));
    }
    bool Take(QueuedEvent& event, std::chrono::milliseconds wait) {
        std::unique_lock lock(m_mutex);
        if (!m_ready.wait_for(lock, wait, [this] { return !m_events.empty(); })) return false;
        event = std::move(m_events.front());
        m_events.pop_front();
        return true;
    }

private:
    void Push(QueuedEvent event) {
        {
            std::lock_guard lock(m_mutex);
            m_events.push_back(std::move(event));
        }
        m_ready.notify_one();
    }
    std::mutex m_mutex;
    std::condition_variable m_ready;
    std::deque<QueuedEvent> m_events;
    std::mutex m_webLock;  // the web console only queues for its clients: held briefly
    CWebApi* m_web = nullptr;
};

// Shows the events: JSON Lines, plain lines, or the bay table on a terminal.
class CStationView {
public:
    CStationView(const CStation& station, bool json, bool terminal)
        : m_station(station), m_json(json), m_terminal(terminal && !json) {}

    void Show(const QueuedEvent& queued) {
        const StationEvent& event = queued.event;
        if (!queued.records.empty()) {
            if (m_json) PrintLine(RecordsStateJson(queued.records, event.message, event.utcMs));
            std::fflush(stdout);
            return;
        }
        if (queued.stored) {
            if (m_json) ShowStored(event.recordId, event.utcMs);
            return;
        }
        if (m_json) {
            PrintLine(StationEventJson(event));
            if (event.kind == StationEventKind::UnitFinished) UnitFinished(event);
            std::fflush(stdout);
        } else if (!m_terminal) {
            if (event.kind == StationEventKind::Progress) return;  // the table shows progress; lines would flood
            PrintLine(StationEventLine(event));
            std::fflush(stdout);
        } else if (event.kind != StationEventKind::Progress || Clock::now() - m_drawn >= kRedrawEvery) {
            Redraw();
        }
    }

    // The table once more, so the last state stays on the screen.
    void Finish() {
        if (m_terminal) Redraw();
    }

private:
    // Only JSON tells when a unit's record is safe, after its unit-finished
    // (which names the bay). A fast store commits before the bay's event is
    // queued: that record waits here for its unit.
    void ShowStored(const std::string& recordId, int64_t utcMs) {
        const auto bay = m_recordBays.find(recordId);
        if (bay == m_recordBays.end()) {
            m_storedEarly[recordId] = utcMs;
            return;
        }
        PrintLine(RecordStoredJson(bay->second, recordId, utcMs));
        std::fflush(stdout);
        m_recordBays.erase(bay);
    }
    void UnitFinished(const StationEvent& event) {
        m_recordBays[event.recordId] = {event.bay, event.port, event.secondCpu};
        const auto early = m_storedEarly.find(event.recordId);
        if (early == m_storedEarly.end()) return;
        const int64_t utcMs = early->second;
        m_storedEarly.erase(early);
        ShowStored(event.recordId, utcMs);
    }

    void Redraw() {
        const size_t count = m_station.BayCount();
        std::string text;
        // Back to the totals line of the last drawing, then every line anew.
        if (m_lines > 0) text += "\r\x1b[" + std::to_string(m_lines) + "A";
        text += "\x1b[2K" + TotalsLine(m_station.Totals()) + "\n";
        for (size_t i = 0; i < count; ++i) text += "\x1b[2K" + BayLine(i, m_station.Bay(i), 119) + "\n";
        std::fputs(text.c_str(), stdout);
        std::fflush(stdout);
        m_lines = count + 1;
        m_drawn = Clock::now();
    }

    const CStation& m_station;
    std::map<std::string, RecordBay> m_recordBays;     // unit finished, record not yet stored
    std::map<std::string, int64_t> m_storedEarly;       // stored before its unit-finished came
    bool m_json;
    bool m_terminal;
    size_t m_lines = 0;
    Clock::time_point m_drawn{};
};

bool LoadStationImage(const std::string& path, FirmwareImage& image) {
    const ImageLoadReport report = LoadFirmwareImage(path, image);
    if (!report.Usable()) {
        PrintError(FormatText(Tr("Image cannot be used: %s"),
                              {report.shownProblem.empty() ? std::string(Tr("no data")) : report.shownProblem}));
        PrintError(Tr("Nothing was sent."));
        return false;
    }
    return true;
}

// A --bay value that names a file: an image given after --bay, which took it
// for a second port.
bool NamesAFile(const std::string& port) {
    static const std::string kImageSuffix = ".fw";
    std::string tail = port.size() >= kImageSuffix.size() ? port.substr(port.size() - kImageSuffix.size()) : "";
    for (char& c : tail) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    std::error_code ignored;
    return tail == kImageSuffix || std::filesystem::is_regular_file(PathFromUtf8(port), ignored);
}

// Refuses, before anything starts, a --bay that names a file and a port that
// two --bay values name under two spellings (a link and its target).
bool CheckBays(const StationOptions& options, std::string& error) {
    std::map<std::string, std::string> spellings;  // the port's identity, the --bay value that named it
    for (const std::string& value : options.bays) {
        const BayConfig bay = ParseBayOption(value, options.secondCpu);
        if (NamesAFile(bay.port)) {
            error = FormatText(Tr("--bay %s names a file, not a port: the image goes before the options, as in "
                                  "\"station IMAGE --bay PORT\"."),
                               {bay.port});
            return false;
        }
        const auto [known, added] = spellings.emplace(PortIdentity(bay.port), bay.port);
        if (!added) {
            error = FormatText(Tr("--bay %s and --bay %s name the same port (%s)."),
                               {known->second, bay.port, known->first});
            return false;
        }
    }
    return true;
}

void AnnounceImage(const FirmwareImage& image, bool json) {
    PrintLine(json ? StationImageJson(image, UtcNowMs()) : StationImageLine(image));
    std::fflush(stdout);
}

StationConfig MakeConfig(const StationOptions& options, CRecordWriter* writer, CPassedLookup* passed,
                         IWorkOrder* order) {
    StationConfig config;
    for (const std::string& bay : options.bays) config.bays.push_back(ParseBayOption(bay, options.secondCpu));
    config.once = options.once;
    config.unitTimeout = options.timeout;
    config.force = options.force;
    config.reset = !options.noReset;
    config.stopAfterFailures = options.stopAfterFailures;
    config.leaveQuiet = options.leaveQuiet;
    config.stationName = options.stationName;
    if (writer != nullptr) RecordThrough(config, *writer);
    if (passed != nullptr && !options.reflash) SkipPassedUnits(config, *passed);
    if (order == nullptr) return config;
    config.orderId = options.orderId;
    config.claimUnit = [order](size_t bay) { return order->Claim(bay); };
    config.settleUnit = [order](size_t bay, bool passed) { order->Settle(bay, passed); };
    return config;
}

// Every bay is out of service (or done with its order): nothing more can happen.
bool AllOutOfService(const CStation& station) {
    for (size_t i = 0; i < station.BayCount(); ++i) {
        const BayState state = station.Bay(i).state;
        if (state != BayState::OutOfService && state != BayState::Done) return false;
    }
    return true;
}

// Opens the order: on the line's server when the records go there, else
// counted from this station's records. False after saying why.
bool OpenOrder(const StationOptions& options, IRecordStore& store, std::unique_ptr<IWorkOrder>& order) {
    if (options.orderId.empty()) return true;
    std::string error;
    bool serverFailed = false;
    const std::string station = options.stationName.empty() ? DefaultStationName() : options.stationName;
    // A bay's thread: one line at once, as the record writer's threads say theirs.
    auto trouble = [](const std::string& text) { std::fprintf(stderr, "%s\n", text.c_str()); };
    order = OpenWorkOrder(options.records, store, options.orderId, options.quantity, station, error, serverFailed,
                          trouble);
    if (order) return true;
    PrintError(FormatText(serverFailed ? Tr("Records cannot be kept: %s") : Tr("Records cannot be read: %s"), {error}));
    PrintError(Tr("Nothing was sent."));
    return false;
}

void AnnounceOrderComplete(const StationOptions& options, IWorkOrder& order, bool json) {
    const std::string text = FormatText(Tr("Work order %s: order complete, %s of %s units passed."),
                                        {options.orderId, std::to_string(order.PassedCount()),
                                         std::to_string(order.Quantity())});
    if (json) PrintLine(OrderCompleteJson(options.orderId, order.PassedCount(), order.Quantity(), UtcNowMs()));
    else PrintLine(text);
    std::fflush(stdout);
}

int OnceStatus(const CStation& station) {
    for (size_t i = 0; i < station.BayCount(); ++i) {
        const BayStatus bay = station.Bay(i);
        if (!bay.hasLastResult || bay.lastResult != UnitResult::Passed) return kExitNoResponse;
    }
    return kExitOk;
}

void PrintSummary(const CStation& station) {
    for (size_t i = 0; i < station.BayCount(); ++i) PrintLine(BaySummaryLine(i, station.Bay(i)));
    PrintLine(TotalsLine(station.Totals()));
    std::fflush(stdout);
}

// The JSON run's last line.
void PrintJsonSummary(const CStation& station, int status, StopRequest request) {
    const char* stop = request == StopRequest::None        ? nullptr
                       : request == StopRequest::Terminate ? "terminate"
                                                           : "interrupt";
    PrintLine(StationSummaryJson(station.Totals(), status, stop, UtcNowMs()));
    std::fflush(stdout);
}

// Shows events until the run is over; the stop request that ended it, if any.
StopRequest Serve(CStation& station, CEventQueue& events, CStationView& view, bool once, IWorkOrder* order,
                  CStationWebServer* web) {
    for (;;) {
        if (web != nullptr) web->Api().RunControls(station);
        // Every claimed unit has passed: none is mid-download anywhere.
        if (order != nullptr && order->Complete()) return StopRequest::None;
        const StopRequest request = PendingStopRequest();
        if (request != StopRequest::None) return request;
        QueuedEvent event;
        if (events.Take(event, kSlice)) {
            view.Show(event);
            continue;
        }
        if ((once && station.Finished()) || AllOutOfService(station)) return StopRequest::None;
    }
}
// The web console of --http; null with error set when it cannot serve.
std::unique_ptr<CStationWebServer> StartWeb(const StationOptions& options, const CStation& station,
                                            const FirmwareImage& image, const std::string& localPath,
                                            std::string& error) {
    std::string host;
    int port = 0;
    if (!ParseHttpAddress(options.http, host, port)) {
        error = FormatText(Tr("--http %s: give [ADDRESS:]PORT, such as 8080 or 0.0.0.0:8080."), {options.http});
        return nullptr;
    }
    WebApiConfig config;
    config.stationName = options.stationName.empty() ? HostName() : options.stationName;
    config.image = image;
    config.readRecords = [localPath](const RecordQuery& query, std::vector<UnitRecord>& out, std::string& why) {
        return QueryRecordsAt(localPath, query, out, why);
    };
    std::string tokenPath;
    if (!LoadOrCreateWebToken(options.httpTokenFile, port, config.token, tokenPath, error)) return nullptr;
    auto web = std::make_unique<CStationWebServer>(station, std::move(config));
    if (!web->Start(host, port, error)) return nullptr;
    const std::string shownHost = host.find(':') != std::string::npos ? "[" + host + "]" : host;
    PrintError(FormatText(Tr("Web console: http://%s:%s/ (the control token is in %s)"),
                          {shownHost, std::to_string(web->BoundPort()), tokenPath}));
    return web;
}
}  // namespace

int CommandStation(const StationOptions& options) {
    // Stopping writes the records of the units in hand: a second signal (as
    // `timeout` sends one to the whole group) must not cut it short.
    KeepStoppingOnFurtherRequests();
    std::string error;
    if (!CheckBays(options, error)) {
        PrintError(error);
        return kExitUsage;
    }
    FirmwareImage image;
    if (!LoadStationImage(options.image, image) || !CheckReleasedImage(options.release, image)) return kExitImage;

    const std::string locator = options.records.empty() ? DefaultRecordsPath() : options.records;
    std::unique_ptr<IRecordStore> store = OpenRecordStore(locator, error);
    if (!store) {
        PrintError(FormatText(Tr("Records cannot be kept: %s"), {error}));
        PrintError(Tr("Nothing was sent."));
        return kExitRecords;
    }
    std::unique_ptr<IWorkOrder> order;
    if (!OpenOrder(options, *store, order)) return kExitRecords;
    if (order && order->Complete()) {
        AnnounceOrderComplete(options, *order, options.json);
        return kExitOk;
    }
    const std::string localPath = store->LocalPath();
    std::atomic<bool> recordsWait{false};  // the line's server is away: records wait in the local file
    CEventQueue events;
    auto writer = std::make_unique<CRecordWriter>(std::move(store), [&](const RecordWriterEvent& event) {
        // The writer's threads: trouble gets a line at once (stderr is unbuffered).
        if (event.kind == RecordWriterEvent::Kind::Stored) {
            events.OnStored(event.recordId);
            return;
        }
        if (event.kind == RecordWriterEvent::Kind::ServerAway) recordsWait = true;
        if (event.kind == RecordWriterEvent::Kind::ServerBack) recordsWait = false;
        using Kind = RecordWriterEvent::Kind;
        const char* text = event.kind == Kind::StoreFailed
                               ? KTEXT("Records cannot be stored (they are kept and tried again): %s")
                           : event.kind == Kind::StoreBack ? KTEXT("Records are stored again in %s")
                           : event.kind == Kind::ServerAway ? KTEXT("Records wait locally: %s")
                                                            : KTEXT("Records reach the server again: %s");
        std::fprintf(stderr, "%s\n", FormatText(Tr(text), {event.message}).c_str());
        events.OnRecords(event.kind == Kind::StoreFailed ? "records-held"
                         : event.kind == Kind::StoreBack ? "records-stored-again"
                         : event.kind == Kind::ServerAway ? "server-away"
                                                          : "server-back",
                         event.message);
    });

    CPassedLookup passed(localPath, IsServerLocator(locator) ? locator : std::string());
    int status = kExitOk;
    {
        // Declared after the queue and before the writer goes: Stop joins the
        // bays, so neither is posted to after it.
        CStation station(&events);
        std::unique_ptr<CStationWebServer> web;
        if (!options.http.empty()) {
            web = StartWeb(options, station, image, localPath, error);
            if (!web) {
                PrintError(error);
                return kExitUsage;
            }
            events.SetWeb(&web->Api());
        }
        AnnounceImage(image, options.json);
        {
            CStopSignalsBlocked blocked;  // the bays and their links never take the stop signals
            if (!station.Start(MakeConfig(options, writer.get(), &passed, order.get()), image, error)) {
                PrintError(error);
                return kExitUsage;
            }
        }
        for (size_t i = 0; i < station.BayCount(); ++i) {
            const std::string port = station.Bay(i).config.port;
            const std::string advice = LatencyWarningOnce(port, ReadAdapterLatencyMs(port.c_str()));
            if (!advice.empty()) PrintError(Tr("Warning: ") + advice);
        }
        CStationView view(station, options.json, PrepareProgressTerminal());
        const StopRequest request = Serve(station, events, view, options.once, order.get(), web.get());
        passed.Abandon();  // a bay asking a hung server is not waited for
        station.Stop();
        QueuedEvent event;
        while (events.Take(event, std::chrono::milliseconds(0))) view.Show(event);
        view.Finish();
        writer->Flush();
        while (events.Take(event, std::chrono::milliseconds(0))) view.Show(event);
        if (!options.json) PrintSummary(station);
        if (request != StopRequest::None) {
            PrintError(request == StopRequest::Terminate ? Tr("Terminated: every bay was stopped and its port closed.")
                                                         : Tr("Interrupted: every bay was stopped and its port closed."));
            status = ExitStatusForStop(request);
        } else if (order && order->Complete()) {
            AnnounceOrderComplete(options, *order, options.json);
            status = kExitOk;
        } else {
            status = options.once ? OnceStatus(station) : kExitNoResponse;
        }
        // As for a single download: the units passed, their records are not where --records says yet.
        if (options.once && recordsWait && status == kExitOk) status = kExitRecords;
        if (options.json) PrintJsonSummary(station, status, request);
        events.SetWeb(nullptr);
    }
    status = ReportUnkeptRecords(writer->Close(), localPath, status);
    writer.reset();
    return status;
}
