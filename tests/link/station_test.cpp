// The station core against simulated bays on pseudo-terminals: many units at
// once, each recorded; units swapped, muted, refused and stopped mid-way.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "link/device_link.h"
#include "records/passed_lookup.h"
#include "records/record_writer.h"
#include "sim/sim_bays.h"
#include "station/station.h"
#include "tests/support/test_data.h"
#include "web/station_web_server.h"
#include "web/web_api.h"

namespace {
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Records and events as the station hands them over, with waits on both.
class Recorder final : public IStationEvents {
public:
    void OnStationEvent(const StationEvent& event) override {
        {
            std::lock_guard lock(m_mutex);
            m_events.push_back(event);
        }
        m_changed.notify_all();
    }
    void Record(UnitRecord record) {
        {
            std::lock_guard lock(m_mutex);
            m_records.push_back(std::move(record));
        }
        m_changed.notify_all();
    }
    std::vector<UnitRecord> Records() const {
        std::lock_guard lock(m_mutex);
        return m_records;
    }
    std::vector<StationEvent> Events() const {
        std::lock_guard lock(m_mutex);
        return m_events;
    }
    size_t CountEvents(StationEventKind kind, size_t bay) const {
        std::lock_guard lock(m_mutex);
        return static_cast<size_t>(std::count_if(m_events.begin(), m_events.end(), [&](const StationEvent& e) {
            return e.kind == kind && e.bay == bay;
        }));
    }
    bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds limit = 30s) {
        std::unique_lock lock(m_mutex);
        const auto deadline = Clock::now() + limit;
        while (true) {
            lock.unlock();
            if (done()) return true;
            lock.lock();
            if (m_changed.wait_until(lock, std::min(deadline, Clock::now() + 100ms)) == std::cv_status::timeout &&
                Clock::now() >= deadline)
                break;
        }
        lock.unlock();
        return done();
    }
    size_t CountRecords(const std::string& port, UnitResult result) const {
        std::lock_guard lock(m_mutex);
        return static_cast<size_t>(std::count_if(m_records.begin(), m_records.end(), [&](const UnitRecord& r) {
            return r.port == port && r.result == result;
        }));
    }

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<StationEvent> m_events;
    std::vector<UnitRecord> m_records;
};

class StationTest : public ::testing::Test {
protected:
    void SetUp() override {
        // A long folder name: the bays' links are longer than the 31
        // characters a link keeps, as /dev/serial/by-path/... names are.
        char pattern[] = "/tmp/kavro-station-test-with-a-long-fixture-name-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_dir = pattern;
        m_image.path = "test pattern";
        m_image.info.name.Assign("Station test image");
        m_image.info.swMajor = 3;
        m_image.info.hwLowestMajor = 1;
        m_image.info.hwHighestMajor = 3;
        m_image.data = testdata::Pattern(3000, 11);
        for (uint8_t b : m_image.data) m_image.checksum = static_cast<uint16_t>(m_image.checksum + b);
    }
    void TearDown() override {
        m_station.reset();
        m_bays.reset();
        std::error_code ignored;
        std::filesystem::remove_all(m_dir, ignored);
    }

    SimBaysOptions BayOptions(int count) const {
        SimBaysOptions options;
        options.bays = count;
        options.linkDir = m_dir;
        options.seed = 42;
        options.unplugGap = 300ms;
        return options;
    }
    void StartBays(const SimBaysOptions& options) {
        m_bays = std::make_unique<SimBays>(options);
        std::string error;
        ASSERT_TRUE(m_bays->Start(error)) << error;
    }
    StationConfig Config(bool once) {
        StationConfig config;
        for (int i = 0; i < m_bays->Count(); ++i) config.bays.push_back({m_bays->LinkPath(i), false});
        config.once = once;
        config.unitTimeout = 20s;
        config.leaveQuiet = 3s;
        config.stationName = "test-station";
        config.recordSink = [this](UnitRecord record) { m_recorder.Record(std::move(record)); };
        return config;
    }
    void StartStation(const StationConfig& config) {
        m_station = std::make_unique<CStation>(&m_recorder);
        std::string error;
        ASSERT_TRUE(m_station->Start(config, m_image, error)) << error;
    }
    bool WaitForPassed(size_t bay, uint32_t count) {
        return m_recorder.WaitFor([&] { return m_station->Bay(bay).passed >= count; });
    }

