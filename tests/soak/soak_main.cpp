// kavro-soak: downloads of the built-in image to the in-process simulator with
// seeded random faults, through the same link engine as the front ends.
//
// Every run must end either with "Firmware was downloaded successfuly" and the
// simulator holding the image byte for byte, or with "Equipment do not respond
// properly"; a success with other bytes, a run past its deadline (a hang), a
// stop that does not return promptly or a missing notification is a failure.
// Prints one line per run, the count of each outcome and the seeds of the
// failures; exits 1 when any run failed.
//
//   kavro-soak [--runs N] [--seed S] [--jobs J] [--only SEED] [--quiet]
//
// Run i uses the seed S + i; --only repeats one run by its printed seed and
// prints what the device did.
#include <unistd.h>

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

// Waiting for the device's first answer: a device that answers at all
// answers within its first poll cycle (the command line allows 45 s).
constexpr auto kIdentifyLimit = std::chrono::seconds(45);
// A download that has not ended by then counts as a hang. The slowest legal
// run here: a few dropped or refused replies at 6 s each, and a silent device
// costing three attempts of 6 s.
constexpr auto kDownloadLimit = std::chrono::seconds(150);
// Stop() must return promptly whatever the worker was doing.
constexpr double kStopLimitMs = 2000;

struct Options {
    int runs = 200;
    uint64_t seed = 1;
    int jobs = 2;
    bool only = false;
    bool quiet = false;
};

enum class Outcome { Downloaded, NoResponse, Failure };

struct RunResult {
    uint64_t seed = 0;
    Outcome outcome = Outcome::Failure;
    std::string detail;  // what failed, for failures
    std::string faults;  // the faults drawn
    std::string note;    // where a download that got no response stopped
    double seconds = 0;
    double stopMs = 0;
};

// The faults of one run, drawn from its seed. Rates keep a run short: a
// dropped, refused or too-short block reply costs one 6 s read time-out.
SimFaults DrawFaults(uint64_t seed, std::string& text) {
    // Neighbouring run seeds must not give shifted copies of one sequence.
    SimRandom mixer(seed);
    SimRandom r(mixer.Next());
    SimFaults f;
    f.seed = static_cast<uint32_t>(r.Next());
    const uint32_t foreign = r.Below(10);
    f.foreignFrames = foreign < 5 ? 0 : foreign < 7 ? 1 : foreign < 9 ? 2 : 3;
    if (r.Chance(0.3)) {
        static constexpr uint8_t kRefusable[] = {0, CMD_BEGIN_DOWNLOAD, CMD_WRITE_BLOCK, CMD_END_DOWNLOAD,
                                                 CMD_READ_IDENT};
        f.refuseCommand = kRefusable[r.Below(sizeof kRefusable)];
        f.refuseFirst = 1 + static_cast<int>(r.Below(3));
    }
    if (r.Chance(0.6)) f.corruptRate = 0.1 * r.Unit();
    if (r.Chance(0.6)) f.garbageRate = 0.3 * r.Unit();
    if (r.Chance(0.3)) f.dropRate = 0.002 + 0.008 * r.Unit();
    if (r.Chance(0.1)) f.shortAckFirst = 1;
    if (r.Chance(0.15)) f.hangUpAfterBlocks = static_cast<int>(r.Below(193));
    if (r.Chance(0.05)) f.silenceAfterBlocks = static_cast<int>(r.Below(193));

    char buffer[256];
    std::snprintf(buffer, sizeof buffer,
                  "foreign=%d refuse=%d@%02X corrupt=%.3f garbage=%.3f drop=%.4f shortAck=%d hangUpAfter=%d "
                  "silenceAfter=%d",
                  f.foreignFrames, f.refuseFirst, f.refuseCommand, f.corruptRate, f.garbageRate, f.dropRate,
                  f.shortAckFirst, f.hangUpAfterBlocks, f.silenceAfterBlocks);
    text = buffer;
    return f;
}

