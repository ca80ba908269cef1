#pragma once
// One bay of the station: a port, its link engine and the thread that holds
// the conversation with one unit after another. Internal to the station.
//
// Threads: the owner thread (CStation's) calls Start, RequestStop, Join,
// Pause and Resume; Status from any thread; everything else runs on the bay's
// own thread, which drives the link the way the command line does: requests
// from this thread, the worker's answers through the message queue.
#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "link/device_link.h"
#include "link/message_target.h"
#include "station/station.h"

class CStationBay final : private IFrameTrace {
public:
    using Clock = std::chrono::steady_clock;

    CStationBay(size_t index, const BayConfig& config, std::shared_ptr<const StationConfig> station,
                std::shared_ptr<const StationImage> image, IStationEvents* events);
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

    // --- any thread ---
    BayStatus Status() const;
    const std::string& Port() const { return m_config.port; }

private:
    // How one unit's turn on the bay ended.
    enum class Turn { Finished, Skipped, Interrupted, NoUnit };
    enum class Wait { Message, Slice, Interrupted, PortChanged };
    struct Unit {
        int64_t startedUtcMs = 0;
        DeviceInfo device;
    };

    void Run();
    Turn ServeUnit();
    // Opens the port once it is there; false when interrupted or, with a
    // deadline, when it passed (the failure then recorded).
    bool OpenPort(Clock::time_point deadline, int64_t startedUtcMs);
    // Waits for a unit that answers; Interrupted, NoUnit (deadline, recorded)
    // or Finished with the unit filled in.
    Turn WaitForUnit(Clock::time_point deadline, Unit& unit);
    Turn FlashUnit(Unit& unit);
    // The download and reset; the result and message of a unit that went through them.
    bool Download(UnitResult& result, std::string& message);
    bool Reset(UnitResult& result, std::string& message);
    void WaitForRemoval();
    void WaitWhilePaused();

    // The next message of the link, or why there was none within one slice.
    Wait Next(LinkMessage& message);
    bool Interrupted() const { return m_stop || m_pause; }
    [[nodiscard]] bool StartLink();
    bool PortChanged();
    void Finish(const Unit& unit, UnitResult result, const std::string& message);
    void FillAdapter(UnitRecord& record) const;

    void SetState(BayState state);
    StationEvent MakeEvent(StationEventKind kind) const;
    void Emit(const StationEvent& event);
    void Emit(StationEventKind kind);
    void OnFrame(Direction direction, const uint8_t* bytes, uint32_t length) override;

    const size_t m_index;
    const BayConfig m_config;
    const std::shared_ptr<const StationConfig> m_station;
    const std::shared_ptr<const StationImage> m_image;
    IStationEvents* const m_events;

    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_pause{false};
    std::atomic<Clock::rep> m_lastReply{0};  // steady ticks of the last frame received

    mutable std::mutex m_lock;  // guards m_status
    BayStatus m_status;

    // Bay thread only.
    std::string m_device;           // the device the port name led to when the link opened
    uint8_t m_lastChip[4] = {0, 0, 0, 0};
    bool m_hasLastChip = false;
    bool m_left = true;             // the last flashed unit has left the bay
    std::string m_portFailure;      // the last port failure reported, so it is reported once
    Clock::time_point m_nextPortCheck{};

    CMessageQueue m_queue;  // before the link: the link's worker posts to it
    CDeviceLink m_link;
    std::thread m_thread;
};
