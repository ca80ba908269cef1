#include "records/sqlite_store.h"

#include <sqlite3.h>

#include <filesystem>
#include <system_error>

#include "records/record_columns.h"

namespace {

// Writers of other processes hold the file this long at most before a write gives up.
constexpr int kBusyTimeoutMs = 10000;

struct StatementDeleter {
    void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using Statement = std::unique_ptr<sqlite3_stmt, StatementDeleter>;

std::string InsertSql(const char* verb) {
    std::string values;
    for (size_t i = 0; i < RecordColumns().size(); ++i) values += i == 0 ? "?" : ", ?";
    return std::string(verb) + " INTO unit_records (" + RecordColumnList() + ") VALUES (" + values + ")";
}

// Binds the row's values: integer columns as integers, the rest as text.
void BindRow(sqlite3_stmt* statement, const std::vector<std::string>& row) {
    const std::vector<RecordColumn>& columns = RecordColumns();
    for (size_t i = 0; i < row.size(); ++i) {
        const int index = static_cast<int>(i) + 1;
        if (columns[i].integer)
            sqlite3_bind_int64(statement, index, std::stoll(row[i]));
        else
            sqlite3_bind_text(statement, index, row[i].c_str(), static_cast<int>(row[i].size()), SQLITE_TRANSIENT);
    }
}

std::vector<std::string> ReadRow(sqlite3_stmt* statement) {
    std::vector<std::string> row;
    const int count = sqlite3_column_count(statement);
    for (int i = 0; i < count; ++i) {
        const unsigned char* text = sqlite3_column_text(statement, i);
        row.emplace_back(text != nullptr ? reinterpret_cast<const char*>(text) : "",
                         static_cast<size_t>(sqlite3_column_bytes(statement, i)));
    }
    return row;
}

}  // namespace

std::unique_ptr<CSqliteRecordStore> CSqliteRecordStore::Open(const std::string& path, std::string& error) {
    std::error_code code;
    const std::filesystem::path parent = std::filesystem::path(path).parent_path();
    if (!parent.empty()) std::filesystem::create_directories(parent, code);
    if (code) {
        error = "cannot create the folder " + parent.string() + " for the records: " + code.message();
        return nullptr;
    }
    sqlite3* db = nullptr;
    const int rc = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    std::unique_ptr<CSqliteRecordStore> store(new CSqliteRecordStore(db, path));
    if (rc != SQLITE_OK) {
        error = "cannot open the records file " + path + ": " +
                (db != nullptr ? sqlite3_errmsg(db) : sqlite3_errstr(rc));
        return nullptr;
    }
    if (!store->Prepare() || !store->Migrate()) {
        error = store->LastError();
        return nullptr;
    }
    return store;
}

CSqliteRecordStore::CSqliteRecordStore(sqlite3* db, std::string path) : m_db(db), m_path(std::move(path)) {}

CSqliteRecordStore::~CSqliteRecordStore() { sqlite3_close(m_db); }

bool CSqliteRecordStore::Fail(const std::string& what) {
    m_error = "records file " + m_path + ": " + what + ": " + sqlite3_errmsg(m_db);
    return false;
}

bool CSqliteRecordStore::Exec(const std::string& sql) {
    char* message = nullptr;
    if (sqlite3_exec(m_db, sql.c_str(), nullptr, nullptr, &message) == SQLITE_OK) return true;
    m_error = "records file " + m_path + ": " + (message != nullptr ? message : "cannot run a statement");
    sqlite3_free(message);
    return false;
}

// Write-ahead log, full sync at every commit (a commit survives a power cut,
// not only a killed process), patience with other processes' writes.
bool CSqliteRecordStore::Prepare() {
    sqlite3_busy_timeout(m_db, kBusyTimeoutMs);
    if (!Exec("PRAGMA journal_mode=WAL") || !Exec("PRAGMA synchronous=FULL")) return false;
    // Refuses a file that is not a database before anything is written to it.
    return Exec("SELECT count(*) FROM sqlite_master");
}

bool CSqliteRecordStore::Migrate() {
    if (!Exec("BEGIN IMMEDIATE")) return false;
    int version = 0;
    bool ok = Exec("CREATE TABLE IF NOT EXISTS kavro_schema (version INTEGER NOT NULL)");
    if (ok) {
        sqlite3_stmt* raw = nullptr;
        ok = sqlite3_prepare_v2(m_db, "SELECT version FROM kavro_schema", -1, &raw, nullptr) == SQLITE_OK;
        Statement statement(raw);
        if (ok && sqlite3_step(raw) == SQLITE_ROW) version = sqlite3_column_int(raw, 0);
        if (!ok) Fail("cannot read the schema version");
    }
    if (ok && version > kRecordSchemaVersion) {
        m_error = "records file " + m_path + " has schema version " + std::to_string(version) +
                  ", newer than this program's " + std::to_string(kRecordSchemaVersion) + "; use a newer KAVRO";
        ok = false;
    }
    for (int step = version + 1; ok && step <= kRecordSchemaVersion; ++step)
        for (const std::string& sql : RecordSchemaMigration(step)) ok = ok && Exec(sql);
    if (ok && version != kRecordSchemaVersion)
        ok = Exec("DELETE FROM kavro_schema") &&
             Exec("INSERT INTO kavro_schema (version) VALUES (" + std::to_string(kRecordSchemaVersion) + ")");
    // This file's own queue of records that wait for a line's server.
    ok = ok && Exec("CREATE TABLE IF NOT EXISTS forward_queue (id TEXT PRIMARY KEY)");
    return EndTransaction(ok);
}

// Commits when ok, else rolls back keeping the first error.
bool CSqliteRecordStore::EndTransaction(bool ok) {
    if (ok && Exec("COMMIT")) return true;
    const std::string error = m_error;
    (void)Exec("ROLLBACK");
    m_error = error;
    return false;
}

bool CSqliteRecordStore::Append(const UnitRecord& record) { return Insert(record, false); }

bool CSqliteRecordStore::AppendQueued(const UnitRecord& record) { return Insert(record, true); }

bool CSqliteRecordStore::Insert(const UnitRecord& record, bool queue) {
    if (!Exec("BEGIN IMMEDIATE")) return false;
    sqlite3_stmt* raw = nullptr;
    bool ok = sqlite3_prepare_v2(m_db, InsertSql("INSERT OR IGNORE").c_str(), -1, &raw, nullptr) == SQLITE_OK;
    Statement statement(raw);
    if (ok) {
        BindRow(raw, RecordToRow(record));
        ok = sqlite3_step(raw) == SQLITE_DONE;
    }
    if (!ok) Fail("cannot store record " + record.id);
    const bool added = ok && sqlite3_changes(m_db) > 0;
    if (ok && added && queue) {
        sqlite3_stmt* rawQueue = nullptr;
        ok = sqlite3_prepare_v2(m_db, "INSERT OR IGNORE INTO forward_queue (id) VALUES (?)", -1, &rawQueue,
                                nullptr) == SQLITE_OK;
        Statement queueStatement(rawQueue);
        if (ok) {
            sqlite3_bind_text(rawQueue, 1, record.id.c_str(), static_cast<int>(record.id.size()), SQLITE_TRANSIENT);
            ok = sqlite3_step(rawQueue) == SQLITE_DONE;
        }
        if (!ok) Fail("cannot queue record " + record.id + " for the server");
    }
    return EndTransaction(ok);
}

bool CSqliteRecordStore::ReadRows(const std::string& sql, const std::vector<int64_t>& parameters,
                                  std::vector<UnitRecord>& out) {
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(m_db, sql.c_str(), -1, &raw, nullptr) != SQLITE_OK) return Fail("cannot read records");
    Statement statement(raw);
    for (size_t i = 0; i < parameters.size(); ++i) sqlite3_bind_int64(raw, static_cast<int>(i) + 1, parameters[i]);
    int rc = SQLITE_OK;
    while ((rc = sqlite3_step(raw)) == SQLITE_ROW) {
        UnitRecord record;
        if (!RecordFromRow(ReadRow(raw), record)) {
            m_error = "records file " + m_path + ": a record cannot be read";
            return false;
        }
        out.push_back(std::move(record));
    }
    return rc == SQLITE_DONE || Fail("cannot read records");
}

