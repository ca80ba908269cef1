#include "station/station_bay.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "link/port_list.h"
#include "records/record_store.h"
#include "records/record_time.h"
#include "res/info_lines.h"
#include "res/resource_ids.h"
#include "res/strings.h"
#include "station/station_platform.h"

namespace {
// How often a bay looks at its stop and pause flags and at its port.
constexpr std::chrono::milliseconds kSlice{50};
constexpr std::chrono::milliseconds kPortCheckEvery{100};
// A port that cannot be opened is tried again after this pause.
constexpr std::chrono::milliseconds kPortRetry{1000};
// A unit that answers does so once per poll cycle: a shorter silence is only
// the pause between two polls, not a unit that has left.
constexpr std::chrono::milliseconds kShortestLeaveQuiet{POLL_PAUSE + 1000};

// The string table's English text: messages go into records and JSON, which
// are never translated; the front ends translate what they show.
std::string Text(unsigned id) {
    const char* text = LoadStringSource(id);
    return text != nullptr ? text : "";
}

bool HasChip(const DeviceInfo& device) {
    static const uint8_t kNone[4] = {0, 0, 0, 0};
    return std::memcmp(device.chipId, kNone, sizeof kNone) != 0;
}

bool FitsImage(const DeviceInfo& device, const FirmwareInfo& image) {
    return IsHardwareCompatible(Version{device.hwCurrentMajor, device.hwCurrentMinor},
                                Version{image.hwLowestMajor, image.hwLowestMinor},
                                Version{image.hwHighestMajor, image.hwHighestMinor});
}

std::string Seconds(std::chrono::milliseconds span) {
    char text[32];
    std::snprintf(text, sizeof text, "%.0f s", std::chrono::duration<double>(span).count());
    return text;
}
}  // namespace

CStationBay::CStationBay(size_t index, const BayConfig& config, std::shared_ptr<const StationConfig> station,
                         std::shared_ptr<const StationImage> image, IStationEvents* events)
    : m_index(index), m_config(config), m_station(std::move(station)), m_image(std::move(image)), m_events(events) {
    m_status.config = config;
    m_link.m_notifyWindow = &m_queue;
    m_link.m_progressWindow = &m_queue;
    m_link.m_port.SetTrace(this);
    m_link.m_firmware = m_image->info;
    m_link.m_checksum = m_image->checksum;
    m_link.m_length = static_cast<uint32_t>(m_image->data.size());
    m_link.m_data = std::make_unique<uint8_t[]>(m_image->data.size() + 1);
    std::memcpy(m_link.m_data.get(), m_image->data.data(), m_image->data.size());
}

CStationBay::~CStationBay() {
    RequestStop();
    Join();
    m_link.m_port.SetTrace(nullptr);
    m_link.m_notifyWindow = nullptr;
    m_link.m_progressWindow = nullptr;
}

void CStationBay::Start() {
    m_stop = false;
    m_thread = std::thread(&CStationBay::Run, this);
}

void CStationBay::RequestStop() { m_stop = true; }

void CStationBay::Join() {
    if (m_thread.joinable()) m_thread.join();
}

void CStationBay::Pause() { m_pause = true; }
void CStationBay::Resume() { m_pause = false; }

void CStationBay::MarkRemoved() {
    std::lock_guard lock(m_lock);
    m_status.removed = true;
}

BayStatus CStationBay::Status() const {
    std::lock_guard lock(m_lock);
    return m_status;
}

void CStationBay::OnFrame(Direction direction, const uint8_t*, uint32_t) {
    if (direction == Direction::Received) m_lastReply = Clock::now().time_since_epoch().count();
}

void CStationBay::SetState(BayState state) {
    std::lock_guard lock(m_lock);
    m_status.state = state;
}

StationEvent CStationBay::MakeEvent(StationEventKind kind) const {
    StationEvent event;
    event.kind = kind;
    event.bay = m_index;
    event.port = m_config.port;
    event.utcMs = UtcNowMs();
    event.secondCpu = m_config.secondCpu;
    std::lock_guard lock(m_lock);
    event.device = m_status.device;
    event.position = m_status.position;
    event.total = m_status.total;
    return event;
}