    std::string m_dir;
    FirmwareImage m_image;
    Recorder m_recorder;
    std::unique_ptr<SimBays> m_bays;
    std::unique_ptr<CStation> m_station;
};

TEST_F(StationTest, OnceFlashesEveryBayByteExactAndRecordsEachUnit) {
    SimBaysOptions options = BayOptions(4);
    options.cpus = 2;
    StartBays(options);
    StationConfig config = Config(true);
    config.bays[3].secondCpu = true;
    StartStation(config);
    ASSERT_TRUE(m_recorder.WaitFor([&] { return m_station->Finished(); }));
    const std::vector<UnitRecord> records = m_recorder.Records();
    ASSERT_EQ(records.size(), 4u);
    for (int i = 0; i < 4; ++i) {
        const std::string port = m_bays->LinkPath(i);
        auto record = std::find_if(records.begin(), records.end(), [&](const UnitRecord& r) { return r.port == port; });
        ASSERT_NE(record, records.end()) << port;
        EXPECT_EQ(record->result, UnitResult::Passed) << record->message;
        // The second CPU identifies itself with a chip ID of its own.
        const int cpu = i == 3 ? 1 : 0;
        EXPECT_EQ(record->device.productNumber, m_bays->Unit(i).productNumber);
        EXPECT_EQ(std::memcmp(record->device.chipId, m_bays->Unit(i, cpu).chip, 4), 0);
        EXPECT_EQ(record->station, "test-station");
        EXPECT_EQ(record->secondCpu, i == 3);
        EXPECT_EQ(record->imageLength, m_image.data.size());
        EXPECT_EQ(record->imageChecksum, m_image.checksum);
        EXPECT_EQ(record->id.size(), 32u);
        EXPECT_LE(record->startedUtcMs, record->endedUtcMs);
        EXPECT_EQ(m_bays->Device(i)->Image(cpu), m_image.data) << "bay " << i;
        EXPECT_TRUE(m_bays->Device(i)->Image(1 - cpu).empty()) << "the other CPU is left alone";
        EXPECT_EQ(m_bays->Device(i)->CountRequests(CMD_RUN), 1u) << "reset after the download";
    }
    // The second CPU's codes reach only the bay that asked for them.
    EXPECT_GT(m_bays->Device(3)->CountRequests(CMD_WRITE_BLOCK_SECOND), 0u);
    EXPECT_EQ(m_bays->Device(0)->CountRequests(CMD_WRITE_BLOCK_SECOND), 0u);
    const StationTotals totals = m_station->Totals();
    EXPECT_EQ(totals.passed, 4u);
    EXPECT_EQ(totals.failed, 0u);
    EXPECT_DOUBLE_EQ(totals.yield, 1.0);
    EXPECT_GT(totals.unitsPerHour, 0.0);
    for (size_t i = 0; i < 4; ++i) EXPECT_EQ(m_station->Bay(i).state, BayState::Done);
}

// Each bay holds its conversation on its one thread: eight bays cost eight
// threads, and the station's port watch one more.
TEST_F(StationTest, EightBaysRunOnOneThreadEach) {
    const auto threads = [] {
        return std::distance(std::filesystem::directory_iterator("/proc/self/task"),
                             std::filesystem::directory_iterator{});
    };
    StartBays(BayOptions(8));
    const auto before = threads();
    StartStation(Config(true));
    EXPECT_LE(threads() - before, 9);
    ASSERT_TRUE(m_recorder.WaitFor([&] { return m_station->Finished(); }));
    EXPECT_EQ(m_station->Totals().passed, 8u);
}