bool CSqliteRecordStore::Query(const RecordQuery& query, std::vector<UnitRecord>& out) {
    out.clear();
    std::vector<int64_t> parameters{query.sinceUtcMs};
    if (query.limit > 0) parameters.push_back(static_cast<int64_t>(query.limit));
    if (!ReadRows(RecordQuerySql(query, "?", "?"), parameters, out)) return false;
    RecordsInQueryOrder(query, out);
    return true;
}

bool CSqliteRecordStore::Queued(size_t limit, std::vector<UnitRecord>& out) {
    out.clear();
    std::string columns;
    for (const RecordColumn& column : RecordColumns()) columns += std::string(columns.empty() ? "" : ", ") + "r." + column.name;
    return ReadRows("SELECT " + columns + " FROM forward_queue q JOIN unit_records r ON r.id = q.id "
                    "ORDER BY q.rowid LIMIT ?",
                    {static_cast<int64_t>(limit)}, out);
}

bool CSqliteRecordStore::Unqueue(const std::vector<UnitRecord>& records) {
    if (!Exec("BEGIN IMMEDIATE")) return false;
    sqlite3_stmt* raw = nullptr;
    bool ok = sqlite3_prepare_v2(m_db, "DELETE FROM forward_queue WHERE id = ?", -1, &raw, nullptr) == SQLITE_OK;
    Statement statement(raw);
    for (size_t i = 0; ok && i < records.size(); ++i) {
        sqlite3_reset(raw);
        sqlite3_bind_text(raw, 1, records[i].id.c_str(), static_cast<int>(records[i].id.size()), SQLITE_TRANSIENT);
        ok = sqlite3_step(raw) == SQLITE_DONE;
    }
    if (!ok) Fail("cannot take forwarded records off the queue");
    return EndTransaction(ok);
}
