#pragma once
// How long a USB serial adapter may hold a short reply before it passes it on
// (its latency timer), and what the port's driver said when asked to pass
// replies on at once. A download waits for a short acknowledgement after
// every block, so a held acknowledgement costs every block.
//
// Any thread: the readers look at sysfs (Linux) or the registry (Windows)
// only, and the warning memory is locked.
#include <cstdint>
#include <string>

enum class LowLatency { NotAsked, Granted, Refused };

struct AdapterLatency {
    int timerMs = -1;  // the adapter's latency timer; -1 where the system shows none
    LowLatency lowLatency = LowLatency::NotAsked;
    uint32_t refusal = 0;  // the system error of a refused request
};

// Above this a held acknowledgement costs a download noticeably.
inline constexpr int kAdapterLatencyLimitMs = 2;
// The most an adapter's latency timer can hold a reply (FTDI: 255 ms).
inline constexpr int kLongestReplyHoldMs = 255;

// The latency timer of the adapter behind a port name (a device path, a COM
// name), read without opening the port; -1 when it has none the system shows.
// Allocates nothing: a port opens where memory may be short.
[[nodiscard]] int ReadAdapterLatencyMs(const char* portName);

// Linux only, for tests: the same under another sysfs root (the folder that
// holds dev/char), for a device node path.
[[nodiscard]] int ReadAdapterLatencyMsUnder(const char* sysfsRoot, const char* devicePath);

// Windows only, for tests: the same search in a key under HKEY_CURRENT_USER
// laid out like HKLM\SYSTEM\CurrentControlSet\Enum\FTDIBUS.
[[nodiscard]] int ReadAdapterLatencyMsInUserKey(const char* keyPath, const char* portName);

[[nodiscard]] bool AdapterLatencyTooHigh(int timerMs);

// "Adapter latency: 16 ms", or what is known instead. Translated.
std::string AdapterLatencyLine(const AdapterLatency& latency);
// How to bring an adapter's latency down to 1 ms on this system. Translated.
std::string AdapterLatencyAdvice(const std::string& port, int timerMs);

// True the first time it is asked about a port in this run: each port is
// warned about once.
[[nodiscard]] bool FirstLatencyWarning(const std::string& port);
// The advice the first time in this run that a port's adapter holds replies
// too long; "" otherwise.
std::string LatencyWarningOnce(const std::string& port, int timerMs);
