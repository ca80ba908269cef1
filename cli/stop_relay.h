#pragma once
// Hands a stop request (cli/stop_signals.h) to an operation that runs on the
// main thread and cannot look for it itself, such as a device session's step:
// a small thread watches for the request and calls onStop once.
//
// Main thread constructs and destroys it; onStop runs on the relay's thread
// and must be callable from any thread (CDeviceSession::RequestStop is).
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

class CStopRelay {
public:
    explicit CStopRelay(std::function<void()> onStop);
    // Joins the relay's thread.
    ~CStopRelay();
    CStopRelay(const CStopRelay&) = delete;
    CStopRelay& operator=(const CStopRelay&) = delete;

private:
    void Run();

    std::function<void()> m_onStop;
    std::mutex m_lock;
    std::condition_variable m_quit;
    bool m_done = false;
    std::thread m_thread;  // last: started once the rest is ready
};
