#include "station/station.h"

#include <algorithm>
#include <cstring>

#include "image/image_digest.h"
#include "records/passed_lookup.h"
#include "records/record_writer.h"
#include "records/json_text.h"
#include "link/protocol.h"
#include "res/translation.h"
#include "station/station_bay.h"

const char* BayStateName(BayState state) {
    switch (state) {
        case BayState::Idle: return "idle";
        case BayState::WaitingForUnit: return "waiting";
        case BayState::Flashing: return "flashing";
        case BayState::WaitingForRemoval: return "removal";
        case BayState::Paused: return "paused";
        case BayState::OutOfService: return "out-of-service";
        case BayState::Done: return "done";
        case BayState::Stopped: return "stopped";
    }
    return "unknown";
}

const char* StationEventName(StationEventKind kind) {
    switch (kind) {
        case StationEventKind::Waiting: return "waiting";
        case StationEventKind::UnitFound: return "unit-found";
        case StationEventKind::DownloadStarted: return "download-started";
        case StationEventKind::Progress: return "progress";
        case StationEventKind::UnitFinished: return "unit-finished";
        case StationEventKind::WaitingForRemoval: return "waiting-for-removal";
        case StationEventKind::UnitRemoved: return "unit-removed";
        case StationEventKind::PortFailed: return "port-failed";
        case StationEventKind::OutOfService: return "out-of-service";
        case StationEventKind::Paused: return "paused";
        case StationEventKind::BayStopped: return "bay-stopped";
        case StationEventKind::OrderComplete: return "order-complete";
        case StationEventKind::AlreadyPassed: return "already-passed";
    }
    return "unknown";
}

void RecordThrough(StationConfig& config, CRecordWriter& writer) {
    CRecordWriter* target = &writer;
    config.recordSink = [target](UnitRecord record) { target->Submit(std::move(record)); };
    config.recordsKept = [target] { return target->RecordsHealthy(); };
}

void SkipPassedUnits(StationConfig& config, CPassedLookup& lookup) {
    CPassedLookup* target = &lookup;
    config.passedBefore = [target](const DeviceInfo& unit, const std::string& imageSha256) {
        return target->Passed(ChipIdText(unit.chipId), imageSha256);
    };
}

CStation::CStation(IStationEvents* events) : m_events(events) {}

CStation::~CStation() { Stop(); }

bool CStation::Start(const StationConfig& config, const FirmwareImage& image, std::string& error) {
    Stop();
    if (config.bays.empty()) {
        error = Tr("No bays: name at least one port.");
        return false;
    }
    if (image.data.empty() || image.data.size() > MAX_DOWNLOAD_LENGTH) {
        error = Tr("The image holds no data a download can carry.");
        return false;
    }
    for (size_t i = 0; i < config.bays.size(); ++i) {
        if (config.bays[i].port.empty()) {
            error = FormatText(Tr("Bay %s has no port."), {std::to_string(i)});
            return false;
        }
        for (size_t j = 0; j < i; ++j) {
            if (config.bays[j].port == config.bays[i].port) {
                error = FormatText(Tr("Port %s is named for two bays."), {config.bays[i].port});
                return false;
            }
        }
    }
    auto shared = std::make_shared<const StationConfig>(config);
    auto digested = std::make_shared<FirmwareImage>(image);
    if (digested->sha256.empty()) digested->sha256 = ImageSha256(digested->data.data(), digested->data.size());
    std::shared_ptr<const FirmwareImage> sharedImage = std::move(digested);
    std::vector<std::unique_ptr<CStationBay>> bays;
    for (size_t i = 0; i < config.bays.size(); ++i)
        bays.push_back(std::make_unique<CStationBay>(i, config.bays[i], shared, sharedImage, m_events));
    {
        std::lock_guard lock(m_baysLock);
        m_bays = std::move(bays);
        m_config = shared;
        m_image = sharedImage;
        m_started = std::chrono::steady_clock::now();
    }
    m_running = true;
    for (auto& bay : m_bays) bay->Start();
    m_watchStop = false;
    m_portWatch = std::thread(&CStation::WatchPorts, this);
    return true;
}

void CStation::Stop() {
    // Every bay is asked first, so they all wind down at once.
    for (auto& bay : m_bays) bay->RequestStop();
    for (auto& bay : m_bays) bay->Join();
    StopPortWatch();
    m_running = false;
}

void CStation::WatchPorts() {
    constexpr std::chrono::milliseconds kEvery{100};
    std::unique_lock lock(m_watchLock);
    while (!m_watchWake.wait_for(lock, kEvery, [this] { return m_watchStop; })) {
        std::lock_guard bays(m_baysLock);
        for (auto& bay : m_bays) bay->CheckPort();
    }
}

void CStation::StopPortWatch() {
    {
        std::lock_guard lock(m_watchLock);
        m_watchStop = true;
    }
    m_watchWake.notify_all();
    if (m_portWatch.joinable()) m_portWatch.join();
}

void CStation::PauseBay(size_t bay) {
    if (bay < m_bays.size()) m_bays[bay]->Pause();
}

void CStation::ResumeBay(size_t bay) {
    if (bay < m_bays.size()) m_bays[bay]->Resume();
}

size_t CStation::AddBay(const BayConfig& config) {
    if (!m_running || config.port.empty()) return npos;
    for (auto& bay : m_bays) {
        if (bay->Port() == config.port && !bay->Status().removed) return npos;
    }
    auto bay = std::make_unique<CStationBay>(m_bays.size(), config, m_config, m_image, m_events);
    CStationBay* added = bay.get();
    size_t index;
    {
        std::lock_guard lock(m_baysLock);
        index = m_bays.size();
        m_bays.push_back(std::move(bay));
    }
    added->Start();
    return index;
}

void CStation::RemoveBay(size_t bay) {
    if (bay >= m_bays.size()) return;
    m_bays[bay]->RequestStop();
    m_bays[bay]->Join();
    m_bays[bay]->MarkRemoved();
}

size_t CStation::BayCount() const {
    std::lock_guard lock(m_baysLock);
    return m_bays.size();
}

BayStatus CStation::Bay(size_t bay) const {
    std::lock_guard lock(m_baysLock);
    return bay < m_bays.size() ? m_bays[bay]->Status() : BayStatus{};
}

StationTotals CStation::Totals() const {
    std::lock_guard lock(m_baysLock);
    StationTotals totals;
    for (const auto& bay : m_bays) {
        const BayStatus status = bay->Status();
        totals.passed += status.passed;
        totals.failed += status.failed;
        totals.stopped += status.stopped;
    }
    const uint32_t finished = totals.passed + totals.failed;
    if (finished > 0) totals.yield = static_cast<double>(totals.passed) / finished;
    if (m_started != std::chrono::steady_clock::time_point{}) {
        totals.elapsed =
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - m_started);
        const double hours = std::chrono::duration<double, std::ratio<3600>>(totals.elapsed).count();
        if (hours > 0) totals.unitsPerHour = finished / hours;
    }
    return totals;
}

bool CStation::Running() const { return m_running; }

bool CStation::Finished() const {
    std::lock_guard lock(m_baysLock);
    if (m_bays.empty()) return false;
    return std::all_of(m_bays.begin(), m_bays.end(), [](const auto& bay) {
        const BayState state = bay->Status().state;
        return state == BayState::Done || state == BayState::Stopped || state == BayState::OutOfService;
    });
}
