#pragma once
// The system's side of CPortWatch (link/posix/, link/win32/). Its thread calls
// report once for every device change it hears of; destruction ends and joins
// that thread.
#include <functional>
#include <memory>

#include "link/port_watch.h"

class CPortWatch::CBackend {
public:
    explicit CBackend(std::function<void()> report);
    ~CBackend();
    CBackend(const CBackend&) = delete;
    CBackend& operator=(const CBackend&) = delete;

    // Begins listening; false when the system offers no device notifications.
    [[nodiscard]] bool Start();

private:
    struct State;
    std::unique_ptr<State> m_state;
};
