// The records soak: a real station (kavro-cli) on flaky simulated bays
// (kavro-sim: dropped replies, units swapped at random) writes to a PostgreSQL
// server this program starts, which is stopped, frozen (SIGSTOP) and started
// again at random, while the station is sent SIGTERM or SIGHUP at random and
// started again. Then, with the bays gone and the server up, one more run
// forwards what waits. At the end:
//  - every unit the station finished (its unit-finished events) is in the
//    server exactly once, and the server holds nothing else;
//  - every unit that received an image (the simulators' saved images) has a record;
//  - no chip passed twice (a passed unit is not flashed again);
//  - every run stopped as a stop signal asks (no records lost, none saved aside);
//  - the local queue is empty and nothing was saved beside the local file.
//
//   kavro-records-soak [--seconds N] [--seed S] [--bays N] [--drop RATE]
#include <libpq-fe.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "tests/e2e/child_process.h"
#include "tests/records/postgres_cluster.h"

namespace {
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using recordtest::PostgresCluster;

constexpr const char* kDatabase = "kavro_soak";
// A station must end within this after a stop signal (a frozen server costs
// the writer's bounded waits).
constexpr int kStopLimitMs = 60000;

struct Options {
    int seconds = 180;
    unsigned seed = 1;
    int bays = 8;
    double drop = 0.02;
};

struct FinishedUnit {
    std::string recordId;
    std::string chip;
    std::string result;
};

std::string Upper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

// Rows of a query as the owner, each row's values joined by '|'; false on failure.
bool ServerRows(const std::string& uri, const std::string& sql, std::vector<std::string>& rows) {
    PGconn* conn = PQconnectdb(uri.c_str());
    bool ok = PQstatus(conn) == CONNECTION_OK;
    if (ok) {
        PGresult* result = PQexec(conn, sql.c_str());
        const ExecStatusType status = PQresultStatus(result);
        ok = status == PGRES_TUPLES_OK || status == PGRES_COMMAND_OK;
        if (!ok) std::fprintf(stderr, "%s: %s", sql.c_str(), PQresultErrorMessage(result));
        for (int r = 0; ok && r < PQntuples(result); ++r) {
            std::string row;
            for (int c = 0; c < PQnfields(result); ++c) row += (c > 0 ? "|" : "") + std::string(PQgetvalue(result, r, c));
            rows.push_back(row);
        }
        PQclear(result);
    } else {
        std::fprintf(stderr, "cannot connect: %s", PQerrorMessage(conn));
    }
    PQfinish(conn);
    return ok;
}

// Records that wait in the local file for a server; -1 when it cannot be read.
int64_t LocalQueue(const std::string& path) {
    sqlite3* db = nullptr;
    int64_t count = -1;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_busy_timeout(db, 5000);
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(db, "SELECT count(*) FROM forward_queue", -1, &statement, nullptr) == SQLITE_OK &&
            sqlite3_step(statement) == SQLITE_ROW)
            count = sqlite3_column_int64(statement, 0);
        sqlite3_finalize(statement);
    }
    sqlite3_close(db);
    return count;
}

class RecordsSoak {
public:
    explicit RecordsSoak(const Options& options) : m_options(options), m_random(options.seed) {}
    ~RecordsSoak() {
        m_station.reset();
        m_sim.reset();
        std::error_code ignored;
        if (!m_dir.empty()) fs::remove_all(m_dir, ignored);
    }

    bool Run() {
        if (!SetUp()) return false;
        const Clock::time_point end = Clock::now() + std::chrono::seconds(m_options.seconds);
        bool ok = StartStation();
        while (ok && Clock::now() < end) ok = Step();
        ok = ok && ServerUp() && StopStation(SIGTERM);
        m_sim->Signal(SIGTERM);
        m_sim->Wait(10000);
        ok = ok && FinalForward();
        return Check(ok);
    }

private:
    bool SetUp() {
        char pattern[] = "/tmp/kavro-records-soak-XXXXXX";
        if (::mkdtemp(pattern) == nullptr) return Fail("no temporary folder");
        m_dir = pattern;
        fs::create_directories(m_dir + "/bays");
        fs::create_directories(m_dir + "/save");
        fs::create_directories(m_dir + "/data");
        // The station's local file (records.sqlite, its queue) goes here.
        ::setenv("XDG_DATA_HOME", (m_dir + "/data").c_str(), 1);
        m_localFile = m_dir + "/data/kavro/records.sqlite";
        std::string error;
        if (!m_cluster.Create(error)) return Fail(error);
        std::vector<std::string> none;
        if (!ServerRows(m_cluster.OwnerUri(), std::string("CREATE DATABASE ") + kDatabase, none))
            return Fail("cannot create the database");
        m_uri = m_cluster.OwnerUri(kDatabase);
        if (!PackImage()) return false;
        m_sim = std::make_unique<ChildProcess>();
        std::ostringstream drop;
        drop << m_options.drop;
        if (!m_sim->Start({KAVRO_SIM_EXECUTABLE, "--bays", std::to_string(m_options.bays), "--link-dir",
                           m_dir + "/bays", "--save-dir", m_dir + "/save", "--drop", drop.str(), "--seed",
                           std::to_string(m_options.seed), "-q"}) ||
            !m_sim->WaitForOutput([](const std::string& out) { return out.find("Simulated bays:") != std::string::npos; },
                                  10000))
            return Fail("kavro-sim did not start: " + m_sim->Err());
        return true;
    }

