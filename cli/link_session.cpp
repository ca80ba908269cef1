#include "cli/link_session.h"

#include <algorithm>
#include <cstdio>

#include "cli/cli_output.h"
#include "cli/cli_platform.h"
#include "cli/cli_text.h"
#include "cli/exit_codes.h"
#include "cli/stop_signals.h"
#include "link/device_link.h"
#include "link/port_path.h"
#include "res/resource_ids.h"
#include "res/translation.h"

namespace {
// How often a wait looks at the stop signals and the link's flags.
constexpr std::chrono::milliseconds kSlice{50};

void PrintOut(const std::string& text) {
    if (text.empty()) return;
    std::fputs(text.c_str(), stdout);
    std::fflush(stdout);
}
}  // namespace

CLinkSession::CLinkSession(CDeviceLink& link, CMessageQueue& queue) : m_link(link), m_queue(queue) {}

CLinkSession::~CLinkSession() {
    m_link.Stop();
    m_link.m_port.SetTrace(nullptr);
    m_link.m_notifyWindow = nullptr;
    m_link.m_progressWindow = nullptr;
}

int CLinkSession::Connect(const std::string& requested, IFrameTrace* trace, bool secondCpu) {
    const int capacity = m_link.m_portName.Capacity() - 1;
    m_port = requested;
    if (static_cast<int>(m_port.size()) > capacity) {
        // The link keeps port names of at most 31 characters and would open a
        // cut one; long names such as /dev/serial/by-id/... are links to a
        // short device path, which is used instead.
        std::string resolved;
        uint32_t error = 0;
        if (!ResolvePortPath(requested, resolved, error)) {
            PrintError(StringText(IDS_PORT_FAILED));
            for (const std::string& line : PortFailureDetail(requested, error)) PrintError(line);
            return kExitPort;
        }
        if (static_cast<int>(resolved.size()) > capacity) {
            PrintError(StringText(IDS_PORT_FAILED));
            PrintError(FormatText(Tr("Port %s: the name is longer than %s characters and does not lead to a "
                                     "shorter device path"),
                                  {requested, std::to_string(capacity)}));
            return kExitPort;
        }
        m_port = resolved;
    }

    m_link.m_notifyWindow = &m_queue;
    m_link.m_progressWindow = &m_queue;
    m_link.SetPortName(m_port.c_str());
    // Set before the worker starts, so it holds for this whole connection.
    m_secondCpu = secondCpu;
    m_link.m_secondCpu = secondCpu ? 1 : 0;
    m_link.m_port.SetTrace(trace);
    {
        // The worker starts with the stop signals blocked, so they reach only
        // the main thread, which is the one that stops the link.
        CStopSignalsBlocked blocked;
        m_link.Start();
    }
    if (m_link.m_running) return kExitOk;

    const uint32_t error = m_link.m_port.m_file.m_lastError;
    m_link.Stop();  // closes whatever the failed start left open
    LinkMessage message;
    while (m_queue.Take(message, 0)) {
    }
    PrintError(StringText(IDS_PORT_FAILED));
    for (const std::string& line : PortFailureDetail(m_port, error)) PrintError(line);
    return kExitPort;
}

CLinkSession::Wait CLinkSession::Next(LinkMessage& message, Clock::time_point deadline) {
    for (;;) {
        if (PendingStopRequest() != StopRequest::None) return Wait::Stop;
        const Clock::time_point now = Clock::now();
        if (now >= deadline) return Wait::Timeout;
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - now);
        const auto slice = left < kSlice ? left : kSlice;
        if (m_queue.Take(message, static_cast<uint32_t>(slice.count()))) return Wait::Message;
    }
}

int CLinkSession::Interrupted(StopRequest request) {
    m_link.Stop();
    PrintError(FormatText(request == StopRequest::Terminate ? Tr("Terminated: the link was stopped and %s closed.")
                                                            : Tr("Interrupted: the link was stopped and %s closed."),
                          {m_port}));
    return ExitStatusForStop(request);
}

void CLinkSession::NoResponse(const std::string& detail) {
    PrintError(StringText(IDS_NO_RESPONSE));
    PrintError(detail);
}

