// kavro-cli station end to end: the built binary against kavro-sim's bays,
// each a pseudo-terminal behind DIR/bayK, with every unit's record read back
// from the SQLite file.
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "child_process.h"
#include "image/firmware_format.h"
#include "records/record_store.h"
#include "tests/support/sqlite_value.h"
#include "tests/support/test_data.h"

namespace {
namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

const std::string kCli = KAVRO_CLI_EXECUTABLE;
const std::string kSim = KAVRO_SIM_EXECUTABLE;

using testdata::Contains;
using testdata::Count;

using testdata::SqlValue;

std::vector<UnitRecord> ReadRecords(const std::string& path) {
    std::string error;
    std::unique_ptr<IRecordStore> store = OpenRecordStore(path, error);
    std::vector<UnitRecord> records;
    EXPECT_TRUE(store && store->Query(RecordQuery{}, records)) << error;
    return records;
}

struct SimUnit {
    int bay = 0;
    std::string chip;
    uint32_t product = 0;
};

class StationEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/kavro-station-e2e-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        m_dir = pattern;
        fs::create_directory(m_dir + "/save");
        m_data = testdata::Pattern(5000, 21);
        PackRequest request;
        request.name = "STATION E2E";
        request.sw = {1, 2};
        request.hwLowest = {1, 0};
        request.hwHighest = {3, 0};
        Bytes image;
        std::string error;
        ASSERT_TRUE(PackImage(request, m_data, image, error)) << error;
        m_image = m_dir + "/station.fw";
        std::ofstream(m_image, std::ios::binary).write(reinterpret_cast<const char*>(image.data()),
                                                       static_cast<std::streamsize>(image.size()));
        m_records = m_dir + "/records.sqlite";
    }
    void TearDown() override {
        m_sim.reset();
        std::error_code ignored;
        fs::remove_all(m_dir, ignored);
    }

    // Starts kavro-sim with count bays and waits until every bay is linked.
    void StartSim(int count, std::vector<std::string> extra = {}) {
        std::vector<std::string> args = {kSim, "--bays", std::to_string(count), "--link-dir", m_dir,
                                         "--save-dir", m_dir + "/save", "-q"};
        args.insert(args.end(), extra.begin(), extra.end());
        m_sim = std::make_unique<ChildProcess>();
        ASSERT_TRUE(m_sim->Start(args));
        ASSERT_TRUE(m_sim->WaitForOutput([](const std::string& out) { return Contains(out, "Simulated bays:"); }, 10000))
            << m_sim->Err();
    }
    // The units kavro-sim has plugged in so far, from its lines.
    std::vector<SimUnit> SimUnits() {
        m_sim->WaitForOutput([](const std::string&) { return false; }, 50);
        std::vector<SimUnit> units;
        static const std::regex line("Bay (\\d+) on [^:]+: chip ([0-9A-F]{8}), product (\\d+)");
        const std::string out = m_sim->Out();
        for (auto it = std::sregex_iterator(out.begin(), out.end(), line); it != std::sregex_iterator(); ++it)
            units.push_back({std::stoi((*it)[1]), (*it)[2], static_cast<uint32_t>(std::stoul((*it)[3]))});
        return units;
    }
    std::vector<std::string> Station(std::vector<std::string> args, int bays) const {
        std::vector<std::string> all = {kCli, "station", m_image, "--records", m_records};
        for (int i = 0; i < bays; ++i) all.insert(all.end(), {"--bay", Bay(i)});
        all.insert(all.end(), args.begin(), args.end());
        return all;
    }
    std::string Bay(int i) const { return m_dir + "/bay" + std::to_string(i); }
    Bytes Stored(const std::string& chip) const { return testdata::ReadFile(m_dir + "/save/unit-" + chip + ".bin"); }

    std::string m_dir;
    std::string m_image;
    std::string m_records;
    Bytes m_data;
    std::unique_ptr<ChildProcess> m_sim;
};

TEST_F(StationEndToEnd, OnceFlashesFourBaysByteExactAndRecordsEachProductNumber) {
    StartSim(4);
    const RunResult run = RunProgram(Station({"--once", "--timeout", "20"}, 4));
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    const std::vector<SimUnit> units = SimUnits();
    ASSERT_EQ(units.size(), 4u);
    const std::vector<UnitRecord> records = ReadRecords(m_records);
    ASSERT_EQ(records.size(), 4u);
    for (const SimUnit& unit : units) {
        EXPECT_EQ(Stored(unit.chip), m_data) << "bay " << unit.bay;
        EXPECT_TRUE(Contains(run.out, "Bay " + std::to_string(unit.bay) + " " + Bay(unit.bay) + ": passed (chip " +
                                          unit.chip + ", product " + std::to_string(unit.product) + ")"))
            << run.out;
        const auto record = std::find_if(records.begin(), records.end(),
                                         [&](const UnitRecord& r) { return r.port == Bay(unit.bay); });
        ASSERT_NE(record, records.end());
        EXPECT_EQ(record->result, UnitResult::Passed);
        EXPECT_EQ(record->device.productNumber, unit.product);
        EXPECT_EQ(record->imageSource, m_image);
        EXPECT_EQ(record->imageLength, m_data.size());
    }
    EXPECT_TRUE(Contains(run.out, "Passed 4  Failed 0  Yield 100.0 %")) << run.out;
}

