#include "ui/link_pane.h"

#include <algorithm>

#include "link/port_list.h"
#include "ui/ui_logic.h"
#include "ui/ui_texts.h"

LinkSnapshot ReadLink(const CDeviceLink& link) {
    LinkSnapshot snapshot;
    snapshot.running = link.m_running != 0;
    snapshot.phase = link.m_phase.load();
    snapshot.answers = link.m_answers.load();
    snapshot.silent = link.LineIsSilent();
    snapshot.attemptRanOut = link.m_port.m_readTimeouts.load() > 0;
    snapshot.lastDownload = link.m_lastDownload.load();
    snapshot.secondCpu = link.m_secondCpu != 0;
    const DeviceInfo device = link.SnapshotDevice();
    snapshot.deviceName = device.name.Text();
    snapshot.productNumber = device.productNumber;
    snapshot.adapter = link.m_port.m_adapter;
    return snapshot;
}

void CLinkPane::Opening(const std::string& port) {
    m_mode = Mode::Opening;
    m_port = port;
    m_reason.clear();
}

void CLinkPane::Started(Clock::time_point now) {
    m_mode = Mode::Running;
    m_started = now;
    m_total = 0;
    m_done = 0;
    m_finished = false;
}

void CLinkPane::Failed(const std::string& reason) {
    m_mode = Mode::Failed;
    m_reason = reason;
}

void CLinkPane::Disconnected() {
    if (m_mode != Mode::Idle && m_mode != Mode::Failed) m_mode = Mode::Disconnected;
}

void CLinkPane::ProgressRange(uint32_t total, Clock::time_point now) {
    m_total = total;
    m_done = 0;
    m_finished = false;
    m_downloadStarted = now;
}

void CLinkPane::DownloadFinished() {
    m_done = m_total;
    m_finished = true;
}

void CLinkPane::ProgressPosition(uint32_t done) { m_done = std::min(done, m_total); }

int CLinkPane::Percent() const {
    if (m_total == 0) return 0;
    return static_cast<int>(uint64_t{m_done} * 100 / m_total);
}

double CLinkPane::SecondsLeft(Clock::time_point now) const {
    if (m_done == 0 || m_total == 0) return -1;
    const double elapsed = std::chrono::duration<double>(now - m_downloadStarted).count();
    return elapsed * (m_total - m_done) / m_done;
}

std::string CLinkPane::ProgressText(Clock::time_point now) const {
    return uitext::Progress(Percent(), SecondsLeft(now));
}

std::string CLinkPane::LatencyTooltip(const LinkSnapshot& link) const {
    if (m_mode != Mode::Running || !link.running) return {};
    std::string text = AdapterLatencyLine(link.adapter);
    if (AdapterLatencyTooHigh(link.adapter.timerMs)) text += "\n" + AdapterLatencyAdvice(m_port, link.adapter.timerMs);
    return text;
}

std::string CLinkPane::FirstLatencyWarningText(const LinkSnapshot& link) const {
    if (m_mode != Mode::Running || !link.running) return {};
    return LatencyWarningOnce(m_port, link.adapter.timerMs);
}

std::string CLinkPane::Text(const LinkSnapshot& link, Clock::time_point now) const {
    switch (m_mode) {
        case Mode::Idle:
            return uitext::NotConnected();
        case Mode::Opening:
            return uitext::Opening(m_port);
        case Mode::Failed:
            return uitext::PortFailed(m_port, m_reason);
        case Mode::Disconnected:
            return uitext::Disconnected();
        case Mode::Running:
            break;
    }
    // Stopped other than by Disconnect (an image load stops the link too).
    if (!link.running) return uitext::Disconnected();
    const std::string text = RunningText(link, now);
    return link.secondCpu ? uitext::OnSecondCpu(text) : text;
}

std::string CLinkPane::RunningText(const LinkSnapshot& link, Clock::time_point now) const {
    switch (link.phase) {
        case LinkPhase::Idle:
        case LinkPhase::Waking:
            return uitext::Waking(m_port);
        case LinkPhase::Downloading:
            if (m_finished) return uitext::DownloadConfirmed();
            return uitext::Downloading(Percent(), SecondsLeft(now));
        case LinkPhase::Resetting:
            return uitext::ResetIssued();
        case LinkPhase::Polling:
        case LinkPhase::Ended:
            break;
    }
    return PollingText(link, now);
}

std::string CLinkPane::PollingText(const LinkSnapshot& link, Clock::time_point now) const {
    if (link.lastDownload == DownloadOutcome::Confirmed) return uitext::DownloadConfirmed();
    if (link.lastDownload == DownloadOutcome::Failed) return uitext::DownloadNotConfirmed();
    if (link.answers > 0) return uitext::Connected(link.deviceName, link.productNumber);
    const int seconds = static_cast<int>(std::chrono::duration_cast<std::chrono::seconds>(now - m_started).count());
    if (link.silent) return uitext::Silent(m_port, seconds);
    if (link.attemptRanOut) return uitext::NoValidAnswer(m_port, seconds);
    return uitext::Waiting(m_port);
}

std::vector<PortBoxItem> PortBoxItems(const std::vector<std::string>& standard,
                                      const std::vector<SerialPortEntry>& reported, const std::string& remembered,
                                      bool rememberedPresent) {
    std::vector<std::string> reportedNames;
    for (const SerialPortEntry& entry : reported) reportedNames.push_back(entry.name);
    std::vector<PortBoxItem> items;
    for (const std::string& name : PortBoxEntries(standard, reportedNames)) {
        const auto found = std::find_if(reported.begin(), reported.end(),
                                        [&name](const SerialPortEntry& entry) { return entry.name == name; });
        items.push_back({found != reported.end() ? uitext::PortLabel(*found) : name, name});
    }
    const bool listed = std::any_of(items.begin(), items.end(),
                                    [&remembered](const PortBoxItem& item) { return item.name == remembered; });
    if (!remembered.empty() && !listed && !rememberedPresent)
        items.push_back({uitext::AbsentPortLabel(remembered), remembered});
    return items;
}

std::string PortNameOf(const std::vector<PortBoxItem>& items, const std::string& text) {
    for (const PortBoxItem& item : items)
        if (item.label == text) return item.name;
    return text;
}
