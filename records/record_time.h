#pragma once
// UTC times of the records: now, as text, and read back from what a
// technician types. Pure arithmetic on the civil calendar (no time-zone
// database, the same on every system); any thread.
#include <cstdint>
#include <string>

// Milliseconds since 1970-01-01 00:00 UTC.
int64_t UtcNowMs();

// "2026-12-07T12:00:01.234Z"
std::string FormatUtcTime(int64_t utcMs);
// "2026-12-07"
std::string FormatUtcDay(int64_t utcMs);

// Reads "2026-12-07", "2026-12-07T12:00", "2026-12-07 12:00:01" (a trailing
// Z is allowed; every time is UTC), or a time before nowMs: "36h", "7d",
// "90min". False for anything else or an impossible date.
[[nodiscard]] bool ParseUtcTime(const std::string& text, int64_t nowMs, int64_t& utcMs);