TEST_F(StationTest, MutedBayIsRecordedAsNoResponseWhileTheOthersPass) {
    SimBaysOptions options = BayOptions(3);
    options.silentBays = {1};
    StartBays(options);
    StationConfig config = Config(true);
    config.unitTimeout = 3s;
    config.reset = false;
    StartStation(config);
    ASSERT_TRUE(m_recorder.WaitFor([&] { return m_station->Finished(); }));
    EXPECT_EQ(m_recorder.CountRecords(m_bays->LinkPath(0), UnitResult::Passed), 1u);
    EXPECT_EQ(m_recorder.CountRecords(m_bays->LinkPath(2), UnitResult::Passed), 1u);
    EXPECT_EQ(m_recorder.CountRecords(m_bays->LinkPath(1), UnitResult::NoResponse), 1u);
    EXPECT_EQ(m_bays->Device(0)->CountRequests(CMD_RUN), 0u) << "no reset was asked for";
    const BayStatus muted = m_station->Bay(1);
    EXPECT_NE(muted.lastMessage.find("Equipment do not respond properly"), std::string::npos) << muted.lastMessage;
    EXPECT_EQ(m_station->Totals().failed, 1u);
}

TEST_F(StationTest, ContinuousFlashesEachSwappedUnitOnceAndOnlyOnce) {
    StartBays(BayOptions(2));
    StartStation(Config(false));
    std::set<std::string> chips;
    for (uint32_t round = 1; round <= 2; ++round) {
        ASSERT_TRUE(WaitForPassed(0, round) && WaitForPassed(1, round)) << "round " << round;
        // The unit stays: the bay keeps watching it without flashing it again.
        for (int bay = 0; bay < 2; ++bay) {
            DeviceSimulator* device = m_bays->Device(bay);
            const size_t polls = device->CountRequests(CMD_READ_IDENT);
            ASSERT_TRUE(device->WaitForRequests(CMD_READ_IDENT, polls + 1, 20000));
            EXPECT_EQ(device->EndCount(), 1u);
            EXPECT_EQ(device->Image(), m_image.data);
            std::string error;
            ASSERT_TRUE(m_bays->Unplug(bay, error)) << error;
        }
        ASSERT_TRUE(m_recorder.WaitFor([&] {
            std::string error;
            return m_bays->Tick(error) && m_bays->Plugged(0) && m_bays->Plugged(1);
        }));
    }
    ASSERT_TRUE(WaitForPassed(0, 3) && WaitForPassed(1, 3));
    m_station->Stop();
    const std::vector<UnitRecord> records = m_recorder.Records();
    for (const UnitRecord& r : records) {
        EXPECT_EQ(r.result, UnitResult::Passed) << r.message;
        EXPECT_TRUE(chips.insert(std::string(reinterpret_cast<const char*>(r.device.chipId), 4)).second)
            << "a unit was flashed twice";
    }
    EXPECT_EQ(records.size(), 6u);
    EXPECT_EQ(m_bays->Units().size(), 6u);
    EXPECT_EQ(m_recorder.CountEvents(StationEventKind::UnitRemoved, 0), 2u);
    EXPECT_EQ(m_recorder.CountEvents(StationEventKind::PortFailed, 0), 0u) << "an unplugged bay is waited for";
}

