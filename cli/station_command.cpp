#include "cli/station_command.h"

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <map>
#include <memory>
#include <mutex>

#include "cli/cli_platform.h"
#include "cli/exit_codes.h"
#include "image/image_source.h"
#include "cli/station_display.h"
#include "cli/stop_signals.h"
#include "cli/unit_recording.h"
#include "link/device_link.h"
#include "records/record_time.h"
#include "records/record_store.h"
#include "records/record_writer.h"
#include "link/adapter_latency.h"
#include "res/translation.h"
#include "station/station.h"

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
    void OnStationEvent(const StationEvent& event) override { Push({false, event, {}}); }
    void OnStored(const std::string& recordId) {
        QueuedEvent queued{true, {}, {}};
        queued.event.recordId = recordId;
        queued.event.utcMs = UtcNowMs();
        Push(std::move(queued));
    }
    void OnRecords(const char* name, const std::string& message) {
        QueuedEvent queued{false, {}, name};
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
            // Only JSON tells when a unit's record is safe; its bay comes from its unit-finished.
            const auto bay = m_recordBays.find(event.recordId);
            if (m_json && bay != m_recordBays.end()) {
                PrintLine(RecordStoredJson(bay->second, event.recordId, event.utcMs));
                std::fflush(stdout);
            }
            return;
        }
        if (event.kind == StationEventKind::UnitFinished) m_recordBays[event.recordId] = {event.bay, event.port};
        if (m_json) {
            PrintLine(StationEventJson(event));
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
    std::map<std::string, std::pair<size_t, std::string>> m_recordBays;
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

StationConfig MakeConfig(const StationOptions& options, CRecordWriter* writer) {
    StationConfig config;
    for (const std::string& bay : options.bays) config.bays.push_back(ParseBayOption(bay, options.secondCpu));
    config.once = options.once;
    config.unitTimeout = options.timeout;
    config.force = options.force;
    config.reset = !options.noReset;
    config.stopAfterFailures = options.stopAfterFailures;
    config.leaveQuiet = options.leaveQuiet;
    config.stationName = options.stationName;
    if (writer != nullptr) config.recordSink = [writer](UnitRecord record) { writer->Submit(std::move(record)); };
    return config;
}

// Every bay is out of service: nothing more can happen.
bool AllOutOfService(const CStation& station) {
    for (size_t i = 0; i < station.BayCount(); ++i) {
        if (station.Bay(i).state != BayState::OutOfService) return false;
    }
    return true;
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

// Shows events until the run is over; the stop request that ended it, if any.
StopRequest Serve(CStation& station, CEventQueue& events, CStationView& view, bool once) {
    for (;;) {
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
}  // namespace

int CommandStation(const StationOptions& options) {
    FirmwareImage image;
    if (!LoadStationImage(options.image, image)) return kExitImage;

    const std::string locator = options.records.empty() ? DefaultRecordsPath() : options.records;
    std::string error;
    std::unique_ptr<IRecordStore> store = OpenRecordStore(locator, error);
    if (!store) {
        PrintError(FormatText(Tr("Records cannot be kept: %s"), {error}));
        PrintError(Tr("Nothing was sent."));
        return kExitRecords;
    }
    const std::string localPath = store->LocalPath();
    CEventQueue events;
    auto writer = std::make_unique<CRecordWriter>(std::move(store), [&](const RecordWriterEvent& event) {
        // The writer's threads: trouble gets a line at once (stderr is unbuffered).
        if (event.kind == RecordWriterEvent::Kind::Stored) {
            events.OnStored(event.recordId);
            return;
        }
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

    int status = kExitOk;
    {
        // Declared after the queue and before the writer goes: Stop joins the
        // bays, so neither is posted to after it.
        CStation station(&events);
        {
            CStopSignalsBlocked blocked;  // the bays and their links never take the stop signals
            if (!station.Start(MakeConfig(options, writer.get()), image, error)) {
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
        const StopRequest request = Serve(station, events, view, options.once);
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
        } else {
            status = options.once ? OnceStatus(station) : kExitNoResponse;
        }
    }
    status = ReportUnkeptRecords(writer->Close(), localPath, status);
    writer.reset();
    return status;
}
