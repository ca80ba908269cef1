#pragma once
// A production station: many bays, each a serial port with a fixture behind
// it, flashed at once. Each bay has a device session and one thread
// of its own that holds the conversation with one unit after another: wait
// for a unit, identify it, check its hardware version against the image's
// range, download, reset, record how it ended, wait for it to leave.
//
// Threads:
//  - the owner thread (the one that constructs the station: the command
//    line's main thread, the desktop window's thread) calls Start, Stop,
//    PauseBay, ResumeBay, AddBay, RemoveBay and the destructor;
//  - BayCount, Bay, Totals, Running and Finished may be called from any
//    thread, the event handler's calls included;
//  - IStationEvents::OnStationEvent is called on the bays' threads, several
//    at once for different bays (one bay's events arrive in order). It must
//    return quickly and never wait for the owner thread: the desktop window
//    posts each event to its window thread, the command line queues it for
//    its main thread. It must not call Start, Stop, PauseBay, ResumeBay,
//    AddBay or RemoveBay. Stop and the destructor join every bay's thread
//    before they return, so the handler is not called afterwards;
//  - the record sink is called on the bays' threads too, once per finished
//    attempt, and must not block (CRecordWriter::Submit qualifies).
//
// The station never prints and never exits.
#include <atomic>
#include <condition_variable>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "image/firmware_image.h"
#include "link/device_info.h"
#include "records/unit_record.h"

// What a bay is doing. The names (BayStateName) appear in machine-readable
// output: they never change.
enum class BayState : uint8_t {
    Idle,               // not started
    WaitingForUnit,     // the port is watched for a unit that answers
    Flashing,           // a unit answered: range check, download, reset
    WaitingForRemoval,  // the unit is done; waits until it leaves
    Paused,             // held by the operator (PauseBay)
    OutOfService,       // too many failures in a row (stop-after-failures)
    Done,               // once mode: this bay's unit is finished
    Stopped,            // the station was stopped, or the bay removed
};

// "idle", "waiting", "flashing", "removal", "paused", "out-of-service",
// "done", "stopped".
const char* BayStateName(BayState state);

struct BayConfig {
    std::string port;        // as given: /dev/ttyUSB0, /dev/serial/by-path/..., COM3
    bool secondCpu = false;  // address the units' second processor
};


enum class OrderClaim : uint8_t { Granted, Full, Unavailable };

struct StationConfig {
    std::vector<BayConfig> bays;
    // Once: each bay flashes one unit, waiting up to unitTimeout for it, then
    // is Done. Otherwise continuous: unit after unit until stopped.
    bool once = false;
    std::chrono::milliseconds unitTimeout{45000};
    bool force = false;  // download even outside the image's hardware range
    bool reset = true;   // reset each unit after its download
    // A bay whose last this-many units all failed goes out of service; 0 never.
    int stopAfterFailures = 0;
    // On a port that stays (no USB adapter in the fixture) a unit has left
    // when it has not answered for this long (at least 3 s: an answering
    // unit is polled every 2 s).
    std::chrono::milliseconds leaveQuiet{5000};
    std::string stationName;  // the records' station; the host name when empty
    // Receives each finished attempt's record (bind CRecordWriter::Submit).
    std::function<void(UnitRecord)> recordSink;
    // False while records cannot be kept (CRecordWriter::RecordsHealthy): the
    // bays then take no new unit. Called on the bays' threads; empty: always kept.
    std::function<bool()> recordsKept;
    // A work order: every record carries orderId. claimUnit is asked on the
    // bay's thread (with the bay's index) before a unit that fits is
    // downloaded: Full means the order is complete and the bay takes no more
    // units (a unit already downloading elsewhere finishes); Unavailable
    // leaves the unit as it is and asks again at its next answer.
    // settleUnit tells how a claimed unit ended: a unit that did not pass
    // gives its place back. Both are bounded (a server's time-outs).
    std::string orderId;
    std::function<OrderClaim(size_t bay)> claimUnit;
    std::function<void(size_t bay, bool passed)> settleUnit;
    // True when the unit's chip already has a passed record for the image
    // (its SHA-256): the unit is shown as passed (AlreadyPassed) and not
    // flashed. Asked on the bay's thread for each unit new to the bay, so it
    // must be bounded; a store that cannot tell answers false. Empty: every
    // unit is flashed.
    std::function<bool(const DeviceInfo& unit, const std::string& imageSha256)> passedBefore;
};

class CRecordWriter;
class CPassedLookup;
// Wires the station's records to writer, the same for every front end: each
// finished attempt's record is submitted, and the bays hold new units while
// the writer cannot keep them. The writer must outlive the station's run.
void RecordThrough(StationConfig& config, CRecordWriter& writer);
// Asks lookup whether a unit passed with the image before (passedBefore), the
// same for every front end. The lookup must outlive the station's run.
void SkipPassedUnits(StationConfig& config, CPassedLookup& lookup);

