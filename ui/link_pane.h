#pragma once
// The status bar's link pane and the text beside the progress bar: what the
// link is doing, in words. The window thread keeps one CLinkPane, tells it
// what the operator did and what the progress messages said, and asks it for
// the text with the link's state as read just then. No wx here; window thread.
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "link/adapter_latency.h"
#include "link/device_link.h"

struct SerialPortEntry;

// The link's state as the window thread reads it at one moment.
struct LinkSnapshot {
    bool running = false;
    LinkPhase phase = LinkPhase::Idle;
    uint32_t answers = 0;
    bool silent = false;        // an attempt ran out and not a byte came
    bool attemptRanOut = false;  // an attempt ran out (bytes or not)
    DownloadOutcome lastDownload = DownloadOutcome::None;
    bool secondCpu = false;      // the connection addresses the unit's second CPU
    std::string deviceName;
    uint32_t productNumber = 0;
    AdapterLatency adapter;      // of the port the link opened
};

LinkSnapshot ReadLink(const CDeviceLink& link);

class CLinkPane {
public:
    using Clock = std::chrono::steady_clock;

    // Connect was given for port; Start() follows.
    void Opening(const std::string& port);
    // Start() has run: the link runs, or the port failed with reason.
    void Started(Clock::time_point now);
    void Failed(const std::string& reason);
    void Disconnected();
    // The progress bar's messages: a new range begins a download's count.
    void ProgressRange(uint32_t total, Clock::time_point now);
    void ProgressPosition(uint32_t done);
    // The device confirmed the last block: the pane says so at once, whatever
    // the link's phase still reads (its worker moves on a moment later).
    void DownloadFinished();

    std::string Text(const LinkSnapshot& link, Clock::time_point now) const;
    // The port as the operator named it at the last Opening.
    const std::string& Port() const { return m_port; }
    // Beside the bar: the percentage and the time left.
    std::string ProgressText(Clock::time_point now) const;
    // The pane's tool tip while the link runs: the adapter's latency, and the
    // fix when it holds replies too long; "" otherwise.
    std::string LatencyTooltip(const LinkSnapshot& link) const;
    // The fix the first time in this run that a running link's port shows a
    // latency too high; "" otherwise and every later time.
    std::string FirstLatencyWarningText(const LinkSnapshot& link) const;

private:
    enum class Mode { Idle, Opening, Running, Failed, Disconnected };
    int Percent() const;
    // < 0 until the first block has come back.
    double SecondsLeft(Clock::time_point now) const;
    std::string RunningText(const LinkSnapshot& link, Clock::time_point now) const;
    std::string PollingText(const LinkSnapshot& link, Clock::time_point now) const;

    Mode m_mode = Mode::Idle;
    std::string m_port;
    std::string m_reason;
    Clock::time_point m_started{};
    Clock::time_point m_downloadStarted{};
    uint32_t m_total = 0;
    uint32_t m_done = 0;
    bool m_finished = false;
};

// One entry of the port box: what it shows, and the name it stands for.
struct PortBoxItem {
    std::string label;
    std::string name;
    bool operator==(const PortBoxItem&) const = default;
};

// The standard names first, then every reported port, each once and described
// where the system describes it; then the remembered port, marked absent, when
// it is in neither list and not present (absent: PortExists' answer).
std::vector<PortBoxItem> PortBoxItems(const std::vector<std::string>& standard,
                                      const std::vector<SerialPortEntry>& reported, const std::string& remembered,
                                      bool rememberedPresent);
// The name a port box text stands for: the entry's name when the text is one
// of the labels, else the text as typed.
std::string PortNameOf(const std::vector<PortBoxItem>& items, const std::string& text);
