#include "link/device_link.h"

#include <cstring>

#include "link/platform.h"
#include "link/settings_file.h"

CDeviceLink::CDeviceLink() { ClearDeviceInfo(); }

// A link object may go away while a worker runs (tests, early exits): the
// worker is ended and joined first, so nothing it posts to or reads is gone.
CDeviceLink::~CDeviceLink() { Stop(); }

void CDeviceLink::ThreadProc(void* link) {
    if (link != nullptr) static_cast<CDeviceLink*>(link)->Run();
}

void CDeviceLink::Start() {
    Stop();
    if (StartWorker()) return;
    m_running = 0;
    m_port.Close();
    m_wakeEvent.Close();
    PostNotify(LN_PORT_FAILED);
}

bool CDeviceLink::PrepareStart() {
    m_downloadRequested = 0;
    m_resetRequested = 0;
    m_resetIssued = 0;
    m_cycleAnswers = 0;
    m_answers = 0;
    m_lastDownload = DownloadOutcome::None;
    m_stepDeadline = std::chrono::steady_clock::time_point::max();
    // The failure message names this port and this attempt's own cause, never
    // an earlier connection's.
    m_port.m_portName.Assign(m_portName.Text());
    m_port.m_file.m_lastError = 0;
    return OpenPort();
}

bool CDeviceLink::OpenPort() {
    if (!m_wakeEvent.CreateEvent(false)) {
        m_port.m_file.m_lastError = LastSystemError();
        return false;
    }
    m_port.m_baudRate = LINK_BAUD_RATE;
    m_port.m_dataBits = 8;
    m_port.m_stopBits = 0;
    m_port.m_parity = 0;
    m_port.m_flowControl = FLOW_NONE;
    m_port.m_timeouts = CommTimeouts{0, 0, LINK_READ_TIMEOUT, 0, LINK_WRITE_TIMEOUT};
    if (!m_port.Open()) {
        // Event creation and queue sizing record nothing of their own.
        if (m_port.m_file.m_lastError == 0) m_port.m_file.m_lastError = LastSystemError();
        return false;
    }
    (void)m_port.EscapeCommFunction(SETRTS);
    return true;
}

bool CDeviceLink::StartWorker() {
    if (!PrepareStart()) return false;
    m_phase = LinkPhase::Waking;
    m_running = 1;
    if (m_thread.Start(&CDeviceLink::ThreadProc, this)) return true;
    m_phase = LinkPhase::Idle;
    m_port.m_file.m_lastError = m_thread.LastError();
    return false;
}

bool CDeviceLink::OpenForCaller() {
    Stop();
    if (PrepareStart()) {
        m_running = 1;
        return true;
    }
    const uint32_t error = m_port.m_file.m_lastError;
    m_port.Close();
    m_wakeEvent.Close();
    m_port.m_file.m_lastError = error;
    return false;
}

void CDeviceLink::RequestStop() {
    m_running = 0;
    m_downloadRequested = 0;
    m_resetRequested = 0;
    m_port.SignalStop();
    if (!m_wakeEvent.IsEmpty()) m_wakeEvent.Signal();
}

void CDeviceLink::Stop() {
    RequestStop();
    m_thread.WaitForExit();
    m_port.Close();
    m_wakeEvent.Close();
}

void CDeviceLink::RequestDownload() {
    m_downloadRequested = 1;
    if (!m_wakeEvent.IsEmpty()) m_wakeEvent.Signal();
}

void CDeviceLink::RequestReset() {
    m_resetRequested = 1;
    if (!m_wakeEvent.IsEmpty()) m_wakeEvent.Signal();
}

void CDeviceLink::Run() {
    ClearDeviceInfo();
    m_phase = LinkPhase::Waking;
    PostNotify(LN_LINK_STARTED);
    WakeDevice();
    m_phase = LinkPhase::Polling;
    bool reset = false;
    while (m_running) {
        m_port.m_timeouts.ReadTotalTimeoutConstant = HWINFO_READ_TIMEOUT;
        (void)m_port.ApplyTimeouts();
        const bool hardwareInfo = ReadHardwareInfo();
        m_port.m_timeouts.ReadTotalTimeoutConstant = LINK_READ_TIMEOUT;
        (void)m_port.ApplyTimeouts();
        const bool identity = ReadIdentity();
        // Stored before the cycle's change is posted, so whoever reads the
        // notification reads the answers of that cycle.
        m_cycleAnswers = static_cast<uint8_t>((hardwareInfo ? ANSWERED_HWINFO : 0) | (identity ? ANSWERED_IDENTITY : 0));
        PublishDeviceInfo();
        m_wakeEvent.Wait(POLL_PAUSE);
        if (m_downloadRequested) {
            m_phase = LinkPhase::Downloading;
            // An image that cannot be sent is refused before the device hears a begin.
            const bool confirmed = ImageSendable() && BeginDownload() && WriteBlocks() && EndDownload();
            m_lastDownload = confirmed ? DownloadOutcome::Confirmed : DownloadOutcome::Failed;
            m_phase = LinkPhase::Polling;
            m_downloadRequested = 0;
        }
        if (m_resetRequested) {
            reset = true;
            break;
        }
    }
    if (reset) {
        m_resetRequested = 0;
        m_resetIssued = 1;
        m_phase = LinkPhase::Resetting;
        // RunSecondCpu() is done at once while the second CPU is not selected.
        if (RunSecondCpu() && RunDevice()) PostNotify(LN_DEVICE_RESET);
        // No more polls after a reset: wait until the link is stopped.
        while (m_running) m_wakeEvent.Wait(kInfinite);
    }
    m_phase = LinkPhase::Ended;
    PostNotify(LN_LINK_ENDED);
}

