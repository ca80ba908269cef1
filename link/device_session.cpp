#include "link/device_session.h"

#include <algorithm>
#include <cstring>

#include "link/device_link.h"

// The engine's steps report through posted messages; here they are posted on
// the session's own thread, so this target only notes them and hands the
// download's progress to the caller at once.
struct CDeviceSession::Engine final : IMessageTarget {
    CDeviceLink link;
    const CDeviceSession::Progress* progress = nullptr;
    uint32_t total = 0;
    uint32_t acknowledged = 0;
    bool noResponse = false;
    bool downloadDone = false;
    const uint8_t* imageData = nullptr;  // the caller's bytes the link holds a copy of
    size_t imageSize = 0;

    Engine() {
        link.m_notifyWindow = this;
        link.m_progressWindow = this;
    }
    ~Engine() {
        link.Stop();
        link.m_port.SetTrace(nullptr);
        link.m_notifyWindow = nullptr;
        link.m_progressWindow = nullptr;
    }

    void Post(uint32_t message, uintptr_t wParam, intptr_t) override {
        if (message == PBM_SETPOS) {
            acknowledged = static_cast<uint32_t>(wParam);
            if (progress != nullptr && *progress) (*progress)(acknowledged, total);
        } else if (message == WM_LINK_NOTIFY && wParam == static_cast<uintptr_t>(LN_NO_RESPONSE)) {
            noResponse = true;
        } else if (message == WM_LINK_NOTIFY && wParam == static_cast<uintptr_t>(LN_DOWNLOAD_DONE)) {
            downloadDone = true;
        }
    }

    void ClearNotes() {
        noResponse = false;
        downloadDone = false;
        acknowledged = 0;
    }

    // The link's copy of the caller's image, made again only when it changes.
    void HoldImage(const FirmwareInfo& info, const std::vector<uint8_t>& data) {
        if (imageData == data.data() && imageSize == data.size() && link.m_data != nullptr) return;
        link.m_firmware = info;
        link.m_length = static_cast<uint32_t>(data.size());
        link.m_data = std::make_unique<uint8_t[]>(data.size() + 1);
        if (!data.empty()) std::memcpy(link.m_data.get(), data.data(), data.size());
        imageData = data.data();
        imageSize = data.size();
    }
};

namespace {
SessionResult Failure(SessionErrorKind kind, SilenceKind silence = SilenceKind::None) {
    SessionResult result;
    result.kind = kind;
    result.silence = silence;
    return result;
}
}  // namespace

CDeviceSession::CDeviceSession() : m_engine(std::make_unique<Engine>()) {}

CDeviceSession::~CDeviceSession() { Close(); }

SessionResult CDeviceSession::Open(const std::string& port, bool secondCpu, IFrameTrace* trace) {
    std::lock_guard<std::mutex> lock(m_stopLock);
    CDeviceLink& link = m_engine->link;
    link.Stop();
    link.m_port.SetTrace(trace);
    link.SetPortName(port.c_str());
    link.m_secondCpu = secondCpu ? 1 : 0;
    m_secondCpu = secondCpu;
    m_woken = false;
    if (link.OpenForCaller()) return {};
    SessionResult result = Failure(SessionErrorKind::Port);
    result.systemCode = link.m_port.m_file.m_lastError;
    return result;
}

void CDeviceSession::Close() {
    std::lock_guard<std::mutex> lock(m_stopLock);
    m_engine->link.Stop();
}

void CDeviceSession::RequestStop() {
    std::lock_guard<std::mutex> lock(m_stopLock);
    m_engine->link.RequestStop();
}

DeviceInfo CDeviceSession::Device() const { return m_engine->link.SnapshotDevice(); }

AdapterLatency CDeviceSession::Adapter() const { return m_engine->link.m_port.m_adapter; }

bool CDeviceSession::LineIsSilent() const { return m_engine->link.LineIsSilent(); }

SessionResult CDeviceSession::Stopped() const { return Failure(SessionErrorKind::Stopped); }

