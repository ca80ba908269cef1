// Records on a real PostgreSQL server that the test starts itself: the
// schema created on first use, the line's roles, two stations writing at
// once, a server that stops in the middle of a run, and the errors of a wrong
// address, a refused login and a missing database.
#include <gtest/gtest.h>
#include <libpq-fe.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <set>
#include <thread>

#include "records/forwarding_store.h"
#include "records/postgres_store.h"
#include "records/record_columns.h"
#include "records/record_writer.h"
#include "records/sqlite_store.h"
#include "tests/e2e/child_process.h"
#include "tests/support/sqlite_value.h"
#include "tests/records/postgres_line.h"
#include "tests/records/record_samples.h"

using recordtest::PostgresCluster;
using recordtest::ExpectPassedLookups;
using recordtest::SampleRecord;
using recordtest::TempDir;
using Clock = std::chrono::steady_clock;

namespace {

using recordtest::kLineDatabase;
using recordtest::kReaderPassword;
using recordtest::kStationPassword;
using recordtest::ReaderUri;
using recordtest::StationUri;
constexpr const char* kDatabase = kLineDatabase;

PostgresCluster* g_cluster = nullptr;
std::string g_skip;

std::string Sql(const std::string& sql, const std::string& database = kDatabase) {
    return recordtest::LineSql(sql, database);
}

int64_t ServerCount(const std::string& where = "true") { return recordtest::LineCount(where); }
bool WaitForServerCount(int64_t count) { return recordtest::WaitForLineCount(count); }

// The line's database as docs/RECORDS.md sets it up: the owner creates the
// database and the tables (on first use), a station role that may only
// insert, and a reader role.
void SetUpLine() {
    Sql(std::string("CREATE DATABASE ") + kDatabase, "postgres");
    std::string error;
    std::unique_ptr<CPostgresRecordStore> owner = CPostgresRecordStore::Create(g_cluster->OwnerUri(kDatabase), error);
    ASSERT_NE(owner, nullptr) << error;
    std::vector<UnitRecord> none;
    ASSERT_TRUE(owner->Query({}, none)) << owner->LastError();
    Sql(std::string("CREATE ROLE kavro_station LOGIN PASSWORD '") + kStationPassword + "'");
    Sql(std::string("CREATE ROLE kavro_reader LOGIN PASSWORD '") + kReaderPassword + "'");
    Sql(std::string("REVOKE ALL ON DATABASE ") + kDatabase + " FROM PUBLIC");
    Sql(std::string("GRANT CONNECT ON DATABASE ") + kDatabase + " TO kavro_station, kavro_reader");
    Sql("GRANT USAGE ON SCHEMA public TO kavro_station, kavro_reader");
    Sql("GRANT SELECT ON kavro_schema TO kavro_station, kavro_reader");
    // Skipping a known id (ON CONFLICT) needs to see the ids; whether a chip
    // passed with an image needs three columns more, and nothing else.
    Sql("GRANT INSERT, SELECT (id, chip_id, image_sha256, result) ON unit_records TO kavro_station");
    Sql("GRANT SELECT ON unit_records TO kavro_reader");
    // Shared work orders: the stations reserve, settle and count their places.
    Sql("GRANT SELECT, INSERT, UPDATE (passed), DELETE ON order_claims TO kavro_station");
}


class ClusterEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        if (PostgresCluster::FindServerPrograms().empty()) {
            g_skip = "PostgreSQL's server programs are not installed (Debian package postgresql): skipped";
            return;
        }
        m_cluster = std::make_unique<PostgresCluster>();
        std::string error;
        ASSERT_TRUE(m_cluster->Create(error)) << error;
        g_cluster = m_cluster.get();
        SetUpLine();
    }
    void TearDown() override {
        g_cluster = nullptr;
        m_cluster.reset();
    }

private:
    std::unique_ptr<PostgresCluster> m_cluster;
};

const auto* const g_environment = ::testing::AddGlobalTestEnvironment(new ClusterEnvironment);

class PostgresRecords : public ::testing::Test {
protected:
    void SetUp() override {
        if (!g_skip.empty()) GTEST_SKIP() << g_skip;
        ASSERT_NE(g_cluster, nullptr);
        Sql("TRUNCATE unit_records");
    }
    TempDir dir;
};

