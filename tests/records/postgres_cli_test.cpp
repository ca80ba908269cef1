// kavro-cli recording to a line's server: stations (each a kavro-cli with its
// own local file) downloading into simulated devices at once, a server that
// refuses the login, and records --summary per station.
#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "sim/device_simulator.h"
#include "tests/e2e/child_process.h"
#include "tests/support/test_data.h"
#include "tests/records/postgres_line.h"
#include "tests/records/record_samples.h"

using namespace recordtest;

namespace {

const std::string kCli = KAVRO_CLI_EXECUTABLE;
const std::string kSim = KAVRO_SIM_EXECUTABLE;

using testdata::Contains;
using testdata::Count;

// kavro-sim serving count bays behind folder/bay0 ... bayN-1, each unit with
// its own chip ID and product number.
std::unique_ptr<ChildProcess> StartBays(const std::string& folder, int count, int seed) {
    std::filesystem::create_directories(folder);
    auto sim = std::make_unique<ChildProcess>();
    EXPECT_TRUE(sim->Start({kSim, "--bays", std::to_string(count), "--link-dir", folder, "--seed",
                            std::to_string(seed), "-q"}));
    EXPECT_TRUE(sim->WaitForOutput([](const std::string& out) { return Contains(out, "Simulated bays:"); }, 10000))
        << sim->Err();
    return sim;
}

// A station over count bays of folder, recording to the line's server
// through its own data folder.
std::vector<std::string> StationArgs(const std::string& dataHome, const std::string& folder, int count,
                                     const std::string& name, std::vector<std::string> extra) {
    std::vector<std::string> args = {"/usr/bin/env", "XDG_DATA_HOME=" + dataHome, kCli, "station", "--records",
                                     StationUri(), "--station-name", name};
    for (int i = 0; i < count; ++i) args.insert(args.end(), {"--bay", folder + "/bay" + std::to_string(i)});
    args.insert(args.end(), extra.begin(), extra.end());
    return args;
}

class CliOnLineServer : public ::testing::Test {
protected:
    void SetUp() override {
        if (!SkipReason().empty()) GTEST_SKIP() << SkipReason();
        ASSERT_NE(LineCluster(), nullptr);
        LineSql("TRUNCATE unit_records");
    }

    // kavro-cli with its own data folder, as on its own station.
    RunResult Cli(const std::string& dataHome, std::vector<std::string> args) const {
        args.insert(args.begin(), {"/usr/bin/env", "XDG_DATA_HOME=" + dataHome, kCli});
        return RunProgram(args, 60000);
    }

    TempDir dir;
};

}  // namespace

// Two stations download three units each at the same time; the server holds
// all six, each once, and sums them up per station.
TEST_F(CliOnLineServer, TwoStationsDownloadingAtOnceRecordEveryUnitOnceOnTheServer) {
    DeviceSimulator sims[2];
    for (int i = 0; i < 2; ++i) {
        std::string error;
        ASSERT_TRUE(sims[i].CreatePty(error)) << error;
        SimIdentity identity;
        identity.productNumber = 1000u + static_cast<uint32_t>(i);
        sims[i].SetIdentity(identity);
        ASSERT_TRUE(sims[i].Start());
    }
    std::vector<RunResult> results[2];
    std::vector<std::thread> stations;
    for (int i = 0; i < 2; ++i)
        stations.emplace_back([&, i] {
            for (int unit = 0; unit < 3; ++unit)
                results[i].push_back(Cli(dir.File("station" + std::to_string(i)),
                                         {"download", "--port", sims[i].PortPath(), "--records", StationUri(),
                                          "--station-name", "st-" + std::string(1, static_cast<char>('A' + i))}));
        });
    for (std::thread& t : stations) t.join();
    for (const auto& list : results)
        for (const RunResult& r : list) {
            EXPECT_EQ(r.status, 0) << r.err;
            EXPECT_TRUE(Contains(r.out, "Recorded as ")) << r.out;
            EXPECT_TRUE(Contains(r.out, "127.0.0.1:" + std::to_string(LineCluster()->Port()))) << r.out;
            EXPECT_FALSE(Contains(r.out + r.err, kStationPassword));
        }
    EXPECT_EQ(LineCount(), 6);
    EXPECT_EQ(LineSql("SELECT count(DISTINCT id) FROM unit_records"), "6");
    EXPECT_EQ(LineCount("station = 'st-A' AND product_number = 1000"), 3);
    EXPECT_EQ(LineCount("station = 'st-B' AND product_number = 1001"), 3);

    const RunResult summary = Cli(dir.File("office"), {"records", "--records", ReaderUri(), "--summary", "--csv"});
    EXPECT_EQ(summary.status, 0) << summary.err;
    EXPECT_TRUE(Contains(summary.out, "total,,6,6,0,0,100.0\n")) << summary.out;
    EXPECT_TRUE(Contains(summary.out, "station,st-A,3,3,0,0,100.0\n")) << summary.out;
    EXPECT_TRUE(Contains(summary.out, "station,st-B,3,3,0,0,100.0\n")) << summary.out;
}

