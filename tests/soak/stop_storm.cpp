// kavro-stop-storm: Start/Stop pairs with the stop at random moments of every
// state of the link (wake-up, poll, download, reset, waiting after a reset),
// on several links at once, each against its own in-process simulator.
//
// Checks per pair: the port opens (no LN_PORT_FAILED), Stop() returns within
// 2 s, the port is closed afterwards and the worker posted LN_LINK_ENDED once.
// A pair that makes no progress for 60 s is a hang: the program aborts with
// the stream's state. Run under TSan, any data race is reported and fails it.
// Prints how many stops landed in each state and the Stop() latencies.
//
//   kavro-stop-storm [--pairs N] [--streams S] [--seed X]
#include <array>
#include <atomic>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "link/device_link.h"
#include "sim/device_simulator.h"
#include "sim/sim_random.h"
#include "soak_support.h"

namespace {

enum State { kWake, kPoll, kDownload, kReset, kAfterReset, kStateCount };
const char* const kStateNames[kStateCount] = {"wake-up", "poll", "download", "reset", "after reset"};

constexpr double kStopLimitMs = 2000;
constexpr auto kPhaseLimit = std::chrono::seconds(20);  // for a state to be reached
constexpr int64_t kHangLimitMs = 60000;

struct Options {
    int pairs = 1000;
    int streams = 8;
    uint64_t seed = 1;
};

struct Totals {
    std::mutex lock;
    std::array<int, kStateCount> landed{};
    std::array<int, kStateCount> aimed{};
    std::array<double, kStateCount> maxStopMs{};
    std::vector<double> stopMs;
    std::vector<std::string> failures;
};

struct Stream {
    int index = 0;
    std::atomic<int64_t> lastProgressMs{0};
    std::atomic<int> pair{-1};
    std::atomic<int> phase{0};  // 0 idle, 1 starting, 2 waiting, 3 stopping
};

int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(SoakClock::now().time_since_epoch()).count();
}