// Events of one writer, waited for by the test.
struct Events {
    std::mutex mutex;
    std::condition_variable changed;
    std::map<RecordWriterEvent::Kind, int> counts;
    std::string lastAway;

    CRecordWriter::EventHandler Handler() {
        return [this](const RecordWriterEvent& event) {
            std::lock_guard<std::mutex> lock(mutex);
            ++counts[event.kind];
            if (event.kind == RecordWriterEvent::Kind::ServerAway) lastAway = event.message;
            changed.notify_all();
        };
    }
    bool WaitFor(RecordWriterEvent::Kind kind, int count) {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, std::chrono::seconds(30), [&] { return counts[kind] >= count; });
    }
};

std::unique_ptr<IRecordStore> OpenLine(const std::string& uri, const std::string& local) {
    std::string error;
    std::unique_ptr<IRecordStore> store = OpenRecordStore(uri, local, error);
    EXPECT_NE(store, nullptr) << error;
    return store;
}

}  // namespace

namespace recordtest {

PostgresCluster* LineCluster() { return g_cluster; }
const std::string& SkipReason() { return g_skip; }

std::string LineSql(const std::string& sql, const std::string& database) {
    PGconn* conn = PQconnectdb(g_cluster->OwnerUri(database).c_str());
    std::string value;
    if (PQstatus(conn) != CONNECTION_OK) {
        ADD_FAILURE() << PQerrorMessage(conn);
    } else {
        PGresult* result = PQexec(conn, sql.c_str());
        const ExecStatusType status = PQresultStatus(result);
        if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
            ADD_FAILURE() << sql << ": " << PQresultErrorMessage(result);
        else if (status == PGRES_TUPLES_OK && PQntuples(result) > 0)
            value = PQgetvalue(result, 0, 0);
        PQclear(result);
    }
    PQfinish(conn);
    return value;
}

int64_t LineCount(const std::string& where) {
    return std::stoll("0" + LineSql("SELECT count(*) FROM unit_records WHERE " + where));
}

bool WaitForLineCount(int64_t count, int timeoutMs) {
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (LineCount() < count) {
        if (Clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));  // polling the server, not pacing the test
    }
    return true;
}

}  // namespace recordtest

TEST_F(PostgresRecords, EveryFieldSurvivesTheServerAndKnownIdsAreSkipped) {
    std::string error;
    std::unique_ptr<CPostgresRecordStore> server = CPostgresRecordStore::Create(g_cluster->OwnerUri(kDatabase), error);
    ASSERT_NE(server, nullptr) << error;
    std::vector<UnitRecord> written;
    for (int n = 0; n < 5; ++n) written.push_back(SampleRecord(n));
    ASSERT_TRUE(server->AppendAll(written)) << server->LastError();
    ASSERT_TRUE(server->AppendAll({written[1], written[3]})) << "known ids are a success";
    std::vector<UnitRecord> read;
    ASSERT_TRUE(server->Query({}, read)) << server->LastError();
    ASSERT_EQ(read.size(), written.size());
    for (size_t i = 0; i < read.size(); ++i) EXPECT_EQ(RecordToRow(read[i]), RecordToRow(written[i]));
    EXPECT_STREQ(read[0].device.name.Text(), "Board \"\xC3\x9C\" 7");
    EXPECT_EQ(Sql("SELECT version FROM kavro_schema"), std::to_string(kRecordSchemaVersion));
    EXPECT_EQ(Sql("SELECT count(*) FROM kavro_schema"), "1");
}

TEST_F(PostgresRecords, APassedRecordIsFoundByChipAndImage) {
    std::string error;
    std::unique_ptr<CPostgresRecordStore> server = CPostgresRecordStore::Create(g_cluster->OwnerUri(kDatabase), error);
    ASSERT_NE(server, nullptr) << error;
    ExpectPassedLookups(*server);
}

