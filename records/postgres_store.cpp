#include "records/postgres_store.h"

#include <libpq-fe.h>

#include <algorithm>
#include <cstring>

#include "records/record_columns.h"
#include "records/record_time.h"
#include "records/records_platform.h"

namespace {

using Clock = std::chrono::steady_clock;

// A server that does not answer: the connection gives up after this long
// (libpq's own time-out for what the connection string says, our deadline for
// the rest), a statement after the server's time-out plus this slack.
constexpr const char* kConnectTimeoutSeconds = "5";
constexpr std::chrono::seconds kConnectDeadline{6};
constexpr const char* kStatementTimeout = "SET statement_timeout = 10000";
constexpr std::chrono::seconds kAnswerDeadline{15};
// A dead peer is noticed by TCP keepalives within about 11 s.
constexpr const char* kKeepalivesIdle = "5";
constexpr const char* kKeepalivesInterval = "2";
constexpr const char* kKeepalivesCount = "3";
// Abandon is noticed within this slice of a wait.
constexpr int kWaitSliceMs = 100;
// Serializes the creation and migration of the schema between stations that
// start at once.
constexpr const char* kMigrationLock = "SELECT pg_advisory_xact_lock(4991501713)";
constexpr const char* kUndefinedTable = "42P01";
constexpr const char* kInsufficientPrivilege = "42501";

struct ConninfoDeleter {
    void operator()(PQconninfoOption* options) const { PQconninfoFree(options); }
};

std::string OptionValue(const PQconninfoOption* options, const char* keyword) {
    for (const PQconninfoOption* o = options; o->keyword != nullptr; ++o)
        if (std::strcmp(o->keyword, keyword) == 0 && o->val != nullptr) return o->val;
    return {};
}

// "host:port, database db", with libpq's defaults where the string names none.
struct ServerName {
    std::string host, port, database;
};

ServerName NameServer(const PQconninfoOption* options) {
    ServerName name{OptionValue(options, "host"), OptionValue(options, "port"), OptionValue(options, "dbname")};
    if (name.host.empty()) name.host = OptionValue(options, "hostaddr");
    if (name.host.empty()) name.host = "local socket";
    if (name.port.empty()) name.port = "5432";
    if (name.database.empty()) name.database = OptionValue(options, "user");
    return name;
}

std::string DescribeServer(const ServerName& name) {
    std::string text = "PostgreSQL server " + name.host + ":" + name.port;
    if (!name.database.empty()) text += ", database " + name.database;
    return text;
}

// One line of a server message, with the password cut out wherever it appears.
std::string Scrub(std::string text, const std::string& password) {
    if (!password.empty())
        for (size_t at = text.find(password); at != std::string::npos; at = text.find(password, at))
            text.replace(at, password.size(), "****");
    std::replace(text.begin(), text.end(), '\n', ' ');
    std::replace(text.begin(), text.end(), '\t', ' ');
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

bool Succeeded(const PGresultPtr& result) {
    const ExecStatusType status = PQresultStatus(result.get());
    return result && (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK);
}

bool HasState(const PGresult* result, const char* state) {
    const char* actual = PQresultErrorField(result, PG_DIAG_SQLSTATE);
    return actual != nullptr && std::strcmp(actual, state) == 0;
}

std::string InsertSql() {
    std::string values;
    for (size_t i = 0; i < RecordColumns().size(); ++i)
        values += (i == 0 ? "$" : ", $") + std::to_string(i + 1);
    return "INSERT INTO unit_records (" + RecordColumnList() + ") VALUES (" + values + ") ON CONFLICT (id) DO NOTHING";
}

}  // namespace

bool CPostgresRecordStore::Readable(const std::string& locator) {
    char* message = nullptr;
    std::unique_ptr<PQconninfoOption, ConninfoDeleter> options(PQconninfoParse(locator.c_str(), &message));
    PQfreemem(message);
    return options != nullptr;
}

void PGresultDeleter::operator()(pg_result* result) const { PQclear(result); }

std::unique_ptr<CPostgresRecordStore> CPostgresRecordStore::Create(const std::string& locator, std::string& error) {
    char* message = nullptr;
    std::unique_ptr<PQconninfoOption, ConninfoDeleter> options(PQconninfoParse(locator.c_str(), &message));
    // libpq's own message may quote the string, password and all: not shown.
    PQfreemem(message);
    if (!options) {
        error = "the --records value is not a PostgreSQL connection string libpq can read "
                "(expected postgresql://USER@HOST:PORT/DATABASE or key=value pairs)";
        return nullptr;
    }
    const ServerName name = NameServer(options.get());
    return std::unique_ptr<CPostgresRecordStore>(
        new CPostgresRecordStore(locator, OptionValue(options.get(), "password"), DescribeServer(name),
                                 name.host + ":" + name.port + "/" + name.database));
}

CPostgresRecordStore::CPostgresRecordStore(std::string locator, std::string password, std::string server,
                                           std::string destination)
    : m_locator(std::move(locator)),
      m_password(std::move(password)),
      m_server(std::move(server)),
      m_destination(std::move(destination)) {}

CPostgresRecordStore::~CPostgresRecordStore() { PQfinish(m_conn); }

bool CPostgresRecordStore::Fail(const std::string& what) {
    const char* detail = m_conn != nullptr ? PQerrorMessage(m_conn) : "";
    m_error = m_server + ": " + what;
    if (detail != nullptr && detail[0] != '\0') m_error += ": " + Scrub(detail, m_password);
    return false;
}

void CPostgresRecordStore::DropIfBroken(bool always) {
    if (m_conn != nullptr && (always || PQstatus(m_conn) != CONNECTION_OK)) {
        PQfinish(m_conn);
        m_conn = nullptr;
    }
}

bool CPostgresRecordStore::Connect() {
    if (m_conn != nullptr && PQstatus(m_conn) == CONNECTION_OK) return true;
    PQfinish(m_conn);
    m_conn = nullptr;
    if (!ConnectNow()) return false;
    if (!Exec(kStatementTimeout) || !Exec("SET client_encoding TO 'UTF8'") || !Migrate()) {
        PQfinish(m_conn);
        m_conn = nullptr;
        return false;
    }
    return true;
}

// Connects without blocking, so that a server that accepts the connection and
// then says nothing (a frozen host) costs the deadline and no more.
bool CPostgresRecordStore::ConnectNow() {
    // The connection string comes last, so that what it says wins.
    const char* keywords[] = {"connect_timeout", "application_name", "keepalives", "keepalives_idle",
                              "keepalives_interval", "keepalives_count", "dbname", nullptr};
    const char* values[] = {kConnectTimeoutSeconds, "kavro", "1", kKeepalivesIdle, kKeepalivesInterval,
                            kKeepalivesCount, m_locator.c_str(), nullptr};
    m_conn = PQconnectStartParams(keywords, values, 1);
    if (m_conn == nullptr) {
        m_error = m_server + ": cannot connect: out of memory";
        return false;
    }
    const Clock::time_point deadline = Clock::now() + kConnectDeadline;
    PostgresPollingStatusType poll = PGRES_POLLING_WRITING;
    while (PQstatus(m_conn) != CONNECTION_BAD && poll != PGRES_POLLING_OK && poll != PGRES_POLLING_FAILED) {
        if (!WaitSocket(poll == PGRES_POLLING_WRITING, deadline)) {
            m_error = m_server + ": cannot connect: no answer within " +
                      std::to_string(kConnectDeadline.count()) + " s";
            DropIfBroken(true);
            return false;
        }
        poll = PQconnectPoll(m_conn);
    }
    if (PQstatus(m_conn) == CONNECTION_OK) return true;
    Fail("cannot connect");
    DropIfBroken(true);
    return false;
}

bool CPostgresRecordStore::WaitSocket(bool forWrite, Clock::time_point deadline) {
    while (!m_abandoned) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) return false;
        const int slice = std::min<int>(static_cast<int>(left), kWaitSliceMs);
        const int ready = WaitForSocket(PQsocket(m_conn), forWrite, slice);
        if (ready != 0) return ready > 0;
    }
    return false;
}