RunResult RunOnce(uint64_t seed, const std::vector<uint8_t>& image, bool verbose) {
    RunResult result;
    result.seed = seed;
    const SoakClock::time_point started = SoakClock::now();
    const SimFaults faults = DrawFaults(seed, result.faults);
    auto fail = [&](const std::string& why) {
        result.outcome = Outcome::Failure;
        result.detail = why;
    };

    DeviceSimulator sim;
    std::string error;
    if (!sim.CreatePty(error)) {
        fail("cannot create the simulator's line: " + error);
        return result;
    }
    sim.SetFaults(faults);
    if (verbose) {
        const SoakClock::time_point t0 = SoakClock::now();
        sim.SetLogger([t0](bool error, const std::string& text) {
            std::printf("  %9.3f ms  device: %s%s\n", MillisecondsSince(t0), error ? "error: " : "", text.c_str());
        });
    }
    if (!sim.Start()) {
        fail("cannot start the simulator");
        return result;
    }

    NoteRecorder notes;
    // The link is declared after the recorder, so it is stopped before the
    // recorder goes away.
    auto link = std::make_unique<CDeviceLink>();
    if (!link->LoadBuiltInImage()) {
        fail("the built-in image does not load");
        return result;
    }
    link->m_notifyWindow = &notes;
    link->m_progressWindow = &notes;
    link->SetPortName(sim.PortPath().c_str());
    link->Start();
    if (!link->m_running || notes.Count(LN_PORT_FAILED) != 0) {
        fail("the port did not open");
        return result;
    }

    bool downloaded = false;
    if (!notes.WaitForAny({LN_INFO_CHANGED}, SoakClock::now() + kIdentifyLimit)) {
        // Never identified: the command line reports this as no response.
        result.outcome = Outcome::NoResponse;
        result.note = "no device data";
    } else {
        link->RequestDownload();
        // The attempt is over when the worker clears the request; everything it
        // posts about the attempt comes before that.
        const SoakClock::time_point deadline = SoakClock::now() + kDownloadLimit;
        while (link->m_downloadRequested) {
            if (SoakClock::now() >= deadline) {
                fail("hang: the download did not end within " + std::to_string(kDownloadLimit.count()) +
                     " s (acknowledged " + std::to_string(notes.Position()) + " bytes)");
                break;
            }
            notes.WaitForAny({LN_DOWNLOAD_DONE, LN_NO_RESPONSE}, SoakClock::now() + std::chrono::milliseconds(20));
        }
        if (result.detail.empty()) {
            const bool done = notes.Count(LN_DOWNLOAD_DONE) > 0;
            const bool noResponse = notes.Count(LN_NO_RESPONSE) > 0;
            if (done && !noResponse) {
                downloaded = true;
                result.outcome = Outcome::Downloaded;
            } else if (noResponse) {
                result.outcome = Outcome::NoResponse;
                result.note = done ? "end not confirmed" : "stopped after " + std::to_string(notes.Position()) +
                                                               " of " + std::to_string(image.size()) + " bytes";
            } else {
                fail("the download ended without a notification");
            }
        }
    }

    const SoakClock::time_point stopAt = SoakClock::now();
    link->Stop();
    result.stopMs = MillisecondsSince(stopAt);
    if (result.detail.empty() && result.stopMs > kStopLimitMs)
        fail("Stop() took " + std::to_string(result.stopMs) + " ms");
    if (result.detail.empty() && link->m_port.IsOpen()) fail("the port is still open after Stop()");
    if (result.detail.empty() && notes.Count(LN_LINK_ENDED) != 1) fail("LN_LINK_ENDED was not posted once");

    if (downloaded && result.detail.empty()) {
        // The link took the end as acknowledged. The simulator may still be
        // working through requests the link wrote before it (answers can run
        // late under these faults), so give it a moment to take them all; then
        // its image must be ours, byte for byte.
        const SoakClock::time_point settle = SoakClock::now() + std::chrono::seconds(5);
        while (sim.EndCount() == 0 && SoakClock::now() < settle)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        const std::vector<uint8_t> received = sim.Image();
        if (received != image) {
            size_t at = 0;
            while (at < received.size() && at < image.size() && received[at] == image[at]) ++at;
            fail("SUCCESS WITH DIFFERENT BYTES: the simulator holds " + std::to_string(received.size()) +
                 " bytes, the first difference at offset " + std::to_string(at));
        } else if (sim.EndCount() == 0) {
            fail("success reported but the simulator carried out no end request");
        }
    }
    link.reset();
    sim.Stop();
    result.seconds = MillisecondsSince(started) / 1000.0;
    return result;
}