// The station's role may insert and nothing more; the reader's may read.
TEST_F(PostgresRecords, TheStationRoleInsertsAndOnlyTheReaderReads) {
    std::unique_ptr<IRecordStore> station = OpenLine(StationUri(), dir.File("st.sqlite"));
    ASSERT_NE(station, nullptr);
    ASSERT_TRUE(station->Append(SampleRecord(1)));
    EXPECT_EQ(station->Forward(), ForwardState::Done) << station->ForwardError();
    std::vector<UnitRecord> read;
    EXPECT_FALSE(station->Query({}, read));
    EXPECT_NE(station->LastError().find("permission denied"), std::string::npos) << station->LastError();

    std::string error;
    std::unique_ptr<CPostgresRecordStore> reader = CPostgresRecordStore::Create(ReaderUri(), error);
    ASSERT_NE(reader, nullptr) << error;
    ASSERT_TRUE(reader->Query({}, read)) << reader->LastError();
    EXPECT_EQ(read.size(), 1u);
    EXPECT_FALSE(reader->Append(SampleRecord(2)));
}

// A record the server committed just before the station lost the answer
// (it is still queued locally) is skipped when the station sends it again.
TEST_F(PostgresRecords, ARecordForwardedAgainAfterALostAnswerIsStoredOnce) {
    const UnitRecord record = SampleRecord(4);
    std::string error;
    std::unique_ptr<CPostgresRecordStore> server = CPostgresRecordStore::Create(StationUri(), error);
    ASSERT_NE(server, nullptr) << error;
    ASSERT_TRUE(server->Append(record)) << server->LastError();
    std::unique_ptr<IRecordStore> station = OpenLine(StationUri(), dir.File("st.sqlite"));
    ASSERT_TRUE(station->Append(record));
    EXPECT_EQ(station->Forward(), ForwardState::Done) << station->ForwardError();
    EXPECT_EQ(station->Forward(), ForwardState::Done);
    EXPECT_EQ(ServerCount(), 1);
}

// Two stations, four bays each, writing at once: every unit once.
TEST_F(PostgresRecords, TwoStationsWritingAtOnceStoreEveryUnitExactlyOnce) {
    std::vector<std::string> ids[2];
    {
        CRecordWriter first(OpenLine(StationUri(), dir.File("st1.sqlite")));
        CRecordWriter second(OpenLine(StationUri(), dir.File("st2.sqlite")));
        CRecordWriter* writers[2] = {&first, &second};
        std::mutex idsMutex;
        std::vector<std::thread> bays;
        for (int station = 0; station < 2; ++station)
            for (int bay = 0; bay < 4; ++bay)
                bays.emplace_back([&, station, bay] {
                    for (int n = 0; n < 50; ++n) {
                        UnitRecord record = SampleRecord(bay * 50 + n, "station-" + std::to_string(station + 1));
                        {
                            std::lock_guard<std::mutex> lock(idsMutex);
                            ids[station].push_back(record.id);
                        }
                        writers[station]->Submit(std::move(record));
                    }
                });
        for (std::thread& t : bays) t.join();
        first.Flush();
        second.Flush();
    }
    ASSERT_TRUE(WaitForServerCount(400)) << ServerCount();
    EXPECT_EQ(ServerCount(), 400);
    EXPECT_EQ(Sql("SELECT count(DISTINCT id) FROM unit_records"), "400");
    EXPECT_EQ(ServerCount("station = 'station-1'"), 200);
    EXPECT_EQ(ServerCount("station = 'station-2'"), 200);
    std::set<std::string> server;
    std::string error;
    std::unique_ptr<CPostgresRecordStore> reader = CPostgresRecordStore::Create(ReaderUri(), error);
    std::vector<UnitRecord> read;
    ASSERT_TRUE(reader->Query({}, read)) << reader->LastError();
    for (const UnitRecord& r : read) server.insert(r.id);
    for (const auto& list : ids)
        for (const std::string& id : list) EXPECT_EQ(server.count(id), 1u) << id;
}

