#include "station/station_bay.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "link/port_failure.h"
#include "link/port_list.h"
#include "link/protocol.h"
#include "records/json_text.h"
#include "records/record_store.h"
#include "records/record_time.h"
#include "res/info_lines.h"
#include "res/resource_ids.h"
#include "res/strings.h"
#include "station/station_platform.h"
#include "station/unit_outcome.h"

namespace {
// A missing port is looked for again this often.
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
                         std::shared_ptr<const FirmwareImage> image, IStationEvents* events)
    : m_index(index), m_config(config), m_station(std::move(station)), m_image(std::move(image)), m_events(events) {
    m_status.config = config;
}

CStationBay::~CStationBay() {
    RequestStop();
    Join();
}

void CStationBay::Start() {
    m_stop = false;
    m_thread = std::thread(&CStationBay::Run, this);
}

// Each of these ends the step the bay's thread is in, and its rest.
void CStationBay::RequestStop() {
    m_stop = true;
    m_session.RequestStop();
    m_rested.notify_all();
}

void CStationBay::Join() {
    if (m_thread.joinable()) m_thread.join();
}

void CStationBay::Pause() {
    m_pause = true;
    m_session.RequestStop();
    m_rested.notify_all();
}

void CStationBay::Resume() {
    {
        std::lock_guard lock(m_restLock);
        m_pause = false;
    }
    m_rested.notify_all();
}

void CStationBay::CheckPort() {
    std::string opened;
    {
        std::lock_guard lock(m_deviceLock);
        opened = m_device;
    }
    if (opened.empty() || m_portChanged) return;
    std::string device, reason;
    if (ResolveBayPort(m_config.port, device, reason) && device == opened) return;
    {
        std::lock_guard lock(m_restLock);
        m_portChanged = true;
    }
    m_session.RequestStop();
    m_rested.notify_all();
}

bool CStationBay::Rest(Clock::time_point until) {
    std::unique_lock lock(m_restLock);
    m_rested.wait_until(lock, until, [this] { return Interrupted() || m_portChanged; });
    return !Interrupted() && !m_portChanged;
}

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

void CStationBay::SetPortFailure(const std::string& failure) {
    std::lock_guard lock(m_lock);
    m_status.portFailure = failure;
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
        m_session.Close();
        if (turn == Turn::Interrupted) continue;
        if (turn == Turn::OrderComplete) {
            SetState(BayState::Done);
            StationEvent event = MakeEvent(StationEventKind::OrderComplete);
            event.message = "order complete";
            Emit(event);
            break;
        }
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
        m_session.Close();
    }
    m_session.Close();
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
    std::unique_lock lock(m_restLock);
    m_rested.wait(lock, [this] { return !m_pause || m_stop; });
}

CStationBay::Turn CStationBay::ServeUnit() {
    const StationConfig& station = *m_station;
    // A unit whose record could not be kept is not worth flashing: wait until
    // the records are kept again (the front end says why).
    constexpr std::chrono::milliseconds kRecordsLookEvery{500};
    while (station.recordsKept && !station.recordsKept()) {
        std::unique_lock lock(m_restLock);
        if (m_rested.wait_for(lock, kRecordsLookEvery, [this] { return Interrupted(); })) return Turn::Interrupted;
    }
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
    unit.Start();
    const Turn found = WaitForUnit(deadline, unit);
    if (found != Turn::Finished) return found;
    // A unit that has not left since it was flashed here is not flashed again.
    if (m_hasLastChip && !m_left && std::memcmp(m_lastChip, unit.device.chipId, 4) == 0) return Turn::Skipped;
    if (station.passedBefore && station.passedBefore(unit.device, m_image->sha256)) {
        ShowPassedBefore(unit);
        return Turn::Skipped;
    }
    return FlashUnit(unit);
}

bool CStationBay::StartLink(std::string* failure, bool* missing) {
    std::string device, reason;
    // Resolved once: the name may come and go between two looks.
    const bool found = ResolveBayPort(m_config.port, device, reason);
    if (missing != nullptr) *missing = !found;
    if (!found) {
        if (failure != nullptr) *failure = "Port " + m_config.port + ": " + reason + ".";
        return false;
    }
    if (device.size() > CDeviceSession::kLongestPortName) {
        if (failure != nullptr)
            *failure = "Port " + m_config.port + " leads to " + device + ", a name longer than " +
                       std::to_string(CDeviceSession::kLongestPortName) + " characters.";
        return false;
    }
    {
        std::lock_guard lock(m_deviceLock);
        m_device = device;
    }
    m_portChanged = false;
    m_lastReply = Clock::now().time_since_epoch().count();
    const SessionResult opened = m_session.Open(device, m_config.secondCpu, this);
    if (opened.Ok()) return true;
    m_session.Close();
    // The system's reason and the hint, as the command line gives them.
    if (failure != nullptr) *failure = PortFailureText(m_config.port, opened.systemCode);
    return false;
}

