#pragma once
// Deadlines on the steady clock that never overflow: a wait too long for the
// clock's nanoseconds ends at the clock's last point instead of wrapping into
// the past.
#include <chrono>
#include <cstdint>

using SteadyClock = std::chrono::steady_clock;

// now + milliseconds, saturated at SteadyClock::time_point::max().
inline SteadyClock::time_point DeadlineAfter(SteadyClock::time_point now, uint64_t milliseconds) {
    const auto room = std::chrono::duration_cast<std::chrono::milliseconds>(SteadyClock::time_point::max() - now);
    if (room.count() <= 0 || milliseconds >= static_cast<uint64_t>(room.count())) return SteadyClock::time_point::max();
    return now + std::chrono::milliseconds(static_cast<int64_t>(milliseconds));
}