int CLinkSession::WaitForDevice(std::chrono::milliseconds limit, bool silentVerdict) {
    const Clock::time_point start = Clock::now();
    const Clock::time_point deadline = start + limit;
    LinkMessage message;
    for (;;) {
        // Short waits, so that a silent line is noticed as soon as it shows.
        const Clock::time_point sliceEnd = std::min(deadline, Clock::now() + kSlice);
        Wait wait = Next(message, sliceEnd);
        if (wait == Wait::Timeout && sliceEnd < deadline) {
            if (!silentVerdict || !m_link.LineIsSilent()) continue;
            PrintError(StringText(IDS_NO_RESPONSE));
            const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
            for (const std::string& line : SilentLineDetail(m_port, seconds)) PrintError(line);
            return kExitNoResponse;
        }
        switch (wait) {
            case Wait::Stop:
                return Interrupted(PendingStopRequest());
            case Wait::Timeout: {
                const double seconds = std::chrono::duration<double>(limit).count();
                char detail[64];
                std::snprintf(detail, sizeof detail, "%.0f s", seconds);
                NoResponse(FormatText(Tr("Nothing answered on %s within %s."), {m_port, detail}) +
                           (m_secondCpu ? std::string(" ") +
                                              Tr("The second CPU was addressed; a unit with one CPU does not answer it.")
                                        : std::string()));
                return kExitNoResponse;
            }
            case Wait::Message:
                // The cycle publishes once, after both poll commands: the first
                // change carries everything the device answered in that cycle.
                if (message.message == WM_LINK_NOTIFY && message.wParam == LN_INFO_CHANGED)
                    return WholeAnswer(m_link.m_cycleAnswers);
                break;
        }
    }
}

int CLinkSession::WholeAnswer(uint8_t answers) {
    if ((answers & ANSWERED_HWINFO) && (answers & ANSWERED_IDENTITY)) return kExitOk;
    NoResponse(FormatText((answers & ANSWERED_IDENTITY)
                              ? Tr("The device on %s did not answer the hardware information request (the identity "
                                   "request was answered).")
                              : Tr("The device on %s did not answer the identity request (the hardware information "
                                   "request was answered)."),
                          {m_port}));
    return kExitNoResponse;
}

int CLinkSession::Download(bool terminal) {
    const uint32_t total = m_link.m_length;
    CProgressText progress(total, terminal, Clock::now());
    bool done = false;
    bool noResponse = false;
    uint32_t acknowledged = 0;
    m_link.RequestDownload();
    for (;;) {
        LinkMessage message;
        const Wait wait = Next(message, Clock::now() + kSlice);
        if (wait == Wait::Stop) {
            PrintOut(progress.Finish());
            return Interrupted(PendingStopRequest());
        }
        if (wait == Wait::Message) {
            if (message.message == PBM_SETRANGE) {
                progress = CProgressText(total, terminal, Clock::now());
            } else if (message.message == PBM_SETPOS) {
                acknowledged = static_cast<uint32_t>(message.wParam);
                PrintOut(progress.Update(acknowledged, Clock::now()));
            } else if (message.message == WM_LINK_NOTIFY && message.wParam == LN_DOWNLOAD_DONE) {
                done = true;
            } else if (message.message == WM_LINK_NOTIFY && message.wParam == LN_NO_RESPONSE) {
                noResponse = true;
            }
            continue;  // drain what is queued before looking at the flag
        }
        // The worker clears the request after the whole attempt, end command
        // included, and posts everything about it before that.
        if (m_link.m_downloadRequested == 0) {
            while (m_queue.Take(message, 0)) {
                if (message.message == WM_LINK_NOTIFY && message.wParam == LN_DOWNLOAD_DONE) done = true;
                if (message.message == WM_LINK_NOTIFY && message.wParam == LN_NO_RESPONSE) noResponse = true;
                if (message.message == PBM_SETPOS) acknowledged = static_cast<uint32_t>(message.wParam);
            }
            break;
        }
    }
    PrintOut(progress.Finish());
    if (done && !noResponse) {
        PrintOut(StringText(IDS_DOWNLOAD_DONE) + "\n");
        return kExitOk;
    }
    if (done)
        NoResponse(Tr("The device took every block but did not confirm the end of the download."));
    else
        NoResponse(FormatText(Tr("The download stopped after %s of %s bytes."),
                              {std::to_string(acknowledged), std::to_string(total)}));
    return kExitNoResponse;
}

int CLinkSession::Reset() {
    m_link.RequestReset();
    for (;;) {
        LinkMessage message;
        const Wait wait = Next(message, Clock::now() + kSlice);
        if (wait == Wait::Stop) return Interrupted(PendingStopRequest());
        if (wait != Wait::Message || message.message != WM_LINK_NOTIFY) continue;
        if (message.wParam == LN_DEVICE_RESET) {
            PrintOut(StringText(IDS_DEVICE_RESET) + "\n");
            return kExitOk;
        }
        if (message.wParam == LN_NO_RESPONSE) {
            NoResponse(Tr("The device did not acknowledge the reset."));
            return kExitNoResponse;
        }
    }
}