void Sleep(uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// The state the link is in, told from what it has posted and sent.
State Classify(const NoteRecorder& notes, const DeviceSimulator& sim, bool downloadRequested,
               bool resetRequested) {
    if (notes.Count(LN_DEVICE_RESET) > 0) return kAfterReset;
    if (resetRequested) return kReset;
    if (downloadRequested && notes.Count(LN_DOWNLOAD_DONE) == 0 && notes.Count(LN_NO_RESPONSE) == 0)
        return kDownload;
    if (sim.CountRequests(CMD_READ_HWINFO) > 0 || sim.CountRequests(CMD_READ_IDENT) > 0) return kPoll;
    return kWake;
}

void RunStream(Stream& stream, int pairs, uint64_t seed, Totals& totals) {
    auto fail = [&](int pair, const std::string& why) {
        std::lock_guard<std::mutex> lock(totals.lock);
        totals.failures.push_back("stream " + std::to_string(stream.index) + " pair " + std::to_string(pair) +
                                  ": " + why);
    };
    DeviceSimulator sim;
    std::string error;
    if (!sim.CreatePty(error) || !sim.Start()) {
        fail(-1, "cannot start the simulator: " + error);
        return;
    }
    NoteRecorder notes;
    auto link = std::make_unique<CDeviceLink>();
    if (!link->LoadBuiltInImage()) {
        fail(-1, "the built-in image does not load");
        return;
    }
    link->m_notifyWindow = &notes;
    link->m_progressWindow = &notes;
    link->SetPortName(sim.PortPath().c_str());

    SimRandom random(seed);
    for (int pair = 0; pair < pairs; ++pair) {
        stream.pair = pair;
        stream.lastProgressMs = NowMs();
        // Most stops land early: a later state costs the 1.2 s wake-up first.
        const uint32_t pick = random.Below(1000);
        const State aim = pick < 700 ? kWake : pick < 775 ? kPoll : pick < 850 ? kDownload : pick < 925 ? kReset
                                                                                                         : kAfterReset;
        notes.Clear();
        sim.ClearRequests();
        // A download is paced at 115200 baud (about 2 s) and a reset answered
        // after 30 ms, so that stops can land inside them.
        SimFaults faults;
        if (aim == kDownload) faults.lineRate = 115200;
        if (aim == kReset) faults.replyDelayMs = 30;
        sim.SetFaults(faults);
        stream.phase = 1;
        link->Start();
        if (!link->m_running || notes.Count(LN_PORT_FAILED) != 0) {
            fail(pair, "the port did not reopen (LN_PORT_FAILED)");
            link->Stop();
            continue;
        }
        stream.phase = 2;
        bool downloadRequested = false;
        bool resetRequested = false;
        const SoakClock::time_point limit = SoakClock::now() + kPhaseLimit;
        switch (aim) {
        case kWake:
            Sleep(random.Below(10) < 7 ? random.Below(100) : random.Below(1300));
            break;
        case kPoll:
            if (!notes.WaitForAny({LN_INFO_CHANGED}, limit)) fail(pair, "no device data within 20 s");
            Sleep(random.Below(2200));
            break;
        case kDownload:
            if (!notes.WaitForAny({LN_INFO_CHANGED}, limit)) fail(pair, "no device data within 20 s");
            link->RequestDownload();
            downloadRequested = true;
            Sleep(random.Below(1800));
            break;
        case kReset:
            if (!notes.WaitForAny({LN_INFO_CHANGED}, limit)) fail(pair, "no device data within 20 s");
            link->RequestReset();
            resetRequested = true;
            Sleep(random.Below(30));
            break;
        case kAfterReset:
            if (!notes.WaitForAny({LN_INFO_CHANGED}, limit)) fail(pair, "no device data within 20 s");
            link->RequestReset();
            resetRequested = true;
            if (!notes.WaitForAny({LN_DEVICE_RESET}, SoakClock::now() + kPhaseLimit))
                fail(pair, "the reset was not acknowledged within 20 s");
            Sleep(random.Below(200));
            break;
        default:
            break;
        }
        const State landed = Classify(notes, sim, downloadRequested, resetRequested);
        stream.phase = 3;
        const SoakClock::time_point stopAt = SoakClock::now();
        link->Stop();
        const double stopMs = MillisecondsSince(stopAt);
        stream.phase = 0;
        if (stopMs > kStopLimitMs) fail(pair, "Stop() took " + std::to_string(stopMs) + " ms");
        if (link->m_port.IsOpen()) fail(pair, "the port is still open after Stop()");
        if (notes.Count(LN_LINK_ENDED) != 1)
            fail(pair, "LN_LINK_ENDED posted " + std::to_string(notes.Count(LN_LINK_ENDED)) + " times");
        std::lock_guard<std::mutex> lock(totals.lock);
        ++totals.aimed[aim];
        ++totals.landed[landed];
        totals.maxStopMs[landed] = std::max(totals.maxStopMs[landed], stopMs);
        totals.stopMs.push_back(stopMs);
    }
    stream.pair = -1;
    link.reset();
    sim.Stop();
}

bool ParseOptions(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (i + 1 >= argc) return false;
        char* end = nullptr;
        const uint64_t v = std::strtoull(argv[++i], &end, 0);
        if (end == nullptr || *end != '\0') return false;
        if (a == "--pairs" && v > 0)
            o.pairs = static_cast<int>(v);
        else if (a == "--streams" && v > 0 && v <= 64)
            o.streams = static_cast<int>(v);
        else if (a == "--seed")
            o.seed = v;
        else
            return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        std::fprintf(stderr, "usage: kavro-stop-storm [--pairs N] [--streams S] [--seed X]\n");
        return 2;
    }
    std::printf("kavro-stop-storm: %d Start/Stop pairs on %d links at once, seed %" PRIu64 "\n", options.pairs,
                options.streams, options.seed);
    std::fflush(stdout);

    Totals totals;
    std::vector<std::unique_ptr<Stream>> streams;
    std::vector<std::thread> threads;
    const SoakClock::time_point started = SoakClock::now();
    for (int s = 0; s < options.streams; ++s) {
        streams.push_back(std::make_unique<Stream>());
        streams.back()->index = s;
        streams.back()->lastProgressMs = NowMs();
        const int pairs = options.pairs / options.streams + (s < options.pairs % options.streams ? 1 : 0);
        threads.emplace_back(RunStream, std::ref(*streams.back()), pairs, options.seed * 1000 + static_cast<uint64_t>(s),
                             std::ref(totals));
    }
    // Watchdog: a pair that makes no progress for a minute is a hang.
    std::atomic<bool> finished{false};
    std::thread watchdog([&] {
        while (!finished) {
            Sleep(200);
            for (const auto& stream : streams) {
                if (stream->pair >= 0 && NowMs() - stream->lastProgressMs > kHangLimitMs) {
                    std::fprintf(stderr, "HANG: stream %d pair %d stuck in phase %d for over %lld s\n",
                                 stream->index, stream->pair.load(), stream->phase.load(),
                                 static_cast<long long>(kHangLimitMs / 1000));
                    std::abort();
                }
            }
        }
    });
    for (std::thread& t : threads) t.join();
    finished = true;
    watchdog.join();

    std::printf("%d pairs in %.0f s\n", options.pairs, MillisecondsSince(started) / 1000.0);
    std::printf("%-12s %6s %6s %12s\n", "state", "aimed", "landed", "max Stop ms");
    for (int s = 0; s < kStateCount; ++s)
        std::printf("%-12s %6d %6d %12.2f\n", kStateNames[s], totals.aimed[s], totals.landed[s], totals.maxStopMs[s]);
    std::printf("Stop() latency over %zu stops: median %.3f ms, p99 %.3f ms, max %.3f ms\n", totals.stopMs.size(),
                Percentile(totals.stopMs, 0.5), Percentile(totals.stopMs, 0.99), Percentile(totals.stopMs, 1.0));
    int failed = static_cast<int>(totals.failures.size());
    for (const std::string& f : totals.failures) std::printf("FAILURE %s\n", f.c_str());
    // Every state must have been hit, or the storm did not test what it claims.
    for (int s = 0; s < kStateCount; ++s) {
        if (options.pairs >= 200 && totals.landed[s] == 0) {
            std::printf("FAILURE no stop landed in the %s state\n", kStateNames[s]);
            ++failed;
        }
    }
    std::printf("storm: %d passed, %d failed\n", options.pairs - std::min(failed, options.pairs), failed);
    return failed == 0 ? 0 : 1;
}