void CStationBay::Emit(const StationEvent& event) {
    if (m_events != nullptr) m_events->OnStationEvent(event);
}

void CStationBay::Emit(StationEventKind kind) { Emit(MakeEvent(kind)); }

// --- the bay's thread ---

void CStationBay::Run() {
    const StationConfig& station = *m_station;
    while (!m_stop) {
        if (m_pause) {
            WaitWhilePaused();
            continue;
        }
        const Turn turn = ServeUnit();
        m_link.Stop();
        if (turn == Turn::Interrupted) continue;
        const BayStatus status = Status();
        if (station.stopAfterFailures > 0 && status.failuresInRow >= static_cast<uint32_t>(station.stopAfterFailures)) {
            SetState(BayState::OutOfService);
            StationEvent event = MakeEvent(StationEventKind::OutOfService);
            event.message = "Bay " + m_config.port + " is out of service after " +
                            std::to_string(status.failuresInRow) + " failed units in a row.";
            Emit(event);
            break;
        }
        if (station.once) {
            SetState(BayState::Done);
            break;
        }
        if (turn != Turn::NoUnit) WaitForRemoval();
        m_link.Stop();
    }
    m_link.Stop();
    {
        std::lock_guard lock(m_lock);
        if (m_status.state != BayState::Done && m_status.state != BayState::OutOfService)
            m_status.state = BayState::Stopped;
        m_status.present = false;
    }
    Emit(StationEventKind::BayStopped);
}

void CStationBay::WaitWhilePaused() {
    SetState(BayState::Paused);
    Emit(StationEventKind::Paused);
    while (m_pause && !m_stop) std::this_thread::sleep_for(kSlice);
}

CStationBay::Turn CStationBay::ServeUnit() {
    const StationConfig& station = *m_station;
    {
        std::lock_guard lock(m_lock);
        m_status.state = BayState::WaitingForUnit;
        m_status.present = false;
        m_status.position = 0;
        m_status.total = 0;
    }
    Emit(StationEventKind::Waiting);
    const Clock::time_point deadline = station.once ? Clock::now() + station.unitTimeout : Clock::time_point::max();
    Unit unit;
    unit.startedUtcMs = UtcNowMs();
    const Turn found = WaitForUnit(deadline, unit);
    if (found != Turn::Finished) return found;
    // A unit that has not left since it was flashed here is not flashed again.
    if (m_hasLastChip && !m_left && std::memcmp(m_lastChip, unit.device.chipId, 4) == 0) return Turn::Skipped;
    return FlashUnit(unit);
}

bool CStationBay::StartLink() {
    std::string reason;
    if (!ResolveBayPort(m_config.port, m_device, reason)) return false;
    if (static_cast<int>(m_device.size()) >= m_link.m_portName.Capacity()) return false;
    m_link.SetPortName(m_device.c_str());
    m_link.m_secondCpu = m_config.secondCpu ? 1 : 0;
    m_lastReply = Clock::now().time_since_epoch().count();
    m_link.Start();
    m_nextPortCheck = Clock::now() + kPortCheckEvery;
    if (m_link.m_running) return true;
    m_link.Stop();
    LinkMessage drained;
    while (m_queue.Take(drained, 0)) {
    }
    return false;
}

// The port is gone, or its name now leads to another device (an adapter
// plugged in again, a simulator's new pseudo-terminal).
bool CStationBay::PortChanged() {
    const Clock::time_point now = Clock::now();
    if (now < m_nextPortCheck) return false;
    m_nextPortCheck = now + kPortCheckEvery;
    std::string device, reason;
    return !ResolveBayPort(m_config.port, device, reason) || device != m_device;
}

