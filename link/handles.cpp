#include "link/handles.h"

#include <new>
#include <system_error>

bool CWorkerThread::Start(void (*entry)(void*), void* argument) {
    if (m_thread.joinable()) return false;
    std::lock_guard<std::mutex> starting(m_starting);
    try {
        m_thread = std::thread([this, entry, argument] {
            { std::lock_guard<std::mutex> started(m_starting); }
            entry(argument);
        });
    } catch (const std::system_error&) {
        m_lastError = kErrorNoThread;
        return false;
    } catch (const std::bad_alloc&) {
        m_lastError = kErrorNoMemory;
        return false;
    }
    return true;
}

void CWorkerThread::WaitForExit() {
    if (!m_thread.joinable()) return;
    if (m_thread.get_id() == std::this_thread::get_id())
        m_thread.detach();
    else
        m_thread.join();
}
