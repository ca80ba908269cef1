#pragma once
// What the station's web console answers: the page, the JSON API v1, the
// control requests, the Prometheus metrics and the event stream's events.
// Independent of the HTTP library: a request is a plain value, so the same
// code is what the server, the tests and the fuzz target run.
//
// Threads:
//  - OnStationEvent (IStationEvents) is called on the bays' threads and
//    OnRecordStored on the record writer's: both only update counters and
//    publish into the event hub, neither ever waits for a client;
//  - Respond is called on the HTTP server's worker threads, several at once.
//    It reads the station through CStation's any-thread calls; a control
//    request is queued for the owner thread and waited for (bounded);
//  - RunControls is called on the station's owner thread (the one that may
//    call PauseBay, ResumeBay), regularly; CancelControls on any thread once
//    the owner stops calling RunControls.
#include <chrono>
#include <cstdint>
#include <functional>
#include <future>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "image/firmware_image.h"
#include "records/record_store.h"
#include "station/station.h"
#include "web/event_hub.h"

struct WebRequest {
    std::string method;                          // "GET", "POST", ...
    std::string path;                            // without the query
    std::multimap<std::string, std::string> query;
    std::string authorization;                   // the Authorization header's value
    std::string body;
};

struct WebResponse {
    int status = 200;
    std::string contentType = "application/json";
    std::string body;
};

// Reads the records (since, limit) for /api/v1/records; false with error set.
using RecordsReader = std::function<bool(const RecordQuery&, std::vector<UnitRecord>&, std::string&)>;

struct WebApiConfig {
    std::string stationName;
    std::string version;
    FirmwareImage image;   // its data is not needed: name, version, checksum, SHA-256
    std::string token;     // Bearer token of the control requests (never empty)
    RecordsReader readRecords;
    std::chrono::milliseconds controlWait{5000};
};

class CWebApi final : public IStationEvents {
public:
    static constexpr int kApiFormat = 1;

    CWebApi(const CStation& station, WebApiConfig config);

    // --- bays' threads, record writer's thread ---
    void OnStationEvent(const StationEvent& event) override;
    void OnRecordStored(const std::string& recordId);

    // --- HTTP worker threads ---
    WebResponse Respond(const WebRequest& request);
    CEventHub& Hub() { return m_hub; }

    // --- owner thread ---
    void RunControls(CStation& station);
    // Any thread: control requests still waiting get 503, later ones at once.
    void CancelControls();

    // The metrics in Prometheus' text exposition format.
    std::string MetricsText() const;

private:
    enum class ControlKind { Start, Stop, Pause, Resume };
    struct Control {
        ControlKind kind;
        size_t bay;
        std::promise<WebResponse> done;
    };

    WebResponse Route(const WebRequest& request);
    WebResponse Get(const WebRequest& request);
    WebResponse Post(const WebRequest& request);
    WebResponse StationJson() const;
    WebResponse BaysJson() const;
    WebResponse RecordsJson(const WebRequest& request) const;
    WebResponse Queue(ControlKind kind, size_t bay);
    WebResponse Execute(CStation& station, ControlKind kind, size_t bay) const;
    [[nodiscard]] bool Authorized(const WebRequest& request) const;

    const CStation& m_station;
    WebApiConfig m_config;
    CEventHub m_hub;

    mutable std::mutex m_metricsLock;  // the counters below
    std::map<std::string, uint64_t> m_units;     // by result name
    std::vector<uint64_t> m_durationBuckets;     // cumulative at output, per bucket here
    uint64_t m_durationCount = 0;
    double m_durationSum = 0.0;
    uint64_t m_lineBytes = 0;
    std::map<size_t, uint32_t> m_bayPosition;    // last progress position per bay
    std::map<std::string, bool> m_unstored;      // records finished but not yet committed

    std::mutex m_controlLock;
    std::vector<std::unique_ptr<Control>> m_controls;
    bool m_controlsCancelled = false;
};

// A JSON error body: {"format":1,"error":{"status":N,"message":"..."}}.
WebResponse WebError(int status, const std::string& message);
// The built-in page (HTML with its script and style; no external asset).
const char* WebConsolePage();
// A token for the control requests: 32 random bytes as 64 hex digits.
std::string NewWebToken();
