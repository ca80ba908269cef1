#pragma once
// One connection of the command line to a device: the device session
// (link/device_session.h) run on the main thread, with what it reports put
// into words (results on standard output, failures on standard error) and
// exit statuses (cli/exit_codes.h). A stop request (Ctrl+C, SIGTERM) ends
// whatever step runs: a small relay thread hands it to the session.
//
// Main thread only.
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "link/device_session.h"

class IFrameTrace;

class CLinkSession {
public:
    using Clock = std::chrono::steady_clock;

    // A device that answers at all answers within its first poll cycle. A
    // silent one costs the wake-up (about 1.2 s), five hardware-information
    // attempts of 2 s and five identity attempts of 6 s: about 41 s.
    static constexpr std::chrono::seconds kFirstCycleLimit{45};

    CLinkSession();
    // Closes the port.
    ~CLinkSession();
    CLinkSession(const CLinkSession&) = delete;
    CLinkSession& operator=(const CLinkSession&) = delete;

    // Opens the port; trace (may be null) sees every frame. secondCpu
    // addresses the unit's second CPU for the whole connection.
    int Connect(const std::string& port, IFrameTrace* trace, bool secondCpu = false);
    // Wakes the device and waits until its first poll cycle has brought both
    // groups, at most limit; with silentVerdict, gives up as soon as the line
    // shows that nothing is on it.
    int WaitForDevice(std::chrono::milliseconds limit, bool silentVerdict);
    // Downloads the image (after the range check unless force) and shows
    // progress on standard output.
    int Download(const FirmwareInfo& info, const std::vector<uint8_t>& data, bool force, bool terminal);
    int Reset();

    const std::string& Port() const { return m_port; }
    DeviceInfo Device() const { return m_session.Device(); }
    AdapterLatency Adapter() const { return m_session.Adapter(); }
    // How the last step ended, for the unit's record.
    const SessionResult& LastResult() const { return m_last; }

private:
    // Prints what a failed step means and returns its exit status.
    int Failed(const SessionResult& result);
    int Interrupted();

    CDeviceSession m_session;
    SessionResult m_last;
    std::string m_port;
    bool m_secondCpu = false;
    std::chrono::milliseconds m_limit{0};
    Clock::time_point m_identifyStart{};
};