SessionResult CDeviceSession::Identify(std::chrono::milliseconds limit, bool silentVerdict) {
    CDeviceLink& link = m_engine->link;
    if (!link.m_running) return Stopped();
    const Clock::time_point deadline = Clock::now() + limit;
    link.m_stepDeadline = deadline;
    if (!m_woken) {
        link.ClearDeviceInfo();
        link.WakeDevice();
        m_woken = true;
    }
    // Cycle after cycle, as the engine polls, until the device has answered
    // (wholly or in part), the line shows it is silent, or time is up.
    SessionResult result = Cycle(silentVerdict);
    while (link.m_running && result.silence == SilenceKind::None && !result.Ok()) {
        const Clock::time_point now = Clock::now();
        if (now >= deadline) {
            result.silence = SilenceKind::Timeout;
            break;
        }
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count();
        link.m_wakeEvent.Wait(static_cast<uint32_t>(std::min<int64_t>(left, POLL_PAUSE)));
        if (!link.m_running) break;
        result = Cycle(false);
    }
    link.m_stepDeadline = Clock::time_point::max();
    if (!link.m_running) return Stopped();
    return result;
}

// One poll cycle as the engine's worker runs it: hardware information with its
// shorter read time-out, then the identity.
SessionResult CDeviceSession::Cycle(bool silentVerdict) {
    CDeviceLink& link = m_engine->link;
    link.m_port.m_timeouts.ReadTotalTimeoutConstant = HWINFO_READ_TIMEOUT;
    (void)link.m_port.ApplyTimeouts();
    bool hardwareInfo = false;
    if (silentVerdict) {
        // The first attempt alone tells a line with nothing on it.
        hardwareInfo = link.ReadHardwareInfo(1);
        if (!hardwareInfo && link.m_running && link.LineIsSilent())
            return Failure(SessionErrorKind::NoResponse, SilenceKind::SilentLine);
        if (!hardwareInfo) hardwareInfo = link.ReadHardwareInfo(POLL_ATTEMPTS - 1);
    } else {
        hardwareInfo = link.ReadHardwareInfo();
    }
    link.m_port.m_timeouts.ReadTotalTimeoutConstant = LINK_READ_TIMEOUT;
    (void)link.m_port.ApplyTimeouts();
    const bool identity = link.ReadIdentity();
    link.m_cycleAnswers = static_cast<uint8_t>((hardwareInfo ? ANSWERED_HWINFO : 0) | (identity ? ANSWERED_IDENTITY : 0));
    if (!link.m_running) return Stopped();
    if (hardwareInfo && identity) return {};
    if (hardwareInfo) return Failure(SessionErrorKind::NoResponse, SilenceKind::MissingIdentity);
    if (identity) return Failure(SessionErrorKind::NoResponse, SilenceKind::MissingHardwareInfo);
    return Failure(SessionErrorKind::NoResponse);
}

SessionResult CDeviceSession::Download(const FirmwareInfo& info, const std::vector<uint8_t>& data, bool force,
                                       const Progress& progress) {
    CDeviceLink& link = m_engine->link;
    SessionResult result;
    result.total = static_cast<uint32_t>(data.size());
    if (data.empty() || data.size() > MAX_DOWNLOAD_LENGTH) {
        result.kind = SessionErrorKind::Image;
        return result;
    }
    if (!force && !IsDeviceCompatible(link.SnapshotDevice(), info)) {
        result.kind = SessionErrorKind::RefusedByHardwareRange;
        return result;
    }
    if (!link.m_running) return Stopped();
    m_engine->HoldImage(info, data);
    m_engine->ClearNotes();
    m_engine->total = result.total;
    m_engine->progress = &progress;
    link.m_phase = LinkPhase::Downloading;
    const bool confirmed = link.BeginDownload() && link.WriteBlocks() && link.EndDownload();
    link.m_phase = LinkPhase::Polling;
    m_engine->progress = nullptr;
    result.acknowledged = m_engine->acknowledged;
    if (confirmed && !m_engine->noResponse) return result;
    if (!link.m_running) {
        result.kind = SessionErrorKind::Stopped;
        return result;
    }
    result.kind = SessionErrorKind::NoResponse;
    result.silence = m_engine->downloadDone ? SilenceKind::EndNotConfirmed : SilenceKind::BlocksStopped;
    return result;
}

SessionResult CDeviceSession::Reset() {
    CDeviceLink& link = m_engine->link;
    if (!link.m_running) return Stopped();
    m_engine->ClearNotes();
    link.m_phase = LinkPhase::Resetting;
    const bool reset = link.RunSecondCpu() && link.RunDevice();
    link.m_phase = LinkPhase::Ended;
    if (reset) return {};
    if (!link.m_running) return Stopped();
    return Failure(SessionErrorKind::NoResponse, SilenceKind::ResetNotConfirmed);
}
