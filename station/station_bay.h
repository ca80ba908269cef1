#pragma once
// One bay of the station: a port, its device session and the one thread that
// holds the conversation with one unit after another. Internal to the station.
//
// Threads: the owner thread (CStation's) calls Start, RequestStop, Join,
// Pause and Resume; the station's port watch calls CheckPort; Status from any
// thread; everything else runs on the bay's own thread, which runs the
// session's steps itself. Each of the others ends the step that runs through
// the session's RequestStop.
#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include <condition_variable>

#include "link/device_session.h"
#include "link/serial_port.h"
#include "station/station.h"

class CStationBay final : private IFrameTrace {
public:
    using Clock = std::chrono::steady_clock;

    CStationBay(size_t index, const BayConfig& config, std::shared_ptr<const StationConfig> station,
                std::shared_ptr<const FirmwareImage> image, IStationEvents* events);
    ~CStationBay();
    CStationBay(const CStationBay&) = delete;
    CStationBay& operator=(const CStationBay&) = delete;

    // --- owner thread ---
    void Start();
    void RequestStop();  // returns at once; Join waits
    void Join();
    void Pause();
    void Resume();
    void MarkRemoved();

    // --- the station's port watch ---
    // Ends the current step when the port is gone or its name now leads to
    // another device (an adapter plugged in again, a simulator's new
    // pseudo-terminal).
    void CheckPort();

    // --- any thread ---
    BayStatus Status() const;
    const std::string& Port() const { return m_config.port; }

private:
    // How one unit's turn on the bay ended.
    enum class Turn { Finished, Skipped, Interrupted, NoUnit, OrderComplete };
    struct Unit {
        int64_t startedUtcMs = 0;
        Clock::time_point started{};  // the same moment on the steady clock, for the duration
        DeviceInfo device;
        void Start();
    };

    void Run();
    Turn ServeUnit();
    // Opens the port once it is there; false when interrupted or, with a
    // deadline, when it passed (the failure then recorded).
    bool OpenPort(Clock::time_point deadline, const Unit& waiting);
    // Waits for a unit that answers; Interrupted, NoUnit (deadline, recorded)
    // or Finished with the unit filled in.
    Turn WaitForUnit(Clock::time_point deadline, Unit& unit);
    Turn FlashUnit(Unit& unit);
    // A unit whose chip passed with this image before: shown as passed, not flashed.
    void ShowPassedBefore(const Unit& unit);
    // The unit's turn is over: it is not served again until it has left.
    void RememberUnit(const DeviceInfo& device, bool passed);
    // The download and reset; the result and message of a unit that went through them.
    bool Download(UnitResult& result, std::string& message);
    bool Reset(UnitResult& result, std::string& message);
    void WaitForRemoval();
    void WaitWhilePaused();
    // Waits until the time, a stop, a pause or a changed port; false when one
    // of those came first.
    bool Rest(Clock::time_point until);

    bool Interrupted() const { return m_stop || m_pause; }
    // Opens the session on the device the port's name leads to now; false
    // with why (and whether the name leads nowhere) when it cannot.
    [[nodiscard]] bool StartLink(std::string* failure = nullptr, bool* missing = nullptr);
    // The port changed since the session opened it (CheckPort said so).
    bool PortChanged() const { return m_portChanged; }
    SessionResult Watched(SessionResult result) const;
    void Finish(const Unit& unit, UnitResult result, const std::string& message);
    void FillAdapter(UnitRecord& record) const;
    // Said with a silence on a bay that addresses the second CPU, else "".
    std::string SecondCpuNote() const;

    void SetState(BayState state);
    void SetPortFailure(const std::string& failure);
    StationEvent MakeEvent(StationEventKind kind) const;
    void Emit(const StationEvent& event);
    void Emit(StationEventKind kind);
    void OnFrame(Direction direction, const uint8_t* bytes, uint32_t length) override;

    const size_t m_index;
    const BayConfig m_config;
    const std::shared_ptr<const StationConfig> m_station;
    const std::shared_ptr<const FirmwareImage> m_image;
    IStationEvents* const m_events;

    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_pause{false};
    std::atomic<bool> m_portChanged{false};
    std::atomic<Clock::rep> m_lastReply{0};  // steady ticks of the last frame received
    std::mutex m_restLock;                   // with m_rested: Rest's waits
    std::condition_variable m_rested;

    mutable std::mutex m_lock;  // guards m_status
    BayStatus m_status;

    // Written by the bay's thread while its session is closed, read by CheckPort.
    std::string m_device;           // the device the port name led to when the session opened
    mutable std::mutex m_deviceLock;
    // Bay thread only.
    uint8_t m_lastChip[4] = {0, 0, 0, 0};
    bool m_hasLastChip = false;
    bool m_left = true;             // the last flashed unit has left the bay
    bool m_lastPassed = false;      // it passed: silence alone is no proof it left
    std::string m_portFailure;      // the last port failure reported, so it is reported once

    CDeviceSession m_session;
    std::thread m_thread;
};
