#pragma once
// Where the link's worker posts its notifications and progress messages.
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>

// Message numbers the link posts.
inline constexpr uint32_t WM_LINK_NOTIFY = 0x480;  // wParam: an LN_ code, lParam 0
inline constexpr uint32_t PBM_SETRANGE = 0x401;    // lParam: (length & 0xFFFF) << 16
inline constexpr uint32_t PBM_SETPOS = 0x402;      // wParam: the position

inline constexpr int LN_INFO_CHANGED = 1000;
inline constexpr int LN_PORT_FAILED = 1003;
inline constexpr int LN_NO_RESPONSE = 1004;
inline constexpr int LN_DOWNLOAD_DONE = 1005;
inline constexpr int LN_LINK_STARTED = 1008;
inline constexpr int LN_LINK_ENDED = 1009;
inline constexpr int LN_DEVICE_RESET = 1010;

struct LinkMessage {
    uint32_t message = 0;
    uintptr_t wParam = 0;
    intptr_t lParam = 0;
};

// A window-like receiver. Post() may be called from any thread, must return at
// once and must never block on the receiver's thread.
class IMessageTarget {
public:
    virtual void Post(uint32_t message, uintptr_t wParam, intptr_t lParam) = 0;

protected:
    ~IMessageTarget() = default;
};

// A bounded queue of posted messages for receivers without a window (the
// command line, tests). Posting never allocates; when the queue is full the
// oldest message is dropped so the poster never waits.
class CMessageQueue final : public IMessageTarget {
public:
    static constexpr size_t kCapacity = 4096;

    void Post(uint32_t message, uintptr_t wParam, intptr_t lParam) override {
        // Notified under the lock, so the queue's owner may destroy it as soon
        // as it has taken the last message.
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_count == kCapacity) {
            m_head = (m_head + 1) % kCapacity;
            --m_count;
            ++m_dropped;
        }
        m_items[(m_head + m_count) % kCapacity] = {message, wParam, lParam};
        ++m_count;
        m_ready.notify_one();
    }

    // Takes the oldest message, waiting up to timeoutMs; false when none came.
    [[nodiscard]] bool Take(LinkMessage& out, uint32_t timeoutMs) {
        std::unique_lock<std::mutex> lock(m_mutex);
        if (!m_ready.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return m_count > 0; }))
            return false;
        out = m_items[m_head];
        m_head = (m_head + 1) % kCapacity;
        --m_count;
        return true;
    }

    size_t Dropped() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_dropped;
    }

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_ready;
    LinkMessage m_items[kCapacity];
    size_t m_head = 0;
    size_t m_count = 0;
    size_t m_dropped = 0;
};