// A passed unit that drops replies is still the same unit: silence alone is
// no removal. Another chip answering, or its port going, is.
TEST_F(StationTest, PassedUnitOnAFixedPortIsFlashedAgainOnlyAfterAnotherChipOrItsPortGoing) {
    StartBays(BayOptions(1));
    StartStation(Config(false));
    ASSERT_TRUE(WaitForPassed(0, 1));
    DeviceSimulator* device = m_bays->Device(0);
    SimFaults faults = device->Faults();
    faults.silent = true;
    device->SetFaults(faults);
    // Polled unanswered for longer than leaveQuiet (3 s), then answering again.
    const auto silentFrom = Clock::now();
    const size_t asked = device->CountRequests(CMD_READ_HWINFO);
    ASSERT_TRUE(m_recorder.WaitFor(
        [&] { return Clock::now() - silentFrom > 5s && device->CountRequests(CMD_READ_HWINFO) > asked + 1; }));
    faults.silent = false;
    device->SetFaults(faults);
    const size_t answered = device->CountRequests(CMD_READ_IDENT);
    ASSERT_TRUE(device->WaitForRequests(CMD_READ_IDENT, answered + 2, 20000)) << "it answers in full again";
    EXPECT_EQ(device->EndCount(), 1u);
    EXPECT_EQ(m_recorder.CountEvents(StationEventKind::UnitRemoved, 0), 0u);
    EXPECT_EQ(m_station->Bay(0).passed, 1u);

    // Another chip in the same fixture.
    SimIdentity identity = device->Identity();
    const SimIdentity first = identity;
    identity.chip[3] ^= 0x5a;
    device->SetIdentity(identity);
    ASSERT_TRUE(WaitForPassed(0, 2));
    EXPECT_EQ(device->EndCount(), 2u);
    EXPECT_EQ(m_recorder.CountEvents(StationEventKind::UnitRemoved, 0), 1u);

    // The port goes and comes back with the first chip: a new turn.
    std::string error;
    ASSERT_TRUE(m_bays->Unplug(0, error)) << error;
    ASSERT_TRUE(m_recorder.WaitFor([&] { return m_bays->Tick(error) && m_bays->Plugged(0); })) << error;
    m_bays->Device(0)->SetIdentity(first);
    ASSERT_TRUE(WaitForPassed(0, 3));
    EXPECT_EQ(m_bays->Device(0)->EndCount(), 1u);
    const std::vector<UnitRecord> records = m_recorder.Records();
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(std::memcmp(records[2].device.chipId, first.chip, 4), 0);
}

// After a restart, a unit whose chip passed with this image before (its record
// in a real file) is shown as passed and not flashed; a new unit is.
TEST_F(StationTest, UnitThatPassedBeforeARestartIsShownAsPassedNotFlashed) {
    const std::string path = m_dir + "/records.sqlite";
    StartBays(BayOptions(2));
    {
        std::string error;
        std::unique_ptr<IRecordStore> store = OpenRecordStore(path, error);
        ASSERT_TRUE(store) << error;
        CRecordWriter writer(std::move(store));
        StationConfig config = Config(true);
        RecordThrough(config, writer);
        StartStation(config);
        ASSERT_TRUE(m_recorder.WaitFor([&] { return m_station->Finished(); }));
        m_station->Stop();
        EXPECT_EQ(writer.Close().uncommitted, 0u);
    }
    CPassedLookup lookup(path);
    StationConfig config = Config(false);
    SkipPassedUnits(config, lookup);
    StartStation(config);
    ASSERT_TRUE(m_recorder.WaitFor([&] {
        return m_recorder.CountEvents(StationEventKind::AlreadyPassed, 0) == 1 &&
               m_recorder.CountEvents(StationEventKind::AlreadyPassed, 1) == 1;
    }));
    const BayStatus shown = m_station->Bay(0);
    EXPECT_TRUE(shown.hasLastResult && shown.lastResult == UnitResult::Passed && shown.present);
    EXPECT_EQ(shown.passed, 0u) << "no new attempt is counted";
    std::string error;
    ASSERT_TRUE(m_bays->Unplug(1, error)) << error;
    ASSERT_TRUE(m_recorder.WaitFor([&] { return m_bays->Tick(error) && m_station->Bay(1).passed == 1; })) << error;
    EXPECT_EQ(m_bays->Device(0)->EndCount(), 1u);
    EXPECT_EQ(m_recorder.CountEvents(StationEventKind::AlreadyPassed, 0), 1u) << "shown once, then watched";
    EXPECT_EQ(m_recorder.Records().size(), 1u) << "only the new unit's attempt";
}

