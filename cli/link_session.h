#pragma once
// One connection of the command line to a device, through the same link
// engine as the desktop application: start, the first poll cycle, a download,
// a reset, and a clean stop on a stop request (Ctrl+C, SIGTERM). The session's message queue is
// the link's notification and progress target.
//
// Main thread only (the link's worker reports through the queue). Every
// operation prints its own outcome (results on standard output, failures on
// standard error) and returns an exit status (cli/exit_codes.h).
#include <chrono>
#include <cstdint>
#include <string>

#include "cli/stop_signals.h"
#include "link/message_target.h"

class CDeviceLink;
class IFrameTrace;

class CLinkSession {
public:
    using Clock = std::chrono::steady_clock;

    // A device that answers at all answers within its first poll cycle. A
    // silent one costs the wake-up (about 1.2 s), five hardware-information
    // attempts of 2 s and five identity attempts of 6 s: about 41 s.
    static constexpr std::chrono::seconds kFirstCycleLimit{45};

    CLinkSession(CDeviceLink& link, CMessageQueue& queue);
    // Stops the link: the worker has ended and the port is closed afterwards.
    ~CLinkSession();
    CLinkSession(const CLinkSession&) = delete;
    CLinkSession& operator=(const CLinkSession&) = delete;

    // Opens the port and starts the worker; trace (may be null) sees every
    // frame. secondCpu addresses the unit's second CPU for the whole connection.
    int Connect(const std::string& port, IFrameTrace* trace, bool secondCpu = false);
    // Waits until the first poll cycle has brought the device's data, at most
    // limit. kExitNoResponse when nothing answered in time, or when that cycle
    // lacked the hardware information or the identity; with silentVerdict,
    // also as soon as the first hardware-information attempt has ended without
    // a single byte from the line (a port with nothing on it, or the wrong one).
    int WaitForDevice(std::chrono::milliseconds limit, bool silentVerdict);
    // Requests a download of the loaded image and waits until the worker has
    // finished it, end command included; shows progress on standard output.
    int Download(bool terminal);
    // Requests a reset and waits for its outcome.
    int Reset();

    const std::string& Port() const { return m_port; }

private:
    enum class Wait { Message, Timeout, Stop };
    // The next message before deadline, or a stop request.
    Wait Next(LinkMessage& message, Clock::time_point deadline);
    // Stops the link after a stop request and returns its exit status.
    int Interrupted(StopRequest request);
    void NoResponse(const std::string& detail);
    // kExitOk when a poll cycle brought both groups (ANSWERED_ bits); otherwise
    // says which one did not answer and returns kExitNoResponse.
    int WholeAnswer(uint8_t answers);

    CDeviceLink& m_link;
    CMessageQueue& m_queue;
    std::string m_port;
    bool m_secondCpu = false;
};