void CDeviceLink::ClearDeviceInfo() {
    std::lock_guard<std::mutex> lock(m_deviceLock);
    for (DeviceInfo* info : {&m_device, &m_published}) {
        std::memset(info->chipId, 0, sizeof info->chipId);
        info->swMajor = info->swMinor = 0;
        info->hwLowestMajor = 0;
        info->hwLowestMinor = 0;
        info->hwHighestMajor = 0;
        info->hwHighestMinor = 0;
        info->name.Clear();
        info->hwCurrentMajor = 0;
        info->hwCurrentMinor = 0;
        info->productNumber = 0;
    }
}

void CDeviceLink::PublishDeviceInfo() {
    // Only the worker writes m_device, so it reads it here without the lock.
    bool changed = false;
    auto update = [&changed](auto& published, const auto& current) {
        if (published != current) {
            published = current;
            changed = true;
        }
    };
    if (std::memcmp(m_published.chipId, m_device.chipId, sizeof m_device.chipId) != 0) {
        std::memcpy(m_published.chipId, m_device.chipId, sizeof m_device.chipId);
        changed = true;
    }
    update(m_published.swMajor, m_device.swMajor);
    update(m_published.swMinor, m_device.swMinor);
    update(m_published.hwLowestMajor, m_device.hwLowestMajor);
    update(m_published.hwLowestMinor, m_device.hwLowestMinor);
    update(m_published.hwHighestMajor, m_device.hwHighestMajor);
    update(m_published.hwHighestMinor, m_device.hwHighestMinor);
    if (std::strcmp(m_published.name.Text(), m_device.name.Text()) != 0) {
        m_published.name.Assign(m_device.name.Text());
        changed = true;
    }
    update(m_published.hwCurrentMajor, m_device.hwCurrentMajor);
    update(m_published.hwCurrentMinor, m_device.hwCurrentMinor);
    update(m_published.productNumber, m_device.productNumber);
    if (changed) PostNotify(LN_INFO_CHANGED);
}

DeviceInfo CDeviceLink::SnapshotDevice() const {
    std::lock_guard<std::mutex> lock(m_deviceLock);
    return m_device;
}

void CDeviceLink::PostNotify(int code) {
    if (IMessageTarget* target = m_notifyWindow.load(std::memory_order_acquire))
        target->Post(WM_LINK_NOTIFY, static_cast<uintptr_t>(code), 0);
}

void CDeviceLink::PostProgressRange(uint32_t length) {
    if (IMessageTarget* target = m_progressWindow.load(std::memory_order_acquire))
        target->Post(PBM_SETRANGE, 0, static_cast<intptr_t>((length & 0xFFFFu) << 16));
}

void CDeviceLink::PostProgressPos(uint32_t position) {
    if (IMessageTarget* target = m_progressWindow.load(std::memory_order_acquire))
        target->Post(PBM_SETPOS, position, 0);
}

void CDeviceLink::SetPortName(const char* name) {
    if (name == nullptr) name = "";
    if (std::strcmp(name, m_portName.Text()) != 0) {
        m_portName.Assign(name);
        m_settingsDirty = 1;
    }
}

void CDeviceLink::LoadSettings() { SettingsFile(false); }
void CDeviceLink::SaveSettings() { SettingsFile(true); }

std::string CDeviceLink::SettingsPath() const {
    std::string program = m_programPath;
    if (program.empty() && !GetProgramPath(m_module, program)) return {};
    return SettingsFilePath(program);
}

void CDeviceLink::SettingsFile(bool save) {
    if (save && !m_settingsDirty) return;
    const std::string path = SettingsPath();
    // Nobody waits for a save's outcome: a failed save leaves the old file as it was.
    if (save)
        (void)WriteSettingsFile(path, m_portName);
    else
        (void)ReadSettingsFile(path, m_portName);
    m_settingsDirty = 0;
}
