#pragma once
// A simulated device on a serial line: it plays the equipment's side of the
// framed request/reply protocol over a pseudo-terminal it creates, or over a
// serial device it is given (one end of a socat pty pair, a real adapter).
//
// Threads: every public member may be called from any thread, also while the
// simulator serves on its own background thread (started by Start). The logger
// is called on that background thread. Calls that configure the line
// (CreatePty, OpenDevice) fail while the simulator runs.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sim/sim_protocol.h"
#include "sim/unique_fd.h"

class DeviceSimulator {
public:
    struct Request {
        uint8_t command;
        std::vector<uint8_t> message;  // unescaped, checksum removed
        std::chrono::steady_clock::time_point at;  // when it was taken (after line pacing)
    };
    // Receives one line about what the device did; error is set for failures
    // (an image that could not be saved, a lost line).
    using Logger = std::function<void(bool error, const std::string& text)>;

    DeviceSimulator();
    ~DeviceSimulator();  // stops and closes everything
    DeviceSimulator(const DeviceSimulator&) = delete;
    DeviceSimulator& operator=(const DeviceSimulator&) = delete;

    // A new pseudo-terminal in raw mode; PortPath() is its slave's path. The
    // simulator keeps a slave descriptor of its own open, so that a client may
    // close and reopen the port without the line hanging up.
    bool CreatePty(std::string& error);
    // An existing serial device, set to raw mode at the given rate (the link's
    // 19200 baud by default) and flushed.
    bool OpenDevice(const std::string& path, std::string& error);
    bool OpenDevice(const std::string& path, uint32_t baudRate, std::string& error);
    std::string PortPath() const;

    // One CPU (the default) or two; see SimProtocol::SetCpuCount.
    void SetCpuCount(int count);
    // cpu 0 is the first CPU, 1 the second.
    void SetIdentity(const SimIdentity& identity, int cpu = 0);
    SimIdentity Identity(int cpu = 0) const;
    // May be changed while running; reseeds the fault generator and restarts
    // the fault counts (refusals, short acks, acknowledged blocks).
    void SetFaults(const SimFaults& faults);
    SimFaults Faults() const;
    // Where a CPU's received image is written at every end command it carries
    // out (empty: nowhere). The file is complete before the end reply is sent.
    void SetSaveImagePath(const std::string& path, int cpu = 0);
    void SetLogger(Logger logger);

    // Serves on a background thread; false without a line or when running.
    bool Start();
    // Ends the background thread promptly; the line stays open for a new Start.
    void Stop();
    // Closes the line now: a client on the pseudo-terminal sees a hang-up.
    void HangUp();

    bool Running() const;
    // True once the line was closed by HangUp, the hang-up fault or a failure.
    bool LineClosed() const { return m_lineClosed.load(); }
    // Why serving ended by itself when the line failed (the other end gone, a
    // write error); empty otherwise.
    std::string Failure() const;

    std::vector<Request> Requests() const;
    void ClearRequests();
    size_t CountRequests(uint8_t command) const;
    // True when at least count requests with this code have been seen.
    bool WaitForRequests(uint8_t command, size_t count, int timeoutMs) const;
    // Waits until the serving thread has ended by itself (hang-up, lost line)
    // or the time is up; true when it has ended.
    bool WaitForEnd(int timeoutMs) const;

    // Bytes a CPU received, sized to the highest offset+length written.
    std::vector<uint8_t> Image(int cpu = 0) const;
    size_t EndCount(int cpu = 0) const;  // end-download requests the CPU carried out
    size_t AcknowledgedBlocks() const;   // full block acks sent since the faults were last set

private:
    struct Pending;
    void Serve();
    // The serving thread's steps.
    void HandleArrivedRequests(Pending& p, std::chrono::steady_clock::time_point now);
    void WriteDueReplies(Pending& p, std::chrono::steady_clock::time_point now);
    bool WaitForLine(Pending& p);
    void ReadLine(Pending& p, bool hungUp);
    void EndServing(Pending& p);
    void Log(bool error, const std::string& text) const;
    std::chrono::steady_clock::duration ByteTime() const;
    std::chrono::steady_clock::duration ReplyHold() const;
    void StartHold(Pending& p, std::chrono::steady_clock::time_point now);
    // Closes the line; caller holds m_lock.
    void CloseLineLocked();
    void Wake() const;

    mutable std::mutex m_lock;
    mutable std::condition_variable m_changed;
    SimProtocol m_protocol;
    std::vector<Request> m_requests;
    std::string m_saveImagePath[SIM_MAX_CPUS];
    Logger m_logger;
    std::string m_portPath;
    std::string m_failure;
    UniqueFd m_line;   // pty master or the serial device; non-blocking
    UniqueFd m_slave;  // own slave descriptor of a pseudo-terminal
    UniqueFd m_wake;   // eventfd that interrupts the serving thread's poll
    bool m_serving = false;          // the background thread owns the line
    bool m_hangUpRequested = false;  // HangUp asks the background thread to close the line
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_lineClosed{false};

    std::mutex m_control;  // serialises Start, Stop, HangUp and the line set-up
    std::thread m_thread;
};
