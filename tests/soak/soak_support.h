#pragma once
// Shared pieces of the fault soak and the stop storm: a message target that
// records what the link posts, the system's outcome texts, and small timing
// helpers. Header only; each object belongs to the thread that made it except
// NoteRecorder, whose Post may come from the link's worker.
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "link/message_target.h"
#include "res/resource_ids.h"
#include "res/strings.h"

using SoakClock = std::chrono::steady_clock;

// Records every notification code and the last progress position.
class NoteRecorder final : public IMessageTarget {
public:
    void Post(uint32_t message, uintptr_t wParam, intptr_t) override {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (message == WM_LINK_NOTIFY) m_codes.push_back(static_cast<int>(wParam));
            if (message == PBM_SETPOS) m_position = static_cast<uint32_t>(wParam);
        }
        m_changed.notify_all();
    }

    size_t Count(int code) const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return static_cast<size_t>(std::count(m_codes.begin(), m_codes.end(), code));
    }
    uint32_t Position() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_position;
    }
    std::vector<int> Codes() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_codes;
    }
    // Waits until any of the codes has been posted at least once; false at the deadline.
    bool WaitForAny(std::initializer_list<int> codes, SoakClock::time_point deadline) const {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_until(lock, deadline, [&] {
            for (int code : codes)
                if (std::find(m_codes.begin(), m_codes.end(), code) != m_codes.end()) return true;
            return false;
        });
    }
    void Clear() {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_codes.clear();
        m_position = 0;
    }

private:
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    std::vector<int> m_codes;
    uint32_t m_position = 0;
};

inline std::string SystemText(unsigned id) {
    const char* text = LoadStringText(id);
    return text != nullptr ? text : "?";
}

inline double MillisecondsSince(SoakClock::time_point start) {
    return std::chrono::duration<double, std::milli>(SoakClock::now() - start).count();
}

// The value at fraction q (0..1) of the sorted samples, nearest rank.
inline double Percentile(std::vector<double> samples, double q) {
    if (samples.empty()) return 0;
    std::sort(samples.begin(), samples.end());
    size_t rank = static_cast<size_t>(q * static_cast<double>(samples.size()) + 0.999999);
    if (rank < 1) rank = 1;
    if (rank > samples.size()) rank = samples.size();
    return samples[rank - 1];
}