// The server stops in the middle of a run and starts again: submissions
// never wait, the writer says the server is away and back, and every unit
// arrives exactly once.
TEST_F(PostgresRecords, AServerStoppedAndStartedMidRunGetsEveryUnitExactlyOnce) {
    Events events;
    RecordWriterOptions options;
    options.retryInterval = std::chrono::milliseconds(100);
    CRecordWriter writer(OpenLine(StationUri(), dir.File("st.sqlite")), events.Handler(), options);
    Clock::duration longest{};
    std::atomic<int> submitted{0};
    const auto submit = [&](int count) {
        for (int i = 0; i < count; ++i) {
            const Clock::time_point start = Clock::now();
            writer.Submit(SampleRecord(submitted++));
            longest = std::max(longest, Clock::now() - start);
        }
    };
    submit(30);
    ASSERT_TRUE(WaitForServerCount(30));
    ASSERT_TRUE(g_cluster->Stop());
    submit(40);
    ASSERT_TRUE(events.WaitFor(RecordWriterEvent::Kind::ServerAway, 1));
    submit(30);  // flashing goes on while the server is away
    writer.Flush();
    EXPECT_NE(events.lastAway.find("127.0.0.1:" + std::to_string(g_cluster->Port())), std::string::npos)
        << events.lastAway;
    EXPECT_EQ(events.lastAway.find(kStationPassword), std::string::npos);
    std::string error;
    ASSERT_TRUE(g_cluster->Start(error)) << error;
    ASSERT_TRUE(events.WaitFor(RecordWriterEvent::Kind::ServerBack, 1));
    ASSERT_TRUE(WaitForServerCount(100)) << ServerCount();
    EXPECT_EQ(ServerCount(), 100);
    EXPECT_EQ(Sql("SELECT count(DISTINCT id) FROM unit_records"), "100");
    EXPECT_LT(longest, std::chrono::milliseconds(500)) << "a submission waited for the server";
    std::lock_guard<std::mutex> lock(events.mutex);
    EXPECT_EQ(events.counts[RecordWriterEvent::Kind::Stored], 100);
    EXPECT_EQ(events.counts[RecordWriterEvent::Kind::StoreFailed], 0);
}

// What a station is told when it cannot reach its server: the server named,
// the password never, and the record kept in the local file for later.
TEST_F(PostgresRecords, AWrongAddressARefusedLoginAndAMissingDatabaseAreNamedAndNothingIsLost) {
    const std::string port = std::to_string(g_cluster->Port());
    struct Case {
        std::string uri;
        std::string names;  // what the message must name
        std::string says;   // and what it must say
    };
    const Case cases[] = {
        {"postgresql://kavro_station:" + std::string(kStationPassword) + "@127.0.0.1:1/" + kDatabase,
         "127.0.0.1:1, database kavro_line", "refused"},
        {g_cluster->Uri("kavro_station", "Wrong-Secret-0000", kDatabase), "127.0.0.1:" + port + ", database kavro_line",
         "password authentication failed"},
        {g_cluster->Uri("kavro_station", kStationPassword, "no_such_line"), "127.0.0.1:" + port + ", database no_such_line",
         "does not exist"},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.names);
        const std::string local = dir.File("local" + std::to_string(n) + ".sqlite");
        std::unique_ptr<IRecordStore> store = OpenLine(c.uri, local);
        ASSERT_NE(store, nullptr);
        const UnitRecord record = SampleRecord(n++);
        ASSERT_TRUE(store->Append(record));
        EXPECT_EQ(store->Forward(), ForwardState::Away);
        const std::string message = store->ForwardError();
        EXPECT_NE(message.find(c.names), std::string::npos) << message;
        EXPECT_NE(message.find(c.says), std::string::npos) << message;
        EXPECT_EQ(message.find("Secret"), std::string::npos) << message;
        std::string error;
        std::unique_ptr<IRecordStore> file = OpenRecordStore(local, error);
        ASSERT_NE(file, nullptr) << error;
        std::vector<UnitRecord> kept;
        ASSERT_TRUE(file->Query({}, kept));
        ASSERT_EQ(kept.size(), 1u);
        EXPECT_EQ(kept[0].id, record.id);
    }
    EXPECT_EQ(ServerCount(), 0);
    std::string error;
    EXPECT_EQ(OpenRecordStore("postgresql://kavro:Secret@[::1", dir.File("x.sqlite"), error), nullptr);
    EXPECT_NE(error.find("connection string"), std::string::npos) << error;
    EXPECT_EQ(error.find("Secret"), std::string::npos) << error;
}

