#include "link/port_watch.h"

#include "link/port_watch_backend.h"

CPortWatch::CPortWatch() = default;

CPortWatch::~CPortWatch() { Stop(); }

bool CPortWatch::Start(Callback onChange) {
    Stop();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_onChange = std::move(onChange);
    }
    m_backend = std::make_unique<CBackend>([this] { ReportChange(); });
    if (m_backend->Start()) return true;
    m_backend.reset();
    return false;
}

void CPortWatch::Stop() {
    // The backend's thread is joined before the callback goes, so a report on
    // its way either runs to its end before this returns or finds no callback.
    m_backend.reset();
    std::lock_guard<std::mutex> lock(m_mutex);
    m_onChange = nullptr;
}

bool CPortWatch::IsWatching() const { return m_backend != nullptr; }

void CPortWatch::ReportChange() {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_onChange) m_onChange();
}