void CStationBay::Unit::Start() {
    startedUtcMs = UtcNowMs();
    started = Clock::now();
}

bool CStationBay::OpenPort(Clock::time_point deadline, const Unit& waiting) {
    for (;;) {
        if (Interrupted()) return false;
        std::string failure;
        bool missing = false;
        if (StartLink(&failure, &missing)) {
            m_portFailure.clear();
            SetPortFailure({});
            return true;
        }
        if (!missing) SetPortFailure(failure);
        // A missing port is a fixture without its adapter: waited for quietly.
        if (!missing && failure != m_portFailure) {
            StationEvent event = MakeEvent(StationEventKind::PortFailed);
            event.message = failure;
            Emit(event);
        }
        m_portFailure = failure;
        const Clock::time_point retry = Clock::now() + (missing ? kPortCheckEvery : kPortRetry);
        Rest(std::min(retry, deadline));
        if (Interrupted()) return false;
        if (Clock::now() >= deadline) {
            Unit unit;
            unit.startedUtcMs = waiting.startedUtcMs;
            unit.started = waiting.started;
            Finish(unit, UnitResult::PortFailed, Text(IDS_PORT_FAILED) + ". " + failure);
            return false;
        }
    }
}

CStationBay::Turn CStationBay::WaitForUnit(Clock::time_point deadline, Unit& unit) {
    // A day stands for "no limit": Identify is asked again after it anyway.
    constexpr std::chrono::hours kLongWait{24};
    for (;;) {
        if (!OpenPort(deadline, unit)) return Interrupted() ? Turn::Interrupted : Turn::NoUnit;
        for (;;) {
            // A stop that came before the session opened ends the wait here.
            if (Interrupted()) return Turn::Interrupted;
            const Clock::time_point now = Clock::now();
            const auto limit = deadline == Clock::time_point::max()
                                   ? std::chrono::duration_cast<std::chrono::milliseconds>(kLongWait)
                                   : std::chrono::ceil<std::chrono::milliseconds>(deadline - std::min(now, deadline));
            const SessionResult found = m_session.Identify(limit, false);
            if (Interrupted()) return Turn::Interrupted;
            if (PortChanged()) break;
            if (found.Ok()) {
                unit.device = m_session.Device();
                // The unit's attempt starts when it answers, not when the bay
                // began to wait for it.
                if (HasChip(unit.device)) {
                    unit.Start();
                    return Turn::Finished;
                }
            } else if (found.silence == SilenceKind::MissingHardwareInfo ||
                       found.silence == SilenceKind::MissingIdentity) {
                // Half an answer is no answer, as for the command line's download.
                unit.device = m_session.Device();
                unit.Start();
                m_session.Close();
                const UnitOutcome outcome = OutcomeOf(UnitStep::Identify, found, m_config.port);
                Finish(unit, outcome.result, outcome.message);
                return Turn::Finished;
            }
            if (Clock::now() >= deadline) {
                m_session.Close();
                Finish(unit, UnitResult::NoResponse,
                       Text(IDS_NO_RESPONSE) + ". Nothing answered on " + m_config.port + " within " +
                           Seconds(m_station->unitTimeout) + "." + SecondCpuNote());
                return Turn::NoUnit;
            }
            if (!Rest(Clock::now() + std::chrono::milliseconds(POLL_PAUSE))) {
                if (Interrupted()) return Turn::Interrupted;
                break;
            }
        }
        m_session.Close();
    }
}

std::string CStationBay::SecondCpuNote() const {
    return m_config.secondCpu ? " The second CPU was addressed; a unit with one CPU does not answer it." : "";
}