PGresultPtr CPostgresRecordStore::Run(const std::string& sql, const std::vector<const char*>& values) {
    if (m_conn == nullptr) return nullptr;
    const Clock::time_point deadline = Clock::now() + kAnswerDeadline;
    const int sent = values.empty() ? PQsendQuery(m_conn, sql.c_str())
                                    : PQsendQueryParams(m_conn, sql.c_str(), static_cast<int>(values.size()), nullptr,
                                                        values.data(), nullptr, nullptr, 0);
    bool ok = sent == 1;
    for (int flush = ok ? PQflush(m_conn) : -1; ok && flush == 1; flush = PQflush(m_conn))
        ok = WaitSocket(true, deadline);
    PGresultPtr first;
    while (ok) {
        while (ok && PQisBusy(m_conn) == 1) ok = WaitSocket(false, deadline) && PQconsumeInput(m_conn) == 1;
        if (!ok) break;
        PGresultPtr next(PQgetResult(m_conn));
        if (!next) return first;
        if (!first || Succeeded(first)) first = std::move(next);
    }
    Fail(m_abandoned ? "gave up waiting for the server" : "no answer");
    if (!m_abandoned && sent == 1) m_error += " within " + std::to_string(kAnswerDeadline.count()) + " s";
    DropIfBroken(true);
    return nullptr;
}