TEST_F(StationTest, StopDuringDownloadRecordsTheUnitAsStopped) {
    StartBays(BayOptions(2));
    for (int bay = 0; bay < 2; ++bay) {
        SimFaults faults = m_bays->Device(bay)->Faults();
        faults.lineRate = 9600;
        m_bays->Device(bay)->SetFaults(faults);
    }
    m_image.data = testdata::Pattern(20000, 3);
    StartStation(Config(false));
    ASSERT_TRUE(m_recorder.WaitFor([&] {
        return m_recorder.CountEvents(StationEventKind::Progress, 0) > 0 &&
               m_recorder.CountEvents(StationEventKind::Progress, 1) > 0;
    }));
    const auto before = Clock::now();
    m_station->Stop();
    EXPECT_LT(Clock::now() - before, 10s);
    EXPECT_FALSE(m_station->Running());
    const std::vector<UnitRecord> records = m_recorder.Records();
    ASSERT_EQ(records.size(), 2u);
    for (const UnitRecord& r : records) {
        EXPECT_EQ(r.result, UnitResult::Stopped);
        EXPECT_NE(r.message.find("during the download"), std::string::npos) << r.message;
    }
    EXPECT_EQ(m_station->Totals().stopped, 2u);
    EXPECT_EQ(m_station->Bay(0).state, BayState::Stopped);
    EXPECT_EQ(m_recorder.Events().back().kind, StationEventKind::BayStopped);
}

TEST_F(StationTest, BayGoesOutOfServiceAfterFailuresInARowWhileTheOtherGoesOn) {
    SimBaysOptions options = BayOptions(2);
    options.faultBays = {0};
    options.faults.refuseCommand = CMD_BEGIN_DOWNLOAD;
    options.faults.refuseFirst = 1000;
    StartBays(options);
    StationConfig config = Config(false);
    config.stopAfterFailures = 2;
    StartStation(config);
    ASSERT_TRUE(m_recorder.WaitFor([&] { return m_station->Bay(0).failed == 1; }));
    std::string error;
    ASSERT_TRUE(m_bays->Unplug(0, error)) << error;
    // The state changes just before its event is told: wait for both.
    ASSERT_TRUE(m_recorder.WaitFor([&] {
        return m_bays->Tick(error) && m_station->Bay(0).state == BayState::OutOfService &&
               m_recorder.CountEvents(StationEventKind::OutOfService, 0) > 0;
    }));
    EXPECT_EQ(m_station->Bay(0).failed, 2u);
    EXPECT_EQ(m_recorder.CountEvents(StationEventKind::OutOfService, 0), 1u);
    EXPECT_EQ(m_recorder.CountRecords(m_bays->LinkPath(0), UnitResult::NoResponse), 2u);
    ASSERT_TRUE(WaitForPassed(1, 1));
    EXPECT_EQ(m_station->Bay(1).state == BayState::OutOfService, false);
}

TEST_F(StationTest, UnitOutsideTheRangeIsRefusedUnlessForced) {
    SimBaysOptions options = BayOptions(1);
    options.identity.hwCurrent = Version{7, 0};
    StartBays(options);
    StationConfig config = Config(true);
    StartStation(config);
    ASSERT_TRUE(m_recorder.WaitFor([&] { return m_station->Finished(); }));
    ASSERT_EQ(m_recorder.Records().size(), 1u);
    EXPECT_EQ(m_recorder.Records()[0].result, UnitResult::RefusedByHardwareRange);
    EXPECT_EQ(m_bays->Device(0)->CountRequests(CMD_BEGIN_DOWNLOAD), 0u) << "nothing was sent";

    config.force = true;
    StartStation(config);
    ASSERT_TRUE(m_recorder.WaitFor([&] { return m_station->Finished(); }));
    ASSERT_EQ(m_recorder.Records().size(), 2u);
    EXPECT_EQ(m_recorder.Records()[1].result, UnitResult::Passed);
    EXPECT_EQ(m_bays->Device(0)->Image(), m_image.data);
}