// The event names (StationEventName) appear in machine-readable output and
// never change.
enum class StationEventKind : uint8_t {
    Waiting,           // "waiting": the bay waits for a unit
    UnitFound,         // "unit-found": a unit answered (device filled in)
    DownloadStarted,   // "download-started": total holds the data length
    Progress,          // "progress": position of total, at each whole percent
    UnitFinished,      // "unit-finished": result, message, record id, duration
    WaitingForRemoval, // "waiting-for-removal"
    UnitRemoved,       // "unit-removed": the unit left (port gone or silent)
    PortFailed,        // "port-failed": the port cannot be opened (message says why)
    OutOfService,      // "out-of-service": the bay stops after too many failures
    Paused,            // "paused"
    BayStopped,        // "bay-stopped": the bay's thread ends (Stop, RemoveBay, once done)
    OrderComplete,     // "order-complete": the work order needs no more units; the bay is done
    AlreadyPassed,     // "already-passed": the unit passed with this image before; not flashed again
};

// "waiting", "unit-found", "download-started", "progress", "unit-finished",
// "waiting-for-removal", "unit-removed", "port-failed", "out-of-service",
// "paused", "bay-stopped", "order-complete", "already-passed".
const char* StationEventName(StationEventKind kind);

struct StationEvent {
    StationEventKind kind = StationEventKind::Waiting;
    size_t bay = 0;
    std::string port;
    int64_t utcMs = 0;             // when it happened, milliseconds since 1970 UTC
    bool secondCpu = false;
    DeviceInfo device;             // UnitFound onwards: the unit as it identified itself
    uint32_t position = 0;         // Progress
    uint32_t total = 0;            // DownloadStarted, Progress
    UnitResult result = UnitResult::NoResponse;  // UnitFinished; Passed for AlreadyPassed
    std::string message;           // UnitFinished, PortFailed, OutOfService, AlreadyPassed
    std::string recordId;          // UnitFinished
    int64_t durationMs = 0;        // UnitFinished
};

class IStationEvents {
public:
    virtual void OnStationEvent(const StationEvent& event) = 0;

protected:
    ~IStationEvents() = default;
};

// A consistent copy of one bay's state.
struct BayStatus {
    BayConfig config;
    BayState state = BayState::Idle;
    bool present = false;          // a unit is on the bay (found, not yet removed)
    DeviceInfo device;             // the current or last unit
    uint32_t position = 0;
    uint32_t total = 0;
    bool hasLastResult = false;
    UnitResult lastResult = UnitResult::NoResponse;
    std::string lastMessage;
    uint32_t passed = 0;
    uint32_t failed = 0;           // refused, no response, port failed
    uint32_t stopped = 0;
    uint32_t failuresInRow = 0;
    bool removed = false;          // RemoveBay: kept in the list so indices stay
    std::string portFailure;       // why the port cannot be opened now; empty once it opens
};

struct StationTotals {
    uint32_t passed = 0;
    uint32_t failed = 0;
    uint32_t stopped = 0;           // not counted in the yield
    double yield = 0.0;             // passed / (passed + failed); 0 before any unit
    double unitsPerHour = 0.0;      // (passed + failed) per hour since Start
    std::chrono::milliseconds elapsed{0};
};

class CStationBay;

class CStation {
public:
    explicit CStation(IStationEvents* events = nullptr);
    // Stops every bay and joins their threads.
    ~CStation();
    CStation(const CStation&) = delete;
    CStation& operator=(const CStation&) = delete;

    // --- owner thread ---
    // Starts one thread per bay. False with error set (nothing started) when
    // the configuration cannot work: no bays, the same port twice, no image.
    // The error is for a person, in their language (res/translation.h).
    [[nodiscard]] bool Start(const StationConfig& config, const FirmwareImage& image, std::string& error);
    // Stops every bay and joins their threads: each link is stopped, a unit in
    // the middle of its download is recorded as stopped. Safe to call twice.
    void Stop();
    // A paused bay ends its current unit (recorded as stopped when mid-way),
    // closes its port and waits; Resume starts it again. Its last unit's chip
    // ID is kept, so a unit that never left is not flashed twice.
    void PauseBay(size_t bay);
    void ResumeBay(size_t bay);
    // While running: a new bay, started at once; its index. Npos when the
    // port is already a bay's.
    size_t AddBay(const BayConfig& config);
    // Stops the bay for good; its index stays (state Stopped, removed set).
    void RemoveBay(size_t bay);
    static constexpr size_t npos = static_cast<size_t>(-1);

    // --- any thread ---
    size_t BayCount() const;
    BayStatus Bay(size_t bay) const;
    StationTotals Totals() const;
    bool Running() const;
    // Once mode: every bay is Done, Stopped or OutOfService.
    bool Finished() const;

private:
    // The station's own thread: every bay's port looked at ten times a second,
    // so a unit pulled out (or a port that now leads elsewhere) ends the step
    // its bay is in.
    void WatchPorts();
    void StopPortWatch();

    IStationEvents* m_events;
    mutable std::mutex m_baysLock;  // guards the vector; each bay guards its own state
    std::vector<std::unique_ptr<CStationBay>> m_bays;
    std::shared_ptr<const StationConfig> m_config;
    std::shared_ptr<const FirmwareImage> m_image;
    std::chrono::steady_clock::time_point m_started{};
    std::atomic<bool> m_running{false};
    std::mutex m_watchLock;  // with m_watchWake and m_watchStop: the port watch's rest
    std::condition_variable m_watchWake;
    bool m_watchStop = false;
    std::thread m_portWatch;
};