CStationBay::Wait CStationBay::Next(LinkMessage& message) {
    if (Interrupted()) return Wait::Interrupted;
    if (PortChanged()) return Wait::PortChanged;
    return m_queue.Take(message, static_cast<uint32_t>(kSlice.count())) ? Wait::Message : Wait::Slice;
}

bool CStationBay::OpenPort(Clock::time_point deadline, int64_t startedUtcMs) {
    for (;;) {
        if (Interrupted()) return false;
        if (StartLink()) {
            m_portFailure.clear();
            return true;
        }
        std::string reason;
        std::string device;
        std::string failure;
        // A missing port is a fixture without its adapter: waited for quietly.
        const bool missing = !ResolveBayPort(m_config.port, device, reason);
        if (missing)
            failure = "Port " + m_config.port + ": " + reason + ".";
        else if (device.size() >= static_cast<size_t>(m_link.m_portName.Capacity()))
            failure = "Port " + m_config.port + " leads to " + device + ", a name longer than " +
                      std::to_string(m_link.m_portName.Capacity() - 1) + " characters.";
        else
            failure = "Port " + m_config.port + " cannot be opened.";
        if (!missing && failure != m_portFailure) {
            StationEvent event = MakeEvent(StationEventKind::PortFailed);
            event.message = failure;
            Emit(event);
        }
        m_portFailure = failure;
        const Clock::time_point retry = Clock::now() + (missing ? kPortCheckEvery : kPortRetry);
        while (!Interrupted() && Clock::now() < retry && Clock::now() < deadline) std::this_thread::sleep_for(kSlice);
        if (Clock::now() >= deadline) {
            Unit unit;
            unit.startedUtcMs = startedUtcMs;
            Finish(unit, UnitResult::PortFailed, Text(IDS_PORT_FAILED) + ". " + failure);
            return false;
        }
    }
}

CStationBay::Turn CStationBay::WaitForUnit(Clock::time_point deadline, Unit& unit) {
    for (;;) {
        if (!OpenPort(deadline, unit.startedUtcMs)) return Interrupted() ? Turn::Interrupted : Turn::NoUnit;
        for (;;) {
            if (Clock::now() >= deadline) {
                m_link.Stop();
                Finish(unit, UnitResult::NoResponse,
                       Text(IDS_NO_RESPONSE) + ". Nothing answered on " + m_config.port + " within " +
                           Seconds(m_station->unitTimeout) + ".");
                return Turn::NoUnit;
            }
            LinkMessage message;
            const Wait wait = Next(message);
            if (wait == Wait::Interrupted) return Turn::Interrupted;
            if (wait == Wait::PortChanged) break;
            if (wait == Wait::Message && message.message == WM_LINK_NOTIFY && message.wParam == LN_INFO_CHANGED) {
                unit.device = m_link.SnapshotDevice();
                // The cycle publishes once, after both poll commands. The
                // unit's attempt starts when it answers, not when the bay
                // began to wait for it.
                if (HasChip(unit.device)) {
                    unit.startedUtcMs = UtcNowMs();
                    return Turn::Finished;
                }
            }
        }
        m_link.Stop();
    }
}

CStationBay::Turn CStationBay::FlashUnit(Unit& unit) {
    {
        std::lock_guard lock(m_lock);
        m_status.state = BayState::Flashing;
        m_status.present = true;
        m_status.device = unit.device;
        m_status.position = 0;
        m_status.total = static_cast<uint32_t>(m_image->data.size());
    }
    Emit(StationEventKind::UnitFound);

    const FirmwareInfo& image = m_image->info;
    if (!FitsImage(unit.device, image) && !m_station->force) {
        Finish(unit, UnitResult::RefusedByHardwareRange,
               Text(IDS_HW_INCORRECT) + " The unit's HW current version " +
                   FormatVersion(unit.device.hwCurrentMajor, unit.device.hwCurrentMinor) +
                   " lies outside the image's range " + FormatVersion(image.hwLowestMajor, image.hwLowestMinor) +
                   " to " + FormatVersion(image.hwHighestMajor, image.hwHighestMinor) + ".");
        return Turn::Finished;
    }
    UnitResult result = UnitResult::Passed;
    std::string message;
    if (Download(result, message) && m_station->reset) Reset(result, message);
    if (result == UnitResult::Stopped) {
        Finish(unit, result, message);
        return Turn::Interrupted;
    }
    Finish(unit, result, message);
    return Turn::Finished;
}