// The tests below are grouped by what they protect.
class RecordLossOnServer : public PostgresRecords {};
class RecordDestinationOnServer : public PostgresRecords {};

// Record loss. A server that hangs (SIGSTOP: connections stay open, nothing
// answers) while a station records: units go on being committed locally,
// SIGTERM ends the run within a bounded time, and every unit stays queued
// and reaches the server once it answers again.
TEST_F(RecordLossOnServer, AServerThatHangsHoldsUpNoLocalCommitAndSigtermEndsTheRunInTime) {
    const std::string local = dir.File("st.sqlite");
    ChildProcess child;
    ASSERT_TRUE(child.Start({KAVRO_RECORDS_WRITER_CHILD, local, StationUri()}));
    const auto stored = [](const std::string& out) {
        size_t count = 0;
        for (size_t at = out.find("stored "); at != std::string::npos; at = out.find("stored ", at + 1)) ++count;
        return count;
    };
    ASSERT_TRUE(child.WaitForOutput([&](const std::string& out) { return stored(out) >= 10; }, 30000)) << child.Err();
    ASSERT_TRUE(WaitForServerCount(5));
    ASSERT_TRUE(g_cluster->Pause());
    const size_t before = stored(child.Out());
    // A frozen server answers nothing for 15 s: commits must go on meanwhile.
    EXPECT_TRUE(child.WaitForOutput([&](const std::string& out) { return stored(out) >= before + 200; }, 10000))
        << "local commits waited for the server";
    child.Signal(SIGTERM);
    EXPECT_TRUE(child.Wait(12000)) << "stopping hung on the server";
    EXPECT_EQ(child.Status(), 0) << child.Err();
    EXPECT_NE(child.Out().find("closed uncommitted=0 pending=1"), std::string::npos) << child.Out();
    ASSERT_TRUE(g_cluster->Resume());

    EXPECT_EQ(OpenLine(StationUri(), local)->Forward(), ForwardState::Done);
    EXPECT_GE(ServerCount(), static_cast<int64_t>(stored(child.Out())));
    EXPECT_EQ(testdata::SqlValue(local, "SELECT count(*) FROM unit_records"), std::to_string(ServerCount()));
}

// Destination. Records queued for one database are not forwarded by a
// process that names another; they wait, listed by server (no password),
// until their own server is named.
TEST_F(RecordDestinationOnServer, AQueuedRecordGoesOnlyToTheServerItWasMadeFor) {
    Sql("CREATE DATABASE kavro_test", "postgres");  // its tables made by the owner's first connection
    const std::string local = dir.File("st.sqlite");
    std::unique_ptr<IRecordStore> line = OpenLine(StationUri(), local);
    ASSERT_TRUE(line->Append(SampleRecord(1)) && line->Append(SampleRecord(2)));
    line.reset();  // queued while the line's server was not reached

    std::unique_ptr<IRecordStore> test = OpenLine(g_cluster->OwnerUri("kavro_test"), local);
    ASSERT_TRUE(test->Append(SampleRecord(3)));
    EXPECT_EQ(test->Forward(), ForwardState::Done) << test->ForwardError();
    EXPECT_EQ(Sql("SELECT count(*) FROM unit_records", "kavro_test"), "1");
    std::string error;
    std::unique_ptr<CSqliteRecordStore> file = CSqliteRecordStore::OpenForReading(local, error);
    std::vector<std::pair<std::string, size_t>> pending;
    ASSERT_TRUE(file && file->Pending(pending)) << error;
    const std::string lineKey = "127.0.0.1:" + std::to_string(g_cluster->Port()) + "/" + kDatabase;
    EXPECT_EQ(pending, (std::vector<std::pair<std::string, size_t>>{{lineKey, 2}}));

    EXPECT_EQ(OpenLine(StationUri(), local)->Forward(), ForwardState::Done);
    EXPECT_EQ(ServerCount(), 2);
    Sql("DROP DATABASE kavro_test WITH (FORCE)", "postgres");
}