bool CPostgresRecordStore::Exec(const std::string& sql) {
    PGresultPtr result = Run(sql);
    if (!result) return false;
    return Succeeded(result) || Fail("cannot run \"" + sql.substr(0, 40) + "\"");
}

bool CPostgresRecordStore::ReadVersion(int& version, bool& missing) {
    PGresultPtr result = Run("SELECT version FROM kavro_schema");
    missing = false;
    version = 0;
    if (!result) return false;
    if (PQresultStatus(result.get()) != PGRES_TUPLES_OK) {
        missing = HasState(result.get(), kUndefinedTable);
        return missing || Fail("cannot read the records' schema version");
    }
    if (PQntuples(result.get()) > 0) version = std::atoi(PQgetvalue(result.get(), 0, 0));
    return true;
}

// A station's role may only insert: when the schema is current, nothing else is asked of it.
bool CPostgresRecordStore::Migrate() {
    int version = 0;
    bool missing = false;
    if (!ReadVersion(version, missing)) return false;
    if (!missing && version == kRecordSchemaVersion) return true;
    if (version > kRecordSchemaVersion) {
        m_error = m_server + ": the records' schema version " + std::to_string(version) +
                  " is newer than this program's " + std::to_string(kRecordSchemaVersion) + "; use a newer KAVRO";
        return false;
    }
    if (!Exec("BEGIN")) return false;
    return EndTransaction(MigrateLocked(version));
}

bool CPostgresRecordStore::MigrateLocked(int& version) {
    bool missing = false;
    if (!Exec(kMigrationLock)) return false;
    {
        PGresultPtr result = Run("CREATE TABLE IF NOT EXISTS kavro_schema (version INTEGER NOT NULL)");
        if (!result) return false;
        if (PQresultStatus(result.get()) != PGRES_COMMAND_OK) {
            if (HasState(result.get(), kInsufficientPrivilege))
                return Fail("the records' tables are missing or out of date and this role may not create them "
                            "(connect once with the line's owner role)");
            return Fail("cannot create the records' tables");
        }
    }
    // Read again under the lock: another station may have migrated meanwhile.
    if (!ReadVersion(version, missing)) return false;
    for (int step = version + 1; step <= kRecordSchemaVersion; ++step)
        for (const std::string& sql : RecordSchemaMigration(step))
            if (!Exec(sql)) return false;
    if (version == kRecordSchemaVersion) return true;
    return Exec("DELETE FROM kavro_schema") &&
           Exec("INSERT INTO kavro_schema (version) VALUES (" + std::to_string(kRecordSchemaVersion) + ")");
}

bool CPostgresRecordStore::Append(const UnitRecord& record) { return AppendAll({record}); }

bool CPostgresRecordStore::AppendAll(const std::vector<UnitRecord>& records) {
    if (!Connect()) return false;
    if (InsertAll(records)) return true;
    // A connection the server dropped (a restart) is tried once more on a new
    // one; the inserts skip what arrived, so trying again is harmless.
    const bool broken = PQstatus(m_conn) != CONNECTION_OK;
    DropIfBroken();
    return broken && !m_abandoned && Connect() && InsertAll(records);
}

bool CPostgresRecordStore::InsertAll(const std::vector<UnitRecord>& records) {
    if (!Exec("BEGIN")) return false;
    const std::string sql = InsertSql();
    bool ok = true;
    for (size_t i = 0; ok && i < records.size(); ++i) {
        const std::vector<std::string> row = RecordToRow(records[i]);
        std::vector<const char*> values;
        for (const std::string& value : row) values.push_back(value.c_str());
        PGresultPtr result = Run(sql, values);
        ok = result &&
             (PQresultStatus(result.get()) == PGRES_COMMAND_OK || Fail("cannot store record " + records[i].id));
    }
    return EndTransaction(ok);
}

// Commits when ok, else rolls back keeping the first error.
bool CPostgresRecordStore::EndTransaction(bool ok) {
    if (ok && Exec("COMMIT")) return true;
    const std::string error = m_error;
    PGresultPtr rollback = Run("ROLLBACK");
    m_error = error;
    return false;
}

