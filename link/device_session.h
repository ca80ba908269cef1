#pragma once
// One conversation with a device, held on the caller's thread: open the port,
// wake the device, identify it, download an image with progress, reset it
// (its second CPU too). The command line and every station bay call it
// directly; the desktop application's worker runs the same steps of the link
// engine and turns them into window notifications.
//
// Threads: one thread (the caller's) calls Open, Identify, Download,
// Reset, Close and reads Device; RequestStop may be called from any thread at
// any time and ends every wait of the current or next step as promptly as the
// engine's Stop does. A stop stays requested until the next Open.
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "link/adapter_latency.h"
#include "link/device_info.h"

class IFrameTrace;

// How a step of a session ended.
enum class SessionErrorKind : uint8_t {
    None,                     // it went through
    Port,                     // the port cannot be opened (systemCode says why)
    NoResponse,               // the device did not answer, or not completely
    RefusedByHardwareRange,   // the device's hardware lies outside the image's range
    Image,                    // no image, or one too long to address in blocks
    Stopped,                  // RequestStop ended it
    PortGone,                 // the port went away (set by callers that watch it)
};

// What went wrong in a no-response, for the words a front end chooses.
enum class SilenceKind : uint8_t {
    None,
    SilentLine,         // not a single byte came back
    Timeout,            // nothing answered before the step's time limit
    MissingHardwareInfo,// the identity came, the hardware information did not
    MissingIdentity,    // the hardware information came, the identity did not
    EndNotConfirmed,    // every block was taken, the end was not confirmed
    BlocksStopped,      // the download stopped after `acknowledged` bytes
    ResetNotConfirmed,  // the image went in; the reset was not acknowledged
};

struct [[nodiscard]] SessionResult {
    SessionErrorKind kind = SessionErrorKind::None;
    SilenceKind silence = SilenceKind::None;
    uint32_t systemCode = 0;    // Port: the system's error code
    uint32_t acknowledged = 0;  // Download: bytes the device acknowledged
    uint32_t total = 0;         // Download: bytes of the image
    [[nodiscard]] bool Ok() const { return kind == SessionErrorKind::None; }
};

class CDeviceSession {
public:
    using Clock = std::chrono::steady_clock;
    // Download progress: bytes acknowledged of total, after each block.
    using Progress = std::function<void(uint32_t acknowledged, uint32_t total)>;

    // The longest port name the session opens (the engine keeps 32 bytes).
    static constexpr size_t kLongestPortName = 31;

    CDeviceSession();
    ~CDeviceSession();  // closes the port
    CDeviceSession(const CDeviceSession&) = delete;
    CDeviceSession& operator=(const CDeviceSession&) = delete;

    // Opens the port at the link's speed (any earlier connection is closed
    // first). trace (may be null) sees every frame; secondCpu addresses the
    // unit's second CPU for the whole connection.
    SessionResult Open(const std::string& port, bool secondCpu = false, IFrameTrace* trace = nullptr);
    // Wakes the device (the first time after Open) and polls it, hardware
    // information then identity, cycle after cycle until it answers: Ok when
    // a cycle brought both groups, NoResponse naming the missing group when it
    // brought one. With silentVerdict, gives up as soon as the first
    // hardware-information attempt has ended without a single byte from the
    // line. Gives up, as Timeout, once limit has passed.
    SessionResult Identify(std::chrono::milliseconds limit, bool silentVerdict);
    // The range check (unless force), then begin, every block and end.
    SessionResult Download(const FirmwareInfo& info, const std::vector<uint8_t>& data, bool force,
                           const Progress& progress);
    // Runs the second CPU (when addressed), then the device.
    SessionResult Reset();
    void Close();

    // The device as the last poll cycle left it.
    DeviceInfo Device() const;
    // Since Open, a read ran out without a single byte from the line.
    [[nodiscard]] bool LineIsSilent() const;
    [[nodiscard]] bool SecondCpu() const { return m_secondCpu; }
    // What the open port's adapter says of its latency (link/adapter_latency.h).
    AdapterLatency Adapter() const;

    // --- any thread ---
    void RequestStop();

private:
    struct Engine;  // the link engine whose steps the session runs
    SessionResult Stopped() const;
    SessionResult Cycle(bool silentVerdict);

    std::unique_ptr<Engine> m_engine;
    std::mutex m_stopLock;  // RequestStop against Open and Close
    bool m_secondCpu = false;
    bool m_woken = false;
};
