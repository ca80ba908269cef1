#include "link/adapter_latency.h"

#include <mutex>
#include <set>

#include "link/device_link.h"
#include "res/translation.h"

// Every reply time-out must outlast a whole block's exchange at the link's
// speed (a 128-byte block escaped throughout, about 140 ms at 19200 baud)
// plus the longest hold an adapter puts on the reply.
static_assert(HWINFO_READ_TIMEOUT >= 4 * (140 + kLongestReplyHoldMs) && LINK_READ_TIMEOUT >= HWINFO_READ_TIMEOUT,
              "reply time-outs too close to a held block acknowledgement");

bool AdapterLatencyTooHigh(int timerMs) { return timerMs > kAdapterLatencyLimitMs; }

std::string AdapterLatencyLine(const AdapterLatency& latency) {
    if (latency.timerMs >= 0) return FormatText(Tr("Adapter latency: %s ms"), {std::to_string(latency.timerMs)});
    if (latency.lowLatency == LowLatency::Granted) return Tr("Adapter latency: low-latency mode on");
    return Tr("Adapter latency: not reported by this port");
}

bool FirstLatencyWarning(const std::string& port) {
    static std::mutex lock;
    static std::set<std::string> warned;
    std::lock_guard<std::mutex> hold(lock);
    return warned.insert(port).second;
}

std::string LatencyWarningOnce(const std::string& port, int timerMs) {
    if (!AdapterLatencyTooHigh(timerMs) || !FirstLatencyWarning(port)) return {};
    return AdapterLatencyAdvice(port, timerMs);
}