TEST_F(StationTest, PortThatNeverAppearsOrCannotBeOpenedFailsItsBay) {
    // A plain file in the place of a port exists but is no serial device; its
    // name is short enough to be opened, so the system gives its reason.
    const std::string notAPort =
        (std::filesystem::temp_directory_path() / ("kv-nap-" + std::to_string(::getpid()))).string();
    { std::ofstream(notAPort) << "x"; }
    StationConfig config;
    config.bays = {{m_dir + "/no-such-bay", false}, {notAPort, false}};
    config.once = true;
    config.unitTimeout = 2500ms;
    config.recordSink = [this](UnitRecord record) { m_recorder.Record(std::move(record)); };
    StartStation(config);
    ASSERT_TRUE(m_recorder.WaitFor([&] { return m_station->Finished(); }));
    const std::vector<UnitRecord> records = m_recorder.Records();
    ASSERT_EQ(records.size(), 2u);
    for (const UnitRecord& r : records) {
        EXPECT_EQ(r.result, UnitResult::PortFailed);
        EXPECT_NE(r.message.find(r.port), std::string::npos) << r.message;
    }
    EXPECT_EQ(m_recorder.CountEvents(StationEventKind::PortFailed, 0), 0u) << "a missing port is waited for";
    EXPECT_EQ(m_recorder.CountEvents(StationEventKind::PortFailed, 1), 1u) << "reported once, not at every retry";
    // The system's reason goes with it, as the command line gives it.
    const auto opened = std::find_if(records.begin(), records.end(), [&](const UnitRecord& r) { return r.port == notAPort; });
    ASSERT_NE(opened, records.end());
    EXPECT_NE(opened->message.find(notAPort + " cannot be opened: "), std::string::npos) << opened->message;
    std::filesystem::remove(notAPort);
}

TEST_F(StationTest, StartRefusesConfigurationsThatCannotWork) {
    CStation station;
    std::string error;
    StationConfig config;
    EXPECT_FALSE(station.Start(config, m_image, error));
    EXPECT_NE(error.find("No bays"), std::string::npos);
    config.bays = {{"/dev/ttyUSB0", false}, {"/dev/ttyUSB0", true}};
    EXPECT_FALSE(station.Start(config, m_image, error));
    EXPECT_NE(error.find("/dev/ttyUSB0"), std::string::npos);
    config.bays.pop_back();
    EXPECT_FALSE(station.Start(config, FirmwareImage{}, error));
    EXPECT_FALSE(station.Running());
}

// The web console's receiver on the bays' threads: a client that never reads
// is dropped once its queue is full, the bays go on at full pace, a reading
// client sees every unit finish, a reconnecting one resumes after its last
// event, and the metrics count what the records hold.
class WebTee final : public IStationEvents {
public:
    WebTee(Recorder& recorder) : m_recorder(recorder) {}
    void OnStationEvent(const StationEvent& event) override {
        if (m_web != nullptr) m_web->OnStationEvent(event);
        m_recorder.OnStationEvent(event);
    }
    CWebApi* m_web = nullptr;

private:
    Recorder& m_recorder;
};

