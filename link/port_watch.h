#pragma once
// Tells when serial ports come or go (an adapter plugged in or out), from the
// system's own device notifications: libudev's monitor on Linux, device-change
// messages (WM_DEVICECHANGE, DBT_DEVNODES_CHANGED included, which is all some
// virtual COM port drivers send) on Windows. It says only that something
// changed; the receiver lists the ports again.
//
// Threads: Start, Stop and the destructor on one thread (the window thread).
// The callback runs on the watch's own thread: it must return soon and must not
// call Start or Stop. ReportChange may be called from any thread.
#include <functional>
#include <memory>
#include <mutex>

class CPortWatch {
public:
    using Callback = std::function<void()>;

    CPortWatch();
    // Stops the watch: no callback runs once it has returned.
    ~CPortWatch();
    CPortWatch(const CPortWatch&) = delete;
    CPortWatch& operator=(const CPortWatch&) = delete;

    // Starts watching the system; false when it offers no notifications (the
    // callback then runs only through ReportChange). A running watch is
    // stopped first.
    [[nodiscard]] bool Start(Callback onChange);
    void Stop();
    [[nodiscard]] bool IsWatching() const;
    // Reports a change as the system would: for tests, and for callers that
    // know of one before the system says so. Nothing happens while stopped.
    void ReportChange();

private:
    // The system's side, one file per system.
    class CBackend;
    std::unique_ptr<CBackend> m_backend;
    mutable std::mutex m_mutex;  // guards m_onChange against Stop()
    Callback m_onChange;
};
