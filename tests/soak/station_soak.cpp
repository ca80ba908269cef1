// kavro-station-soak: a station of many simulated bays with seeded line
// faults, units swapped when they are done and now and then in the middle of
// their download, until a number of units have finished.
//
// Every passed record must name a unit whose simulator holds the image byte
// for byte (no false pass); every unit plugged in and finished gets exactly
// one record; the run must end before its deadline (no hang) and Stop must
// return promptly. Exits 1 on any failure.
//
//   kavro-station-soak [--bays N] [--units N] [--seed S] [--drop RATE]
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>
#include <thread>
#include <string>
#include <vector>

#include "sim/sim_bays.h"
#include "station/station.h"
#include "tests/support/test_data.h"

namespace {
using Clock = std::chrono::steady_clock;

struct Options {
    int bays = 16;
    int units = 200;
    uint64_t seed = 1;
    double drop = 0.0;  // a dropped reply costs the link's 6 s read time-out
};

bool ParseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string name = argv[i];
        const char* value = argv[i + 1];
        if (name == "--bays") options.bays = std::atoi(value);
        else if (name == "--units") options.units = std::atoi(value);
        else if (name == "--seed") options.seed = std::strtoull(value, nullptr, 10);
        else if (name == "--drop") options.drop = std::atof(value);
        else return false;
    }
    return argc % 2 == 1 && options.bays > 0 && options.bays <= 64 && options.units > 0;
}

class Collector final : public IStationEvents {
public:
    void OnStationEvent(const StationEvent&) override {}
    void Record(UnitRecord record) {
        std::lock_guard lock(m_mutex);
        m_records.push_back(std::move(record));
    }
    std::vector<UnitRecord> Records() const {
        std::lock_guard lock(m_mutex);
        return m_records;
    }
    size_t Count() const {
        std::lock_guard lock(m_mutex);
        return m_records.size();
    }

private:
    mutable std::mutex m_mutex;
    std::vector<UnitRecord> m_records;
};

// Unplugs the units that are done, and now and then one in the middle of
// its download; plugs new ones in.
bool DriveSwaps(CStation& station, SimBays& bays, SimRandom& random, std::string& error) {
    for (int i = 0; i < bays.Count(); ++i) {
        if (!bays.Plugged(i)) continue;
        const BayStatus bay = station.Bay(static_cast<size_t>(i));
        const bool done = bay.state == BayState::WaitingForRemoval;
        const bool midway = bay.state == BayState::Flashing && bay.position > 0 && random.Chance(0.002);
        if ((done || midway) && !bays.Unplug(i, error)) return false;
    }
    return bays.Tick(error);
}

int Check(const std::vector<UnitRecord>& records, const std::string& saveDir, const std::vector<uint8_t>& data,
          const SimBays& bays) {
    int failures = 0;
    std::map<std::string, int> seen;
    std::map<UnitResult, int> results;
    for (const UnitRecord& r : records) {
        ++results[r.result];
        const std::string chip = ChipText(r.device.chipId);
        if (r.result != UnitResult::NoResponse || r.device.chipId[0] | r.device.chipId[1] | r.device.chipId[2] |
                                                        r.device.chipId[3])
            ++seen[chip];
        if (r.result != UnitResult::Passed) continue;
        if (testdata::ReadFile(saveDir + "/unit-" + chip + ".bin") != data) {
            std::printf("FALSE PASS: unit %s on %s holds other bytes than the image\n", chip.c_str(), r.port.c_str());
            ++failures;
        }
    }
    for (const auto& [chip, count] : seen) {
        if (count > 1) {
            std::printf("FAILURE: unit %s has %d records\n", chip.c_str(), count);
            ++failures;
        }
    }
    std::printf("units plugged %zu, records %zu: passed %d, refused %d, no response %d, port failed %d, stopped %d\n",
                bays.Units().size(), records.size(), results[UnitResult::Passed],
                results[UnitResult::RefusedByHardwareRange], results[UnitResult::NoResponse],
                results[UnitResult::PortFailed], results[UnitResult::Stopped]);
    return failures;
}
}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        std::fprintf(stderr, "usage: kavro-station-soak [--bays N] [--units N] [--seed S] [--drop RATE]\n");
        return 2;
    }
    char pattern[] = "/tmp/kavro-station-soak-XXXXXX";
    if (mkdtemp(pattern) == nullptr) return 2;
    const std::string dir = pattern;
    std::filesystem::create_directory(dir + "/save");

    SimBaysOptions simOptions;
    simOptions.bays = options.bays;
    simOptions.linkDir = dir;
    simOptions.saveDir = dir + "/save";
    simOptions.seed = options.seed;
    simOptions.unplugGap = std::chrono::milliseconds(100);
    simOptions.faults.corruptRate = 0.02;
    simOptions.faults.garbageRate = 0.05;
    simOptions.faults.foreignFrames = 0;
    simOptions.faults.dropRate = options.drop;
    int status = 0;
    {
        SimBays bays(simOptions);
        std::string error;
        if (!bays.Start(error)) {
            std::fprintf(stderr, "kavro-station-soak: %s\n", error.c_str());
            return 2;
        }
        FirmwareImage image;
        image.path = "soak pattern";
        image.info.hwLowestMajor = 1;
        image.info.hwHighestMajor = 3;
        image.data = testdata::Pattern(4000, static_cast<uint32_t>(options.seed));
        Collector collector;
        StationConfig config;
        for (int i = 0; i < bays.Count(); ++i) config.bays.push_back({bays.LinkPath(i), false});
        config.recordSink = [&collector](UnitRecord record) { collector.Record(std::move(record)); };
        config.stationName = "soak";
        CStation station(&collector);
        if (!station.Start(config, image, error)) {
            std::fprintf(stderr, "kavro-station-soak: %s\n", error.c_str());
            return 2;
        }
        SimRandom random(options.seed);
        const auto deadline = Clock::now() + std::chrono::seconds(30 + options.units * 3);
        while (collector.Count() < static_cast<size_t>(options.units)) {
            if (Clock::now() > deadline) {
                std::printf("HANG: %zu of %d units finished before the deadline\n", collector.Count(), options.units);
                status = 1;
                break;
            }
            if (!DriveSwaps(station, bays, random, error)) {
                std::fprintf(stderr, "kavro-station-soak: %s\n", error.c_str());
                status = 1;
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        const auto stopping = Clock::now();
        station.Stop();
        const double stopMs = std::chrono::duration<double, std::milli>(Clock::now() - stopping).count();
        if (stopMs > 5000) {
            std::printf("SLOW STOP: %.0f ms\n", stopMs);
            status = 1;
        }
        const StationTotals totals = station.Totals();
        if (Check(collector.Records(), simOptions.saveDir, image.data, bays) > 0) status = 1;
        std::printf("%d bays, yield %.1f %%, %.0f units per hour, stop %.0f ms: %s\n", options.bays,
                    totals.yield * 100.0, totals.unitsPerHour, stopMs, status == 0 ? "ok" : "FAILED");
    }
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
    return status;
}