TEST_F(StationTest, WebEventClientThatNeverReadsIsDroppedAndNeverHoldsUpTheBays) {
    // A larger image: a progress event per percent, more than a client's queue holds.
    m_image.data = testdata::Pattern(40000, 5);
    m_image.checksum = 0;
    for (uint8_t b : m_image.data) m_image.checksum = static_cast<uint16_t>(m_image.checksum + b);
    StartBays(BayOptions(4));
    WebTee tee(m_recorder);
    m_station = std::make_unique<CStation>(&tee);
    WebApiConfig webConfig;
    webConfig.stationName = "test-station";
    webConfig.token = std::string(64, 'a');
    CWebApi web(*m_station, webConfig);
    tee.m_web = &web;
    auto stalled = web.Hub().Subscribe(false, 0);
    auto reader = web.Hub().Subscribe(false, 0);
    ASSERT_TRUE(stalled && reader);

    std::string error;
    ASSERT_TRUE(m_station->Start(Config(true), m_image, error)) << error;
    size_t finished = 0;
    uint64_t lastId = 0;
    std::vector<HubEvent> events;
    while (finished < 4 && web.Hub().Next(reader, events, 20s)) {
        for (const HubEvent& event : events) finished += event.name == "unit-finished" ? 1 : 0;
        if (!events.empty()) lastId = events.back().id;
    }
    EXPECT_EQ(finished, 4u);
    ASSERT_TRUE(m_recorder.WaitFor([&] { return m_station->Finished(); }));
    EXPECT_EQ(m_recorder.Records().size(), 4u);
    EXPECT_GT(lastId, CEventHub::kClientQueue) << "enough events to overflow a client";
    EXPECT_FALSE(web.Hub().Next(stalled, events, 0ms)) << "the client that never read was dropped";

    auto resumed = web.Hub().Subscribe(true, lastId - 3);
    ASSERT_TRUE(resumed);
    ASSERT_TRUE(web.Hub().Next(resumed, events, 0ms));
    ASSERT_GE(events.size(), 3u);
    EXPECT_EQ(events.front().id, lastId - 2);
    EXPECT_TRUE(testdata::Contains(web.MetricsText(), "kavro_units_total{station=\"test-station\",result=\"passed\"} 4\n"))
        << web.MetricsText();
    EXPECT_TRUE(testdata::Contains(web.MetricsText(), "kavro_line_bytes_total{station=\"test-station\"} 160000\n"))
        << web.MetricsText();
    m_station->Stop();
    tee.m_web = nullptr;
}

// The station window serves again for every run it starts: a server stopped
// right after it started must end, not wait for a connection for ever.
TEST_F(StationTest, WebServerStoppedRightAfterItStartsEnds) {
    m_station = std::make_unique<CStation>(nullptr);
    WebApiConfig webConfig;
    webConfig.token = std::string(64, 'a');
    for (int i = 0; i < 50; ++i) {
        CStationWebServer server(*m_station, webConfig);
        std::string error;
        ASSERT_TRUE(server.Start("127.0.0.1", 0, error)) << error;
        server.Stop();
    }
}

// A station that ends (--once) closes the hub right after its last units:
// their events still reach every client, and the server waits for the
// streams to end before it stops.
TEST(EventHubTest, ClosingHandsOverWhatWasQueuedThenEnds) {
    CEventHub hub;
    auto client = hub.Subscribe(false, 0);
    ASSERT_TRUE(client);
    hub.Publish("unit-finished", "{}");
    hub.Publish("record-stored", "{}");
    hub.Close();
    std::vector<HubEvent> events;
    ASSERT_TRUE(hub.Next(client, events, 0ms));
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events.back().name, "record-stored");
    EXPECT_FALSE(hub.Next(client, events, 0ms));
    EXPECT_FALSE(hub.Subscribe(false, 0)) << "no new client once closed";
    EXPECT_FALSE(hub.WaitForNoClients(0ms)) << "the stream has not ended yet";
    hub.Unsubscribe(client);
    EXPECT_TRUE(hub.WaitForNoClients(0ms));
}

// Events close together go out together, but a stream never gathers so long
// that its queue fills: half a queue is taken at once.
TEST(EventHubTest, GatheringStopsAtHalfAQueue) {
    CEventHub hub;
    auto client = hub.Subscribe(false, 0);
    ASSERT_TRUE(client);
    for (size_t i = 0; i < CEventHub::kGatherLimit + 3; ++i) hub.Publish("progress", "{}");
    std::vector<HubEvent> events;
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(hub.Next(client, events, 0ms, 30s));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 10s) << "a half-full queue ends the gathering";
    EXPECT_EQ(events.size(), CEventHub::kGatherLimit + 3);
    hub.Publish("progress", "{}");
    ASSERT_TRUE(hub.Next(client, events, 0ms, 50ms));
    EXPECT_EQ(events.size(), 1u) << "a lone event goes out once the gathering time has passed";
}
}  // namespace
