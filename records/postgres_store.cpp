#include "records/postgres_store.h"

#include <libpq-fe.h>

#include <algorithm>
#include <cstring>

#include "records/record_columns.h"

namespace {

// Waits this long for a server that does not answer, unless the connection
// string says otherwise.
constexpr const char* kConnectTimeoutSeconds = "5";
// Serializes the creation and migration of the schema between stations that
// start at once.
constexpr const char* kMigrationLock = "SELECT pg_advisory_xact_lock(4991501713)";
constexpr const char* kUndefinedTable = "42P01";
constexpr const char* kInsufficientPrivilege = "42501";

struct ResultDeleter {
    void operator()(PGresult* result) const { PQclear(result); }
};
using Result = std::unique_ptr<PGresult, ResultDeleter>;

struct ConninfoDeleter {
    void operator()(PQconninfoOption* options) const { PQconninfoFree(options); }
};

std::string OptionValue(const PQconninfoOption* options, const char* keyword) {
    for (const PQconninfoOption* o = options; o->keyword != nullptr; ++o)
        if (std::strcmp(o->keyword, keyword) == 0 && o->val != nullptr) return o->val;
    return {};
}

// "host:port, database db", with libpq's defaults where the string names none.
std::string DescribeServer(const PQconninfoOption* options) {
    std::string host = OptionValue(options, "host");
    if (host.empty()) host = OptionValue(options, "hostaddr");
    if (host.empty()) host = "local socket";
    std::string port = OptionValue(options, "port");
    if (port.empty()) port = "5432";
    std::string database = OptionValue(options, "dbname");
    if (database.empty()) database = OptionValue(options, "user");
    std::string text = "PostgreSQL server " + host + ":" + port;
    if (!database.empty()) text += ", database " + database;
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
    return std::unique_ptr<CPostgresRecordStore>(new CPostgresRecordStore(
        locator, OptionValue(options.get(), "password"), DescribeServer(options.get())));
}

CPostgresRecordStore::CPostgresRecordStore(std::string locator, std::string password, std::string server)
    : m_locator(std::move(locator)), m_password(std::move(password)), m_server(std::move(server)) {}

CPostgresRecordStore::~CPostgresRecordStore() { PQfinish(m_conn); }

bool CPostgresRecordStore::Fail(const std::string& what) {
    const char* detail = m_conn != nullptr ? PQerrorMessage(m_conn) : "";
    m_error = m_server + ": " + what;
    if (detail != nullptr && detail[0] != '\0') m_error += ": " + Scrub(detail, m_password);
    return false;
}

void CPostgresRecordStore::DropIfBroken() {
    if (m_conn != nullptr && PQstatus(m_conn) != CONNECTION_OK) {
        PQfinish(m_conn);
        m_conn = nullptr;
    }
}

bool CPostgresRecordStore::Connect() {
    if (m_conn != nullptr && PQstatus(m_conn) == CONNECTION_OK) return true;
    PQfinish(m_conn);
    // The connection string comes last, so that what it says wins.
    const char* keywords[] = {"connect_timeout", "application_name", "dbname", nullptr};
    const char* values[] = {kConnectTimeoutSeconds, "kavro", m_locator.c_str(), nullptr};
    m_conn = PQconnectdbParams(keywords, values, 1);
    if (m_conn == nullptr) {
        m_error = m_server + ": cannot connect: out of memory";
        return false;
    }
    if (PQstatus(m_conn) != CONNECTION_OK) {
        Fail("cannot connect");
        DropIfBroken();
        return false;
    }
    if (PQsetClientEncoding(m_conn, "UTF8") != 0 || !Migrate()) {
        PQfinish(m_conn);
        m_conn = nullptr;
        return false;
    }
    return true;
}

bool CPostgresRecordStore::Exec(const std::string& sql) {
    Result result(PQexec(m_conn, sql.c_str()));
    const ExecStatusType status = PQresultStatus(result.get());
    return status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK || Fail("cannot run \"" + sql.substr(0, 40) + "\"");
}

bool CPostgresRecordStore::ReadVersion(int& version, bool& missing) {
    Result result(PQexec(m_conn, "SELECT version FROM kavro_schema"));
    missing = false;
    version = 0;
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
        Result result(PQexec(m_conn, "CREATE TABLE IF NOT EXISTS kavro_schema (version INTEGER NOT NULL)"));
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
    return broken && Connect() && InsertAll(records);
}

bool CPostgresRecordStore::InsertAll(const std::vector<UnitRecord>& records) {
    if (!Exec("BEGIN")) return false;
    const std::string sql = InsertSql();
    bool ok = true;
    for (size_t i = 0; ok && i < records.size(); ++i) {
        const std::vector<std::string> row = RecordToRow(records[i]);
        std::vector<const char*> values;
        for (const std::string& value : row) values.push_back(value.c_str());
        Result result(PQexecParams(m_conn, sql.c_str(), static_cast<int>(values.size()), nullptr, values.data(),
                                   nullptr, nullptr, 0));
        ok = PQresultStatus(result.get()) == PGRES_COMMAND_OK || Fail("cannot store record " + records[i].id);
    }
    return EndTransaction(ok);
}

// Commits when ok, else rolls back keeping the first error.
bool CPostgresRecordStore::EndTransaction(bool ok) {
    if (ok && Exec("COMMIT")) return true;
    const std::string error = m_error;
    Result rollback(PQexec(m_conn, "ROLLBACK"));
    m_error = error;
    return false;
}

bool CPostgresRecordStore::Query(const RecordQuery& query, std::vector<UnitRecord>& out) {
    out.clear();
    if (!Connect()) return false;
    const std::string sql = RecordQuerySql(query, "$1", "$2");
    const std::string since = std::to_string(query.sinceUtcMs);
    const std::string limit = std::to_string(query.limit);
    const char* values[] = {since.c_str(), limit.c_str()};
    Result result(PQexecParams(m_conn, sql.c_str(), query.limit > 0 ? 2 : 1, nullptr, values, nullptr, nullptr, 0));
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