    // A small image, so that a unit with dropped replies still finishes
    // between two swaps.
    bool PackImage() {
        std::ofstream data(m_dir + "/image.bin", std::ios::binary);
        for (int i = 0; i < 3000; ++i) data.put(static_cast<char>(i * 7 + 3));
        data.close();
        m_image = m_dir + "/soak.fw";
        const RunResult packed = RunProgram({KAVRO_CLI_EXECUTABLE, "pack", "--name", "RECORDS SOAK", "--sw", "1.00",
                                             "--hw-lowest", "1.00", "--hw-highest", "3.00", m_dir + "/image.bin",
                                             "-o", m_image});
        return packed.status == 0 || Fail("cannot pack the image: " + packed.err);
    }

    bool StartStation() {
        std::vector<std::string> args = {KAVRO_CLI_EXECUTABLE, "station", m_image, "--records", m_uri, "--json",
                                         "--station-name", "soak"};
        for (int i = 0; i < m_options.bays; ++i) args.insert(args.end(), {"--bay", m_dir + "/bays/bay" + std::to_string(i)});
        m_station = std::make_unique<ChildProcess>();
        if (!m_station->Start(args)) return Fail("kavro-cli did not start");
        ++m_runs;
        return true;
    }

    // Sends the stop signal and takes the run's output; false when it did not
    // end in time or ended otherwise than a stop asks.
    bool StopStation(int signal) {
        Say(signal == SIGHUP ? "station sent SIGHUP" : "station sent SIGTERM");
        m_station->Signal(signal);
        const Clock::time_point sent = Clock::now();
        const bool ended = m_station->Wait(kStopLimitMs);
        char took[64];
        std::snprintf(took, sizeof took, "station ended after %.1f s", std::chrono::duration<double>(Clock::now() - sent).count());
        Say(took);
        TakeEvents(m_station->Out());
        const int status = m_station->Status();
        if (!ended) return Fail("the station did not end within 60 s of signal " + std::to_string(signal));
        // 143 for SIGTERM and SIGHUP; anything else (6: records not kept) is a fault.
        if (status != 143) return Fail("the station ended with " + std::to_string(status) + ": " + m_station->Err());
        return true;
    }

    void TakeEvents(const std::string& out) {
        std::istringstream lines(out);
        for (std::string line; std::getline(lines, line);) {
            const nlohmann::json event = nlohmann::json::parse(line, nullptr, false);
            if (!event.is_object() || event.value("event", "") != "unit-finished") continue;
            m_finished.push_back({event.value("recordId", ""), Upper(event.value("chipId", "")),
                                  event.value("result", "")});
        }
    }

    // One step of chaos, then a pause of up to two seconds with the pipes read.
    bool Step() {
        const int dice = Roll(100);
        bool ok = true;
        if (dice < 12) ok = ToggleServer();
        else if (dice < 24) ok = FreezeServer();
        else if (dice < 32) ok = StopStation(Roll(2) == 0 ? SIGTERM : SIGHUP) && StartStation();
        SwapSomeBays();
        const Clock::time_point until = Clock::now() + std::chrono::milliseconds(200 + Roll(1800));
        while (ok && Clock::now() < until) {
            if (m_frozen && Clock::now() >= m_thawAt) ok = ServerUp();
            m_station->WaitForOutput([](const std::string&) { return false; }, 100);
            m_sim->WaitForOutput([](const std::string&) { return false; }, 1);
        }
        return ok;
    }

    bool ToggleServer() {
        if (m_frozen && !Thaw()) return false;
        if (m_serverDown) {
            std::string error;
            if (!m_cluster.Start(error)) return Fail(error);
            m_serverDown = false;
            Say("server started");
            return true;
        }
        if (!m_cluster.Stop()) return Fail("pg_ctl stop failed");
        m_serverDown = true;
        Say("server stopped");
        return true;
    }

    bool FreezeServer() {
        if (m_serverDown || m_frozen) return true;
        if (!m_cluster.Pause()) return Fail("cannot freeze the server");
        m_frozen = true;
        m_thawAt = Clock::now() + std::chrono::milliseconds(1000 + Roll(7000));
        Say("server frozen");
        return true;
    }

    bool Thaw() {
        if (!m_cluster.Resume()) return Fail("cannot thaw the server");
        m_frozen = false;
        Say("server thawed");
        return true;
    }

    bool ServerUp() {
        if (m_frozen && !Thaw()) return false;
        if (m_serverDown) return ToggleServer();
        return true;
    }