CStationBay::Turn CStationBay::FlashUnit(Unit& unit) {
    {
        std::lock_guard lock(m_lock);
        m_status.state = BayState::Flashing;
        m_status.present = true;
        m_status.device = unit.device;
        m_status.position = 0;
        m_status.total = static_cast<uint32_t>(m_image->data.size());
        // A new unit starts clean: the last one's result is not its own.
        m_status.hasLastResult = false;
        m_status.lastMessage.clear();
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
    // The order's place is taken only for a unit that will be downloaded.
    const OrderClaim claim = m_station->claimUnit ? m_station->claimUnit(m_index) : OrderClaim::Granted;
    if (claim == OrderClaim::Full) return Turn::OrderComplete;
    if (claim == OrderClaim::Unavailable) {
        StationEvent event = MakeEvent(StationEventKind::PortFailed);
        event.message = "The work order cannot be counted now: the unit waits.";
        Emit(event);
        return Turn::NoUnit;
    }
    UnitResult result = UnitResult::Passed;
    std::string message;
    if (Download(result, message) && m_station->reset) Reset(result, message);
    if (m_station->settleUnit) m_station->settleUnit(m_index, result == UnitResult::Passed);
    if (result == UnitResult::Stopped) {
        Finish(unit, result, message);
        return Turn::Interrupted;
    }
    Finish(unit, result, message);
    return Turn::Finished;
}

void CStationBay::ShowPassedBefore(const Unit& unit) {
    const std::string message = "Chip " + ChipIdText(unit.device.chipId) +
                                " passed with this image before: it was not flashed again.";
    {
        std::lock_guard lock(m_lock);
        m_status.present = true;
        m_status.device = unit.device;
        m_status.position = 0;
        m_status.total = 0;
        m_status.hasLastResult = true;
        m_status.lastResult = UnitResult::Passed;
        m_status.lastMessage = message;
    }
    RememberUnit(unit.device, true);
    StationEvent event = MakeEvent(StationEventKind::AlreadyPassed);
    event.result = UnitResult::Passed;
    event.message = message;
    Emit(event);
}

void CStationBay::RememberUnit(const DeviceInfo& device, bool passed) {
    std::memcpy(m_lastChip, device.chipId, 4);
    m_hasLastChip = true;
    m_left = false;
    m_lastPassed = passed;
}

bool CStationBay::Download(UnitResult& result, std::string& message) {
    const uint32_t total = static_cast<uint32_t>(m_image->data.size());
    StationEvent started = MakeEvent(StationEventKind::DownloadStarted);
    started.total = total;
    Emit(started);
    uint32_t shownPercent = 0;
    // The range was checked already: the bay words its own refusal.
    const SessionResult sent = m_session.Download(m_image->info, m_image->data, true, [&](uint32_t acknowledged, uint32_t) {
        const uint32_t percent = total == 0 ? 100 : static_cast<uint32_t>(uint64_t{acknowledged} * 100 / total);
        {
            std::lock_guard lock(m_lock);
            m_status.position = acknowledged;
        }
        if (percent != shownPercent) {
            shownPercent = percent;
            Emit(StationEventKind::Progress);
        }
    });
    const UnitOutcome outcome = OutcomeOf(UnitStep::Download, Watched(sent), m_config.port);
    result = outcome.result;
    message = outcome.message;
    return sent.Ok();
}

bool CStationBay::Reset(UnitResult& result, std::string& message) {
    const SessionResult reset = m_session.Reset();
    UnitOutcome outcome{result, message};
    AddReset(outcome, Watched(reset), m_config.port);
    result = outcome.result;
    message = outcome.message;
    return reset.Ok();
}

// A step the port watch stopped ended because the port went away.
SessionResult CStationBay::Watched(SessionResult result) const {
    if (result.kind == SessionErrorKind::Stopped && PortChanged() && !Interrupted())
        result.kind = SessionErrorKind::PortGone;
    return result;
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
    record.durationMs = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - unit.started).count();
    record.station = m_station->stationName.empty() ? DefaultStationName() : m_station->stationName;
    record.port = m_config.port;
    FillAdapter(record);
    record.secondCpu = m_config.secondCpu;
    record.device = unit.device;
    record.imageSource = m_image->Source();
    record.image = m_image->info;
    record.imageLength = static_cast<uint32_t>(m_image->data.size());
    record.imageChecksum = m_image->checksum;
    record.imageSha256 = m_image->sha256;
    record.imageKeyId = m_image->keyId;
    record.orderId = m_station->orderId;
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
    if (result != UnitResult::Stopped) RememberUnit(unit.device, result == UnitResult::Passed);
    if (m_station->recordSink) m_station->recordSink(std::move(record));
    Emit(event);
}

void CStationBay::WaitForRemoval() {
    {
        std::lock_guard lock(m_lock);
        m_status.state = BayState::WaitingForRemoval;
    }
    Emit(StationEventKind::WaitingForRemoval);
    m_session.Close();
    const auto quiet = std::max(m_station->leaveQuiet, kShortestLeaveQuiet);
    bool left = !StartLink();
    while (!left) {
        if (Interrupted()) return;
        const SessionResult answer = m_session.Identify(std::chrono::duration_cast<std::chrono::milliseconds>(quiet), false);
        if (Interrupted()) return;
        if (PortChanged()) break;
        // A unit that did not pass and keeps quiet has left (a new try may
        // follow); one that passed may only be dropping replies, so it has
        // left once its port goes or another chip answers.
        const Clock::time_point lastReply{Clock::duration(m_lastReply.load())};
        if (!m_lastPassed && Clock::now() - lastReply >= quiet) break;
        // Another unit answering on the same port has replaced this one.
        if (answer.Ok()) {
            const DeviceInfo device = m_session.Device();
            if (HasChip(device) && std::memcmp(device.chipId, m_lastChip, 4) != 0) break;
        }
        if (!Rest(Clock::now() + std::chrono::milliseconds(POLL_PAUSE))) {
            if (Interrupted()) return;
            break;
        }
    }
    m_session.Close();
    m_left = true;
    {
        std::lock_guard lock(m_lock);
        m_status.present = false;
    }
    Emit(StationEventKind::UnitRemoved);
}
