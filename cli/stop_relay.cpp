#include "cli/stop_relay.h"

#include <chrono>

#include "cli/stop_signals.h"

namespace {
// The system's notice only records the request (a signal handler may do no
// more), so the relay looks at it this often: well inside a person's patience.
constexpr std::chrono::milliseconds kLookEvery{20};
}  // namespace

CStopRelay::CStopRelay(std::function<void()> onStop) : m_onStop(std::move(onStop)) {
    // Started with the stop signals blocked, so they still reach only the main thread.
    CStopSignalsBlocked blocked;
    m_thread = std::thread(&CStopRelay::Run, this);
}

CStopRelay::~CStopRelay() {
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_done = true;
    }
    m_quit.notify_one();
    m_thread.join();
}

void CStopRelay::Run() {
    std::unique_lock<std::mutex> lock(m_lock);
    while (!m_done) {
        if (PendingStopRequest() != StopRequest::None) {
            m_onStop();
            return;
        }
        m_quit.wait_for(lock, kLookEvery);
    }
}