bool CPostgresRecordStore::ClaimOrderUnit(const std::string& orderId, uint64_t quantity, const std::string& claimId,
                                          const std::string& station, int64_t liveAfterUtcMs, bool& granted) {
    granted = false;
    if (!Connect() || !Exec("BEGIN")) return false;
    const std::string now = std::to_string(UtcNowMs());
    const std::string liveAfter = std::to_string(liveAfterUtcMs);
    const std::string limit = std::to_string(quantity);
    PGresultPtr locked = Run("SELECT pg_advisory_xact_lock(hashtext('kavro-order:' || $1::text))", {orderId.c_str()});
    bool ok = locked && (Succeeded(locked) || Fail("cannot lock the work order"));
    PGresultPtr inserted;
    if (ok) {
        inserted = Run("INSERT INTO order_claims (claim_id, order_id, station, passed, claimed_utc_ms) "
                       "SELECT $1::text, $2::text, $3::text, 0, $4::bigint WHERE (SELECT count(*) FROM order_claims "
                       "WHERE order_id = $2::text "
                       "AND (passed = 1 OR claimed_utc_ms > $5::bigint)) < $6::bigint",
                       {claimId.c_str(), orderId.c_str(), station.c_str(), now.c_str(), liveAfter.c_str(),
                        limit.c_str()});
        ok = inserted && (PQresultStatus(inserted.get()) == PGRES_COMMAND_OK || Fail("cannot reserve a unit"));
    }
    if (!EndTransaction(ok)) return false;
    granted = std::string(PQcmdTuples(inserted.get())) == "1";
    return true;
}

bool CPostgresRecordStore::SettleOrderUnit(const std::string& claimId, bool passed) {
    if (!Connect()) return false;
    PGresultPtr result = Run(passed ? "UPDATE order_claims SET passed = 1 WHERE claim_id = $1::text"
                                    : "DELETE FROM order_claims WHERE claim_id = $1::text",
                             {claimId.c_str()});
    return result && (PQresultStatus(result.get()) == PGRES_COMMAND_OK || Fail("cannot settle a unit of the order"));
}

bool CPostgresRecordStore::CountOrderPassed(const std::string& orderId, uint64_t& passed) {
    if (!Connect()) return false;
    PGresultPtr result = Run("SELECT count(*) FROM order_claims WHERE order_id = $1::text AND passed = 1", {orderId.c_str()});
    if (!result || PQresultStatus(result.get()) != PGRES_TUPLES_OK || PQntuples(result.get()) != 1)
        return Fail("cannot count the work order");
    passed = std::stoull(PQgetvalue(result.get(), 0, 0));
    return true;
}

bool CPostgresRecordStore::HasPassedRecord(const std::string& chipId, const std::string& imageSha256, bool& found) {
    found = false;
    if (!Connect()) return false;
    PGresultPtr result = Run(PassedCountSql("$1::text", "$2::text"), {chipId.c_str(), imageSha256.c_str()});
    if (!result) return false;
    if (PQresultStatus(result.get()) != PGRES_TUPLES_OK || PQntuples(result.get()) != 1) {
        Fail("cannot read records");
        DropIfBroken();
        return false;
    }
    found = std::stoll(PQgetvalue(result.get(), 0, 0)) > 0;
    return true;
}

bool CPostgresRecordStore::Query(const RecordQuery& query, std::vector<UnitRecord>& out) {
    out.clear();
    if (!Connect()) return false;
    const std::string sql = RecordQuerySql(query, "$1", "$2");
    const std::string since = std::to_string(query.sinceUtcMs);
    const std::string limit = std::to_string(query.limit);
    std::vector<const char*> values{since.c_str()};
    if (query.limit > 0) values.push_back(limit.c_str());
    PGresultPtr result = Run(sql, values);
    if (!result) return false;
    if (PQresultStatus(result.get()) != PGRES_TUPLES_OK) {
        Fail("cannot read records");
        DropIfBroken();
        return false;
    }
    const int rows = PQntuples(result.get());
    const int columns = PQnfields(result.get());
    for (int r = 0; r < rows; ++r) {
        std::vector<std::string> row;
        for (int c = 0; c < columns; ++c) row.emplace_back(PQgetvalue(result.get(), r, c));
        UnitRecord record;
        if (!RecordFromRow(row, record)) {
            m_error = m_server + ": a record cannot be read";
            return false;
        }
        out.push_back(std::move(record));
    }
    RecordsInQueryOrder(query, out);
    return true;
}