bool CStationBay::Download(UnitResult& result, std::string& message) {
    const uint32_t total = static_cast<uint32_t>(m_image->data.size());
    StationEvent started = MakeEvent(StationEventKind::DownloadStarted);
    started.total = total;
    Emit(started);
    bool done = false;
    bool noResponse = false;
    uint32_t acknowledged = 0;
    uint32_t shownPercent = 0;
    m_link.RequestDownload();
    for (;;) {
        LinkMessage message_;
        const Wait wait = Next(message_);
        if (wait == Wait::Interrupted || wait == Wait::PortChanged) {
            m_link.Stop();
            result = wait == Wait::Interrupted ? UnitResult::Stopped : UnitResult::PortFailed;
            message = (wait == Wait::Interrupted ? std::string("Stopped")
                                                 : Text(IDS_PORT_FAILED) + ". The port " + m_config.port +
                                                       " went away") +
                      " during the download after " + std::to_string(acknowledged) + " of " +
                      std::to_string(total) + " bytes.";
            return false;
        }
        if (wait == Wait::Message) {
            if (message_.message == PBM_SETPOS) {
                acknowledged = static_cast<uint32_t>(message_.wParam);
                const uint32_t percent = total == 0 ? 100 : static_cast<uint32_t>(uint64_t{acknowledged} * 100 / total);
                {
                    std::lock_guard lock(m_lock);
                    m_status.position = acknowledged;
                }
                if (percent != shownPercent) {
                    shownPercent = percent;
                    Emit(StationEventKind::Progress);
                }
            } else if (message_.message == WM_LINK_NOTIFY && message_.wParam == LN_DOWNLOAD_DONE) {
                done = true;
            } else if (message_.message == WM_LINK_NOTIFY && message_.wParam == LN_NO_RESPONSE) {
                noResponse = true;
            }
            continue;  // drain what is queued before looking at the flag
        }
        // The worker clears the request after the whole attempt, end command
        // included, and posts everything about it before that.
        if (m_link.m_downloadRequested == 0) {
            while (m_queue.Take(message_, 0)) {
                if (message_.message == WM_LINK_NOTIFY && message_.wParam == LN_DOWNLOAD_DONE) done = true;
                if (message_.message == WM_LINK_NOTIFY && message_.wParam == LN_NO_RESPONSE) noResponse = true;
                if (message_.message == PBM_SETPOS) acknowledged = static_cast<uint32_t>(message_.wParam);
            }
            break;
        }
    }
    if (done && !noResponse) {
        result = UnitResult::Passed;
        message = Text(IDS_DOWNLOAD_DONE);
        return true;
    }
    result = UnitResult::NoResponse;
    message = Text(IDS_NO_RESPONSE) + ". " +
              (done ? std::string("The unit took every block but did not confirm the end of the download.")
                    : "The download stopped after " + std::to_string(acknowledged) + " of " +
                          std::to_string(total) + " bytes.");
    return false;
}

bool CStationBay::Reset(UnitResult& result, std::string& message) {
    m_link.RequestReset();
    for (;;) {
        LinkMessage notice;
        const Wait wait = Next(notice);
        if (wait == Wait::Interrupted || wait == Wait::PortChanged) {
            m_link.Stop();
            result = wait == Wait::Interrupted ? UnitResult::Stopped : UnitResult::PortFailed;
            message = wait == Wait::Interrupted ? "Stopped after the download, before the reset was confirmed."
                                                : Text(IDS_PORT_FAILED) + ". The port " + m_config.port +
                                                      " went away before the reset was confirmed.";
            return false;
        }
        if (wait != Wait::Message || notice.message != WM_LINK_NOTIFY) continue;
        if (notice.wParam == LN_DEVICE_RESET) {
            message += ". " + Text(IDS_DEVICE_RESET);
            return true;
        }
        if (notice.wParam == LN_NO_RESPONSE) {
            result = UnitResult::NoResponse;
            message = Text(IDS_NO_RESPONSE) + ". The unit took the image but did not acknowledge the reset.";
            return false;
        }
    }
}

