#include "link/handles.h"

#include <system_error>

bool CWorkerThread::Start(void (*entry)(void*), void* argument) {
    if (m_thread.joinable()) return false;
    try {
        m_thread = std::thread(entry, argument);
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

void CWorkerThread::WaitForExit() {
    if (m_thread.joinable() && m_thread.get_id() != std::this_thread::get_id()) m_thread.join();
}