// A refused login: the download itself goes on, the record stays in the
// station's file, the command fails naming the server (never the password);
// the next run that reaches the server brings the waiting record along.
TEST_F(CliOnLineServer, ARefusedLoginKeepsTheRecordLocallyUntilTheNextRunForwardsIt) {
    DeviceSimulator sim;
    std::string error;
    ASSERT_TRUE(sim.CreatePty(error)) << error;
    ASSERT_TRUE(sim.Start());
    const std::string station = dir.File("station");
    const std::string wrong = LineCluster()->Uri("kavro_station", "Wrong-Secret-1234", kLineDatabase);
    const RunResult refused = Cli(station, {"download", "--port", sim.PortPath(), "--records", wrong});
    EXPECT_EQ(refused.status, 6) << refused.err;
    EXPECT_TRUE(Contains(refused.out, "Firmware was downloaded successfuly")) << refused.out;
    const std::string server = "127.0.0.1:" + std::to_string(LineCluster()->Port()) + ", database kavro_line";
    EXPECT_TRUE(Contains(refused.err, server)) << refused.err;
    EXPECT_TRUE(Contains(refused.err, "password authentication failed")) << refused.err;
    EXPECT_TRUE(Contains(refused.err, station + "/kavro/records.sqlite")) << refused.err;
    EXPECT_FALSE(Contains(refused.out + refused.err, "Secret"));
    EXPECT_EQ(LineCount(), 0);

    const RunResult local = Cli(station, {"records", "--json"});
    EXPECT_EQ(local.status, 0) << local.err;
    EXPECT_TRUE(Contains(local.out, "\"result\":\"passed\"")) << local.out;

    const RunResult read = Cli(station, {"records", "--records", wrong});
    EXPECT_EQ(read.status, 6);
    EXPECT_TRUE(Contains(read.err, server)) << read.err;
    EXPECT_FALSE(Contains(read.err, "Secret"));

    const RunResult next = Cli(station, {"download", "--port", sim.PortPath(), "--records", StationUri()});
    EXPECT_EQ(next.status, 0) << next.err;
    EXPECT_EQ(LineCount(), 2);
}

// Two stations with three simulated bays each flash at the same time, each
// recording through its own local file to the one server: every unit there once.
TEST_F(CliOnLineServer, TwoStationsWithSimulatedBaysRecordEveryUnitOnceOnOneServer) {
    std::unique_ptr<ChildProcess> bays[2] = {StartBays(dir.File("bays-a"), 3, 11), StartBays(dir.File("bays-b"), 3, 22)};
    ChildProcess stations[2];
    for (int i = 0; i < 2; ++i)
        ASSERT_TRUE(stations[i].Start(StationArgs(dir.File("data-" + std::to_string(i)),
                                                  dir.File(i == 0 ? "bays-a" : "bays-b"), 3,
                                                  i == 0 ? "line1-st1" : "line1-st2", {"--once", "--timeout", "20"})));
    for (ChildProcess& station : stations) {
        ASSERT_TRUE(station.Wait(60000));
        EXPECT_EQ(station.Status(), 0) << station.Out() << station.Err();
        EXPECT_FALSE(Contains(station.Out() + station.Err(), kStationPassword));
    }
    EXPECT_EQ(LineCount(), 6);
    EXPECT_EQ(LineSql("SELECT count(DISTINCT id) FROM unit_records"), "6");
    EXPECT_EQ(LineSql("SELECT count(DISTINCT chip_id) FROM unit_records"), "6") << "six different units";
    EXPECT_EQ(LineCount("station = 'line1-st1' AND result = 'passed'"), 3);
    EXPECT_EQ(LineCount("station = 'line1-st2' AND result = 'passed'"), 3);
}