// The fixture's physical place (its /dev/serial/by-path name) and the
// adapter's serial number, when the port the bay's name led to is one the
// system lists with them.
void CStationBay::FillAdapter(UnitRecord& record) const {
    if (m_device.empty()) return;
    for (const SerialPortEntry& entry : EnumerateSerialPorts()) {
        if (entry.path != m_device && entry.name != m_device) continue;
        record.usbPath = entry.byPath;
        record.adapterSerial = entry.serial;
        return;
    }
}

void CStationBay::Finish(const Unit& unit, UnitResult result, const std::string& message) {
    UnitRecord record;
    record.id = NewRecordId();
    record.startedUtcMs = unit.startedUtcMs;
    record.endedUtcMs = UtcNowMs();
    record.station = m_station->stationName.empty() ? DefaultStationName() : m_station->stationName;
    record.port = m_config.port;
    FillAdapter(record);
    record.secondCpu = m_config.secondCpu;
    record.device = unit.device;
    record.imageSource = m_image->source;
    record.image = m_image->info;
    record.imageLength = static_cast<uint32_t>(m_image->data.size());
    record.imageChecksum = m_image->checksum;
    record.imageSha256 = m_image->sha256;
    record.result = result;
    record.message = message;
    {
        std::lock_guard lock(m_lock);
        m_status.hasLastResult = true;
        m_status.lastResult = result;
        m_status.lastMessage = message;
        if (result == UnitResult::Passed) {
            ++m_status.passed;
            m_status.failuresInRow = 0;
        } else if (result == UnitResult::Stopped) {
            ++m_status.stopped;
        } else {
            ++m_status.failed;
            ++m_status.failuresInRow;
        }
    }
    StationEvent event = MakeEvent(StationEventKind::UnitFinished);
    event.device = unit.device;
    event.result = result;
    event.message = message;
    event.recordId = record.id;
    event.durationMs = record.DurationMs();
    if (result != UnitResult::Stopped) {
        // This unit's turn is over: it is not served again until it has left.
        std::memcpy(m_lastChip, unit.device.chipId, 4);
        m_hasLastChip = true;
        m_left = false;
    }
    if (m_station->recordSink) m_station->recordSink(std::move(record));
    Emit(event);
}

void CStationBay::WaitForRemoval() {
    {
        std::lock_guard lock(m_lock);
        m_status.state = BayState::WaitingForRemoval;
    }
    Emit(StationEventKind::WaitingForRemoval);
    m_link.Stop();
    LinkMessage drained;
    while (m_queue.Take(drained, 0)) {
    }
    bool left = !StartLink();
    while (!left) {
        LinkMessage message;
        const Wait wait = Next(message);
        if (wait == Wait::Interrupted) return;
        if (wait == Wait::PortChanged) break;
        const Clock::time_point lastReply{Clock::duration(m_lastReply.load())};
        if (Clock::now() - lastReply >= std::max(m_station->leaveQuiet, kShortestLeaveQuiet)) break;
        // Another unit answering on the same port has replaced this one.
        if (wait == Wait::Message && message.message == WM_LINK_NOTIFY && message.wParam == LN_INFO_CHANGED) {
            const DeviceInfo device = m_link.SnapshotDevice();
            if (HasChip(device) && std::memcmp(device.chipId, m_lastChip, 4) != 0) break;
        }
    }
    m_link.Stop();
    m_left = true;
    {
        std::lock_guard lock(m_lock);
        m_status.present = false;
    }
    Emit(StationEventKind::UnitRemoved);
}