bool ParseOptions(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&](uint64_t& out) {
            if (i + 1 >= argc) return false;
            char* end = nullptr;
            out = std::strtoull(argv[++i], &end, 0);
            return end != nullptr && *end == '\0';
        };
        uint64_t v = 0;
        if (a == "--runs" && value(v) && v > 0) {
            o.runs = static_cast<int>(v);
        } else if (a == "--seed" && value(v)) {
            o.seed = v;
        } else if (a == "--jobs" && value(v) && v > 0 && v <= 64) {
            o.jobs = static_cast<int>(v);
        } else if (a == "--only" && value(v)) {
            o.only = true;
            o.seed = v;
            o.runs = 1;
        } else if (a == "--quiet") {
            o.quiet = true;
        } else {
            std::fprintf(stderr, "usage: kavro-soak [--runs N] [--seed S] [--jobs J] [--only SEED] [--quiet]\n");
            return false;
        }
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!ParseOptions(argc, argv, options)) return 2;

    std::vector<uint8_t> image;
    {
        CDeviceLink probe;
        if (!probe.LoadBuiltInImage()) {
            std::fprintf(stderr, "the built-in image does not load\n");
            return 2;
        }
        image.assign(probe.m_data.get(), probe.m_data.get() + probe.m_length);
    }
    const std::string doneText = SystemText(IDS_DOWNLOAD_DONE);
    const std::string noResponseText = SystemText(IDS_NO_RESPONSE);
    std::printf("kavro-soak: %d runs from seed %" PRIu64 ", %d at a time, image of %zu bytes\n", options.runs,
                options.seed, options.jobs, image.size());
    std::fflush(stdout);

    std::mutex printLock;
    std::vector<RunResult> results(static_cast<size_t>(options.runs));
    std::atomic<int> next{0};
    auto worker = [&] {
        for (;;) {
            const int i = next.fetch_add(1);
            if (i >= options.runs) return;
            RunResult r = RunOnce(options.seed + static_cast<uint64_t>(i), image, options.only);
            std::lock_guard<std::mutex> lock(printLock);
            if (!options.quiet || r.outcome == Outcome::Failure) {
                const char* text = r.outcome == Outcome::Downloaded   ? doneText.c_str()
                                   : r.outcome == Outcome::NoResponse ? noResponseText.c_str()
                                                                      : "FAILURE";
                std::printf("run %4d seed %-6" PRIu64 " %6.1f s  stop %6.1f ms  %-36s [%s] %s\n", i, r.seed,
                            r.seconds, r.stopMs, text, r.faults.c_str(),
                            r.detail.empty() ? r.note.c_str() : r.detail.c_str());
                std::fflush(stdout);
            }
            results[static_cast<size_t>(i)] = std::move(r);
        }
    };
    const SoakClock::time_point started = SoakClock::now();
    std::vector<std::thread> threads;
    for (int j = 0; j < options.jobs; ++j) threads.emplace_back(worker);
    for (std::thread& t : threads) t.join();

    int downloaded = 0, noResponse = 0, failures = 0;
    double maxStop = 0;
    std::vector<uint64_t> failed;
    for (const RunResult& r : results) {
        maxStop = std::max(maxStop, r.stopMs);
        if (r.outcome == Outcome::Downloaded) ++downloaded;
        if (r.outcome == Outcome::NoResponse) ++noResponse;
        if (r.outcome == Outcome::Failure) {
            ++failures;
            failed.push_back(r.seed);
        }
    }
    std::printf("\n%d runs in %.0f s: \"%s\" %d, \"%s\" %d, failures %d; longest Stop() %.1f ms\n", options.runs,
                MillisecondsSince(started) / 1000.0, doneText.c_str(), downloaded, noResponseText.c_str(),
                noResponse, failures, maxStop);
    if (!failed.empty()) {
        std::printf("failed seeds (repeat one with --only SEED):");
        for (uint64_t s : failed) std::printf(" %" PRIu64, s);
        std::printf("\n");
    }
    // Closing line in the form test runners read.
    std::printf("soak: %d passed, %d failed\n", options.runs - failures, failures);
    return failures == 0 ? 0 : 1;
}