// The server stops while a station runs and starts again later: the station
// flashes on (units swapped in while the server is down pass), says when the
// server goes away and when it is back (in text and as JSON events), and
// every unit reaches the server exactly once.
TEST_F(CliOnLineServer, AStationFlashesOnWhileItsServerIsDownAndForwardsEveryUnitOnce) {
    const std::string folder = dir.File("bays");
    std::unique_ptr<ChildProcess> sim = StartBays(folder, 2, 33);
    ChildProcess station;
    ASSERT_TRUE(station.Start(StationArgs(dir.File("data"), folder, 2, "line2-st1", {"--json", "--leave-after", "3"})));
    const auto passed = [](size_t n) {
        return [n](const std::string& out) { return Count(out, "\"result\":\"passed\"") >= n; };
    };
    const auto swap = [&] {
        for (int bay = 0; bay < 2; ++bay) std::ofstream(folder + "/bay" + std::to_string(bay) + ".swap") << "";
    };
    ASSERT_TRUE(station.WaitForOutput(passed(2), 30000)) << station.Out() << station.Err();
    ASSERT_TRUE(WaitForLineCount(2));
    ASSERT_TRUE(LineCluster()->Stop());
    swap();
    ASSERT_TRUE(station.WaitForOutput(passed(4), 30000)) << station.Out() << station.Err();
    std::string error;
    ASSERT_TRUE(LineCluster()->Start(error)) << error;
    swap();
    ASSERT_TRUE(station.WaitForOutput(passed(6), 30000)) << station.Out() << station.Err();
    ASSERT_TRUE(WaitForLineCount(6, 40000)) << LineCount();
    station.Signal(SIGINT);
    ASSERT_TRUE(station.Wait(20000));
    EXPECT_EQ(station.Status(), 130) << station.Err();
    EXPECT_TRUE(Contains(station.Err(), "127.0.0.1:" + std::to_string(LineCluster()->Port()))) << station.Err();
    EXPECT_TRUE(Contains(station.Err(), "Records wait locally: ")) << station.Err();
    EXPECT_TRUE(Contains(station.Err(), "Records reach the server again: ")) << station.Err();
    EXPECT_EQ(Count(station.Out(), "{\"format\":1,\"event\":\"server-away\""), 1u) << station.Out();
    EXPECT_EQ(Count(station.Out(), "{\"format\":1,\"event\":\"server-back\""), 1u) << station.Out();
    EXPECT_FALSE(Contains(station.Out() + station.Err(), kStationPassword));
    EXPECT_EQ(LineCount(), 6);
    EXPECT_EQ(LineSql("SELECT count(DISTINCT id) FROM unit_records"), "6");
    EXPECT_EQ(LineSql("SELECT count(DISTINCT chip_id) FROM unit_records"), "6");
}

// One work order of six shared by two stations of three bays each, units
// swapped in faster than the order needs them: each station reserves a
// unit's place on the server before it flashes it, so together they pass
// exactly six, never seven, run after run.
TEST_F(CliOnLineServer, TwoStationsSharingAnOrderOfSixPassExactlySix) {
    for (int run = 0; run < 3; ++run) {
        const std::string order = "WO-SHARED-" + std::to_string(run);
        std::unique_ptr<ChildProcess> sims[2];
        ChildProcess stations[2];
        for (int i = 0; i < 2; ++i) {
            const std::string folder = dir.File("order-bays-" + std::to_string(run) + "-" + std::to_string(i));
            std::filesystem::create_directories(folder);
            sims[i] = std::make_unique<ChildProcess>();
            ASSERT_TRUE(sims[i]->Start({kSim, "--bays", "3", "--link-dir", folder, "--seed", std::to_string(40 + run * 2 + i),
                                        "--swap-every", "3", "--unplug-gap", "100", "-q"}));
            ASSERT_TRUE(sims[i]->WaitForOutput([](const std::string& out) { return Contains(out, "Simulated bays:"); },
                                               10000));
            ASSERT_TRUE(stations[i].Start(StationArgs(dir.File("order-data-" + std::to_string(i)), folder, 3,
                                                      "order-st" + std::to_string(i),
                                                      {"--order", order, "--quantity", "6", "--json"})));
        }
        for (ChildProcess& station : stations) {
            ASSERT_TRUE(station.Wait(90000)) << station.Out() << station.Err();
            EXPECT_EQ(station.Status(), 0) << station.Out() << station.Err();
            EXPECT_TRUE(Contains(station.Out(), "\"event\":\"order-complete\"")) << station.Out();
        }
        EXPECT_EQ(LineCount("order_id = '" + order + "' AND result = 'passed'"), 6) << order;
        EXPECT_EQ(LineSql("SELECT count(*) FROM order_claims WHERE order_id = '" + order + "' AND passed = 1"), "6");
    }
}