    // A unit pulled out and a new one put in, on a few bays.
    void SwapSomeBays() {
        for (int i = 0; i < m_options.bays; ++i)
            if (Roll(100) < 12) std::ofstream(m_dir + "/bays/bay" + std::to_string(i) + ".swap") << "";
    }

    // A run with the server up and no bays (the simulator gone): it forwards
    // what waits, and is stopped once the queue is empty.
    bool FinalForward() {
        if (!StartStation()) return false;
        const Clock::time_point deadline = Clock::now() + std::chrono::seconds(120);
        while (LocalQueue(m_localFile) != 0 && Clock::now() < deadline)
            m_station->WaitForOutput([](const std::string&) { return false; }, 250);
        return StopStation(SIGTERM);
    }

    bool Check(bool ok) {
        std::vector<std::string> rows;
        if (!ServerRows(m_uri, "SELECT id, chip_id, result FROM unit_records", rows)) return Fail("cannot read the server");
        std::map<std::string, int> onServer;
        std::map<std::string, int> passedChips;
        std::set<std::string> chips;
        for (const std::string& row : rows) {
            const std::string id = row.substr(0, row.find('|'));
            const std::string chip = Upper(row.substr(row.find('|') + 1, 8));
            ++onServer[id];
            chips.insert(chip);
            if (row.substr(row.rfind('|') + 1) == "passed" && ++passedChips[chip] > 1)
                ok = Fail("chip " + chip + " passed twice");
        }
        std::set<std::string> finished;
        for (const FinishedUnit& unit : m_finished) {
            if (!finished.insert(unit.recordId).second) ok = Fail("record " + unit.recordId + " reported twice");
            if (onServer[unit.recordId] != 1) ok = Fail("record " + unit.recordId + " of chip " + unit.chip +
                                                        " is on the server " + std::to_string(onServer[unit.recordId]) + " times");
        }
        if (rows.size() != finished.size())
            ok = Fail("the server holds " + std::to_string(rows.size()) + " records, the station finished " +
                      std::to_string(finished.size()) + " units");
        size_t flashed = 0;
        for (const auto& entry : fs::directory_iterator(m_dir + "/save")) {
            const std::string name = entry.path().filename().string();  // unit-CHIP.bin
            ++flashed;
            if (chips.count(Upper(name.substr(5, 8))) == 0) ok = Fail("unit " + name + " received an image but has no record");
        }
        const int64_t queued = LocalQueue(m_localFile);
        if (queued != 0) ok = Fail(std::to_string(queued) + " records are still queued locally");
        for (const auto& entry : fs::directory_iterator(fs::path(m_localFile).parent_path()))
            if (entry.path().filename().string().rfind("records.sqlite", 0) != 0)
                ok = Fail("a file beside the local records: " + entry.path().string());
        if (m_finished.size() < static_cast<size_t>(m_options.bays)) ok = Fail("too few units to tell anything");
        std::printf("records soak (seed %u): %d station runs, %zu units finished, %zu flashed, %zu records on the "
                    "server, %zu chips passed: %s\n",
                    m_options.seed, m_runs, m_finished.size(), flashed, rows.size(), passedChips.size(),
                    ok ? "ok" : "FAILED");
        return ok;
    }

    int Roll(int below) { return std::uniform_int_distribution<int>(0, below - 1)(m_random); }
    void Say(const char* what) const {
        const auto seconds = std::chrono::duration<double>(Clock::now() - m_began).count();
        std::printf("%7.1f s  %s\n", seconds, what);
        std::fflush(stdout);
    }
    bool Fail(const std::string& why) {
        std::fprintf(stderr, "records soak: %s\n", why.c_str());
        return false;
    }

    const Options m_options;
    std::mt19937 m_random;
    const Clock::time_point m_began = Clock::now();
    std::string m_dir;
    std::string m_localFile;
    std::string m_image;
    std::string m_uri;
    PostgresCluster m_cluster;
    bool m_serverDown = false;
    bool m_frozen = false;
    Clock::time_point m_thawAt{};
    std::unique_ptr<ChildProcess> m_sim;
    std::unique_ptr<ChildProcess> m_station;
    int m_runs = 0;
    std::vector<FinishedUnit> m_finished;
};

bool ParseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string name = argv[i];
        const std::string value = argv[i + 1];
        if (name == "--seconds") options.seconds = std::stoi(value);
        else if (name == "--seed") options.seed = static_cast<unsigned>(std::stoul(value));
        else if (name == "--bays") options.bays = std::stoi(value);
        else if (name == "--drop") options.drop = std::stod(value);
        else return false;
    }
    return argc % 2 == 1 && options.seconds > 0 && options.bays > 0;
}
}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        std::fprintf(stderr, "usage: kavro-records-soak [--seconds N] [--seed S] [--bays N] [--drop RATE]\n");
        return 2;
    }
    // The simulator and the stations are stopped by signals of their own; a
    // closed pipe must not end the soak.
    ::signal(SIGPIPE, SIG_IGN);
    RecordsSoak soak(options);
    return soak.Run() ? 0 : 1;
}