TEST_F(StationEndToEnd, MutedBayEndsWithStatusThreeAndANoResponseRecord) {
    StartSim(3, {"--silent-bay", "1"});
    const RunResult run = RunProgram(Station({"--once", "--timeout", "3", "--no-reset"}, 3));
    EXPECT_EQ(run.status, 3) << run.out << run.err;
    const std::vector<UnitRecord> records = ReadRecords(m_records);
    ASSERT_EQ(records.size(), 3u);
    std::map<std::string, UnitResult> results;
    for (const UnitRecord& r : records) results[r.port] = r.result;
    EXPECT_EQ(results[Bay(0)], UnitResult::Passed);
    EXPECT_EQ(results[Bay(1)], UnitResult::NoResponse);
    EXPECT_EQ(results[Bay(2)], UnitResult::Passed);
    EXPECT_TRUE(Contains(run.out, "Bay 1 " + Bay(1) + ": no-response")) << run.out;
}

TEST_F(StationEndToEnd, ContinuousFlashesEachSwappedUnitOnceAndStopsCleanlyOnCtrlC) {
    StartSim(2);
    ChildProcess station;
    ASSERT_TRUE(station.Start(Station({"--json", "--leave-after", "3"}, 2)));
    auto passed = [](size_t n) {
        return [n](const std::string& out) { return Count(out, "\"result\":\"passed\"") >= n; };
    };
    ASSERT_TRUE(station.WaitForOutput(passed(2), 30000)) << station.Out() << station.Err();
    // The test decides when each unit leaves: a request file per bay.
    for (int bay = 0; bay < 2; ++bay) std::ofstream(Bay(bay) + ".swap") << "";
    ASSERT_TRUE(station.WaitForOutput(passed(4), 30000)) << station.Out() << station.Err();
    ASSERT_TRUE(station.WaitForOutput(
        [](const std::string& out) { return Count(out, "\"event\":\"waiting-for-removal\"") >= 4; }, 10000));
    station.Signal(SIGINT);
    ASSERT_TRUE(station.Wait(20000));
    EXPECT_EQ(station.Status(), 130) << station.Err();
    EXPECT_TRUE(Contains(station.Err(), "Interrupted")) << station.Err();

    const std::vector<SimUnit> units = SimUnits();
    ASSERT_EQ(units.size(), 4u);
    const std::vector<UnitRecord> records = ReadRecords(m_records);
    ASSERT_EQ(records.size(), 4u) << "each unit once, and only once";
    std::set<uint32_t> products;
    for (const UnitRecord& r : records) {
        EXPECT_EQ(r.result, UnitResult::Passed);
        products.insert(r.device.productNumber);
    }
    for (const SimUnit& unit : units) {
        EXPECT_EQ(products.count(unit.product), 1u) << unit.chip;
        EXPECT_EQ(Stored(unit.chip), m_data);
    }
    // Every JSON line carries the format, the event, the bay and the time.
    static const std::regex object("\\{\"format\":1,\"event\":\"[a-z-]+\",\"bay\":\\d+,\"port\":\"[^\"]+\",\"time\":"
                                   "\"\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}Z\".*\\}");
    std::istringstream lines(station.Out());
    for (std::string line; std::getline(lines, line);) EXPECT_TRUE(std::regex_match(line, object)) << line;
}

TEST_F(StationEndToEnd, KilledStationLeavesADatabaseWithEveryStoredUnit) {
    StartSim(4, {"--swap-every", "1.5", "--unplug-gap", "100"});
    ChildProcess station;
    ASSERT_TRUE(station.Start(Station({"--json"}, 4)));
    ASSERT_TRUE(station.WaitForOutput(
        [](const std::string& out) { return Count(out, "\"event\":\"record-stored\"") >= 6; }, 40000))
        << station.Out() << station.Err();
    station.Signal(SIGKILL);
    ASSERT_TRUE(station.Wait(10000));
    EXPECT_EQ(SqlValue(m_records, "PRAGMA integrity_check"), "ok");
    std::set<std::string> stored;
    for (const UnitRecord& r : ReadRecords(m_records)) stored.insert(r.id);
    static const std::regex line("\"event\":\"record-stored\".*\"recordId\":\"([0-9a-f]{32})\"");
    const std::string out = station.Out();
    size_t reported = 0;
    for (auto it = std::sregex_iterator(out.begin(), out.end(), line); it != std::sregex_iterator(); ++it) {
        ++reported;
        EXPECT_EQ(stored.count((*it)[1]), 1u) << (*it)[1];
    }
    EXPECT_GE(reported, 6u);
}

TEST_F(StationEndToEnd, BadBaysAndImagesAreRefusedBeforeAnyPortIsTouched) {
    RunResult run = RunProgram({kCli, "station", "--once", "--records", m_records, "--bay", "/dev/null", "--bay",
                                "/dev/null"});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(Contains(run.err, "/dev/null")) << run.err;
    run = RunProgram({kCli, "station", m_dir + "/missing.fw", "--bay", Bay(0), "--records", m_records});
    EXPECT_EQ(run.status, 5);
    EXPECT_TRUE(Contains(run.err, "Nothing was sent")) << run.err;
    run = RunProgram({kCli, "station", "--records", m_records});
    EXPECT_EQ(run.status, 1) << "--bay is required";
}
}  // namespace
