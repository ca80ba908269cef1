#include "cli/link_session.h"

#include <cstdio>

#include "cli/cli_output.h"
#include "cli/cli_platform.h"
#include "cli/cli_text.h"
#include "cli/exit_codes.h"
#include "cli/stop_relay.h"
#include "cli/stop_signals.h"
#include "link/port_path.h"
#include "res/resource_ids.h"
#include "res/translation.h"

namespace {
void PrintOut(const std::string& text) {
    if (text.empty()) return;
    std::fputs(text.c_str(), stdout);
    std::fflush(stdout);
}

constexpr int kPortNameCapacity = static_cast<int>(CDeviceSession::kLongestPortName);

std::string WholeSeconds(std::chrono::milliseconds span) {
    char detail[64];
    std::snprintf(detail, sizeof detail, "%.0f s", std::chrono::duration<double>(span).count());
    return detail;
}

// What a step's no-response means, for the person at the line.
std::vector<std::string> NoResponseDetail(const SessionResult& result, const std::string& port, bool secondCpu,
                                          std::chrono::milliseconds limit, std::chrono::steady_clock::duration spent) {
    const std::string secondCpuNote =
        secondCpu ? std::string(" ") + Tr("The second CPU was addressed; a unit with one CPU does not answer it.")
                  : std::string();
    switch (result.silence) {
        case SilenceKind::SilentLine: {
            // A unit with one CPU stays silent to the second CPU's requests: said first.
            std::vector<std::string> lines = SilentLineDetail(port, std::chrono::duration<double>(spent).count());
            lines.front() += secondCpuNote;
            return lines;
        }
        case SilenceKind::MissingHardwareInfo:
            return {FormatText(Tr("The device on %s did not answer the hardware information request (the identity "
                                  "request was answered)."),
                               {port})};
        case SilenceKind::MissingIdentity:
            return {FormatText(Tr("The device on %s did not answer the identity request (the hardware information "
                                  "request was answered)."),
                               {port})};
        case SilenceKind::EndNotConfirmed:
            return {Tr("The device took every block but did not confirm the end of the download.")};
        case SilenceKind::BlocksStopped:
            return {FormatText(Tr("The download stopped after %s of %s bytes."),
                               {std::to_string(result.acknowledged), std::to_string(result.total)})};
        case SilenceKind::ResetNotConfirmed:
            return {Tr("The device did not acknowledge the reset.")};
        case SilenceKind::Timeout:
            return {FormatText(Tr("Nothing answered on %s within %s."), {port, WholeSeconds(limit)}) + secondCpuNote};
        case SilenceKind::None:
            break;
    }
    // Neither group answered within the cycle, though the line was not silent.
    return {FormatText(Tr("Nothing answered on %s within %s."),
                       {port, WholeSeconds(std::chrono::duration_cast<std::chrono::milliseconds>(spent))}) +
            secondCpuNote};
}
}  // namespace

CLinkSession::CLinkSession() = default;

CLinkSession::~CLinkSession() { m_session.Close(); }

int CLinkSession::Connect(const std::string& requested, IFrameTrace* trace, bool secondCpu) {
    m_port = requested;
    if (static_cast<int>(m_port.size()) > kPortNameCapacity) {
        // Long names such as /dev/serial/by-id/... are links to a short device
        // path, which is opened instead.
        std::string resolved;
        uint32_t error = 0;
        if (!ResolvePortPath(requested, resolved, error)) {
            PrintError(StringText(IDS_PORT_FAILED));
            for (const std::string& line : PortFailureDetail(requested, error)) PrintError(line);
            return kExitPort;
        }
        if (static_cast<int>(resolved.size()) > kPortNameCapacity) {
            PrintError(StringText(IDS_PORT_FAILED));
            PrintError(FormatText(Tr("Port %s: the name is longer than %s characters and does not lead to a "
                                     "shorter device path"),
                                  {requested, std::to_string(kPortNameCapacity)}));
            return kExitPort;
        }
        m_port = resolved;
    }
    m_secondCpu = secondCpu;
    m_last = m_session.Open(m_port, secondCpu, trace);
    if (m_last.Ok()) return kExitOk;
    PrintError(StringText(IDS_PORT_FAILED));
    for (const std::string& line : PortFailureDetail(m_port, m_last.systemCode)) PrintError(line);
    return kExitPort;
}

int CLinkSession::Interrupted() {
    m_session.Close();
    const StopRequest request = PendingStopRequest();
    PrintError(FormatText(request == StopRequest::Terminate ? Tr("Terminated: the link was stopped and %s closed.")
                                                            : Tr("Interrupted: the link was stopped and %s closed."),
                          {m_port}));
    return ExitStatusForStop(request);
}

int CLinkSession::WaitForDevice(std::chrono::milliseconds limit, bool silentVerdict) {
    m_limit = limit;
    m_identifyStart = Clock::now();
    {
        CStopRelay relay([this] { m_session.RequestStop(); });
        m_last = m_session.Identify(limit, silentVerdict);
    }
    return m_last.Ok() ? kExitOk : Failed(m_last);
}

int CLinkSession::Download(const FirmwareInfo& info, const std::vector<uint8_t>& data, bool force, bool terminal) {
    CProgressText progress(static_cast<uint32_t>(data.size()), terminal, Clock::now());
    {
        CStopRelay relay([this] { m_session.RequestStop(); });
        m_last = m_session.Download(info, data, force, [&progress](uint32_t acknowledged, uint32_t) {
            PrintOut(progress.Update(acknowledged, Clock::now()));
        });
    }
    PrintOut(progress.Finish());
    if (!m_last.Ok()) return Failed(m_last);
    PrintOut(StringText(IDS_DOWNLOAD_DONE) + "\n");
    return kExitOk;
}

int CLinkSession::Reset() {
    {
        CStopRelay relay([this] { m_session.RequestStop(); });
        m_last = m_session.Reset();
    }
    if (!m_last.Ok()) return Failed(m_last);
    PrintOut(StringText(IDS_DEVICE_RESET) + "\n");
    return kExitOk;
}

int CLinkSession::Failed(const SessionResult& result) {
    if (result.kind == SessionErrorKind::Stopped) return Interrupted();
    const std::vector<std::string> detail = NoResponseDetail(result, m_port, m_secondCpu, m_limit,
                                                             Clock::now() - m_identifyStart);
    PrintError(StringText(IDS_NO_RESPONSE));
    for (const std::string& line : detail) PrintError(line);
    return kExitNoResponse;
}
