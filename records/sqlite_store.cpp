#include "records/sqlite_store.h"

#include <sqlite3.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <system_error>
#include <thread>

#include "link/file_path.h"
#include "records/record_columns.h"

namespace {

// A write waits this long for other processes' writes before it fails (the
// record writer tries again, and says meanwhile that records are held up).
constexpr int kBusyTimeoutMs = 2000;
// Opening (creating, switching to WAL, migrating) is tried again this long
// while other processes do the same: some of those steps fail at once on a
// lock instead of waiting.
constexpr std::chrono::seconds kOpenPatience{20};
constexpr std::chrono::milliseconds kOpenRetry{50};
// The version of the forwarding queue: 1 adds the destination of each record.
constexpr int kQueueVersion = 1;

bool IsBusy(int rc) { return (rc & 0xFF) == SQLITE_BUSY || (rc & 0xFF) == SQLITE_LOCKED; }

// path as an SQLite URI (for immutable=1): '%', '?' and '#' escaped, a
// Windows drive given its leading slash.
std::string FileUri(const std::string& path) {
    std::string uri = "file:";
    if (path.size() > 1 && path[1] == ':') uri += '/';
    for (char c : path) {
        if (c == '%' || c == '?' || c == '#') {
            char escaped[4];
            std::snprintf(escaped, sizeof escaped, "%%%02X", static_cast<unsigned char>(c));
            uri += escaped;
        } else {
            uri += c == '\\' ? '/' : c;
        }
    }
    return uri + "?immutable=1";
}

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
    const std::filesystem::path parent = PathFromUtf8(path).parent_path();
    if (!parent.empty()) std::filesystem::create_directories(parent, code);
    if (code) {
        error = "cannot create the folder " + Utf8FromPath(parent) + " for the records: " + code.message();
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
    const auto deadline = std::chrono::steady_clock::now() + kOpenPatience;
    for (;;) {
        store->m_busy = false;
        if (store->Prepare() && store->Migrate()) return store;
        if (!store->m_busy || std::chrono::steady_clock::now() >= deadline) break;
        std::this_thread::sleep_for(kOpenRetry);
    }
    error = store->LastError();
    return nullptr;
}

std::unique_ptr<CSqliteRecordStore> CSqliteRecordStore::OpenForReading(const std::string& path, std::string& error) {
    // A file in WAL mode needs its shared-memory file, which a reader without
    // write access to the folder cannot make: then it is read as it lies.
    for (const bool immutable : {false, true}) {
        sqlite3* db = nullptr;
        const int rc = immutable ? sqlite3_open_v2(FileUri(path).c_str(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI,
                                                   nullptr)
                                 : sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
        std::unique_ptr<CSqliteRecordStore> store(new CSqliteRecordStore(db, path));
        if (rc != SQLITE_OK) {
            error = "cannot open the records file " + path + ": " +
                    (db != nullptr ? sqlite3_errmsg(db) : sqlite3_errstr(rc));
            continue;
        }
        sqlite3_busy_timeout(db, kBusyTimeoutMs);
        int version = 0;
        if (store->ReadVersion(version) && store->ReadColumns()) {
            if (version <= kRecordSchemaVersion) return store;
            error = "records file " + path + " has schema version " + std::to_string(version) +
                    ", newer than this program's " + std::to_string(kRecordSchemaVersion) + "; use a newer KAVRO";
            return nullptr;
        }
        error = store->LastError();
        if (store->m_busy) break;  // not for want of the shared-memory file: as it lies would be stale
    }
    return nullptr;
}

CSqliteRecordStore::CSqliteRecordStore(sqlite3* db, std::string path)
    : m_db(db), m_path(std::move(path)), m_columns(RecordColumnList()) {}

CSqliteRecordStore::~CSqliteRecordStore() { sqlite3_close(m_db); }

bool CSqliteRecordStore::Fail(const std::string& what) {
    m_busy = IsBusy(sqlite3_extended_errcode(m_db));
    m_error = "records file " + m_path + ": " + what + ": " + sqlite3_errmsg(m_db);
    return false;
}

bool CSqliteRecordStore::Exec(const std::string& sql) {
    char* message = nullptr;
    const int rc = sqlite3_exec(m_db, sql.c_str(), nullptr, nullptr, &message);
    if (rc == SQLITE_OK) return true;
    m_busy = IsBusy(rc);
    m_error = "records file " + m_path + ": " + (message != nullptr ? message : "cannot run a statement");
    sqlite3_free(message);
    return false;
}

// Write-ahead log, full sync at every commit (a commit survives a power cut,
// not only a killed process), patience with other processes' writes.
bool CSqliteRecordStore::Prepare() {
    sqlite3_busy_timeout(m_db, kBusyTimeoutMs);
    if (!Exec("PRAGMA synchronous=FULL")) return false;
    // Refuses a file that is not a database before anything is written to it.
    if (!Exec("SELECT count(*) FROM sqlite_master")) return false;
    // Switching needs the file to itself: done once, by whichever process comes first.
    sqlite3_stmt* raw = nullptr;
    bool wal = false;
    if (sqlite3_prepare_v2(m_db, "PRAGMA journal_mode", -1, &raw, nullptr) != SQLITE_OK)
        return Fail("cannot read the journal mode");
    Statement statement(raw);
    if (sqlite3_step(raw) == SQLITE_ROW) {
        const unsigned char* mode = sqlite3_column_text(raw, 0);
        wal = mode != nullptr && std::string(reinterpret_cast<const char*>(mode)) == "wal";
    }
    statement.reset();
    if (!wal && !Exec("PRAGMA journal_mode=WAL")) return false;
    return true;
}

bool CSqliteRecordStore::Migrate() {
    if (!Exec("BEGIN IMMEDIATE")) return false;
    int version = 0;
    bool ok = Exec("CREATE TABLE IF NOT EXISTS kavro_schema (version INTEGER NOT NULL)") && ReadVersion(version);
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
    return EndTransaction(ok && MigrateQueue());
}

// This file's own queue of records that wait for a line's server.
bool CSqliteRecordStore::MigrateQueue() {
    if (!Exec("CREATE TABLE IF NOT EXISTS forward_queue (id TEXT PRIMARY KEY)")) return false;
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(m_db, "PRAGMA user_version", -1, &raw, nullptr) != SQLITE_OK)
        return Fail("cannot read the queue's version");
    Statement statement(raw);
    const int version = sqlite3_step(raw) == SQLITE_ROW ? sqlite3_column_int(raw, 0) : 0;
    statement.reset();
    if (version > kQueueVersion) {
        m_error = "records file " + m_path + " has a forwarding queue of version " + std::to_string(version) +
                  ", newer than this program's " + std::to_string(kQueueVersion) + "; use a newer KAVRO";
        return false;
    }
    if (version == kQueueVersion) return true;
    // An older KAVRO may have made the column's table anew since: add it only where missing.
    bool present = false;
    return HasColumn("forward_queue", "destination", present) &&
           (present ||
            Exec("ALTER TABLE forward_queue ADD COLUMN destination TEXT NOT NULL DEFAULT ''")) &&
           Exec("PRAGMA user_version = " + std::to_string(kQueueVersion));
}

// 0 when the file has no version table (a new file).
bool CSqliteRecordStore::ReadVersion(int& version) {
    version = 0;
    bool present = false;
    if (!HasColumn("kavro_schema", "version", present)) return false;
    if (!present) return true;
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(m_db, "SELECT version FROM kavro_schema", -1, &raw, nullptr) != SQLITE_OK)
        return Fail("cannot read the schema version");
    Statement statement(raw);
    const int rc = sqlite3_step(raw);
    if (rc == SQLITE_ROW) version = sqlite3_column_int(raw, 0);
    return rc == SQLITE_ROW || rc == SQLITE_DONE || Fail("cannot read the schema version");
}

bool CSqliteRecordStore::HasColumn(const std::string& table, const std::string& column, bool& present) {
    sqlite3_stmt* raw = nullptr;
    const std::string sql = "SELECT count(*) FROM pragma_table_info('" + table + "') WHERE name = ?";
    if (sqlite3_prepare_v2(m_db, sql.c_str(), -1, &raw, nullptr) != SQLITE_OK) return Fail("cannot read the tables");
    Statement statement(raw);
    sqlite3_bind_text(raw, 1, column.c_str(), -1, SQLITE_TRANSIENT);
    if (sqlite3_step(raw) != SQLITE_ROW) return Fail("cannot read the tables");
    present = sqlite3_column_int(raw, 0) > 0;
    return true;
}

bool CSqliteRecordStore::ReadColumns() {
    m_columns.clear();
    bool table = false;
    if (!HasColumn("unit_records", "id", table)) return false;
    for (size_t i = 0; table && i < RecordColumns().size(); ++i) {
        const RecordColumn& column = RecordColumns()[i];
        const std::string name = column.name;
        bool present = false;
        if (!HasColumn("unit_records", name, present)) return false;
        const std::string filled = std::string(column.integer ? "0" : "''") + " AS " + name;
        m_columns += (m_columns.empty() ? "" : ", ") + (present ? name : filled);
    }
    return true;
}

// Commits when ok, else rolls back keeping the first error.
bool CSqliteRecordStore::EndTransaction(bool ok) {
    if (ok && Exec("COMMIT")) return true;
    const std::string error = m_error;
    (void)Exec("ROLLBACK");
    m_error = error;
    return false;
}

bool CSqliteRecordStore::Append(const UnitRecord& record) { return Insert(record, nullptr); }

bool CSqliteRecordStore::AppendQueued(const UnitRecord& record, const std::string& destination) {
    return Insert(record, &destination);
}

bool CSqliteRecordStore::Insert(const UnitRecord& record, const std::string* destination) {
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
    if (ok && added && destination != nullptr) {
        sqlite3_stmt* rawQueue = nullptr;
        ok = sqlite3_prepare_v2(m_db, "INSERT OR IGNORE INTO forward_queue (id, destination) VALUES (?, ?)", -1,
                                &rawQueue, nullptr) == SQLITE_OK;
        Statement queueStatement(rawQueue);
        if (ok) {
            sqlite3_bind_text(rawQueue, 1, record.id.c_str(), static_cast<int>(record.id.size()), SQLITE_TRANSIENT);
            sqlite3_bind_text(rawQueue, 2, destination->c_str(), static_cast<int>(destination->size()),
                              SQLITE_TRANSIENT);
            ok = sqlite3_step(rawQueue) == SQLITE_DONE;
        }
        if (!ok) Fail("cannot queue record " + record.id + " for the server");
    }
    return EndTransaction(ok);
}

bool CSqliteRecordStore::ReadRows(const std::string& sql, const std::vector<Value>& parameters,
                                  std::vector<UnitRecord>& out) {
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(m_db, sql.c_str(), -1, &raw, nullptr) != SQLITE_OK) return Fail("cannot read records");
    Statement statement(raw);
    for (size_t i = 0; i < parameters.size(); ++i) {
        if (const int64_t* number = std::get_if<int64_t>(&parameters[i]))
            sqlite3_bind_int64(raw, static_cast<int>(i) + 1, *number);
        else
            sqlite3_bind_text(raw, static_cast<int>(i) + 1, std::get<std::string>(parameters[i]).c_str(), -1,
                              SQLITE_TRANSIENT);
    }
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
    if (m_columns.empty()) return true;  // a file with no records table yet
    std::vector<Value> parameters{query.sinceUtcMs};
    if (query.limit > 0) parameters.emplace_back(static_cast<int64_t>(query.limit));
    if (!ReadRows(RecordQuerySql(query, "?", "?", m_columns), parameters, out)) return false;
    RecordsInQueryOrder(query, out);
    return true;
}

bool CSqliteRecordStore::HasPassedRecord(const std::string& chipId, const std::string& imageSha256, bool& found) {
    found = false;
    if (m_columns.empty()) return true;  // a file with no records table yet
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(m_db, PassedCountSql("?", "?").c_str(), -1, &raw, nullptr) != SQLITE_OK)
        return Fail("cannot read records");
    Statement statement(raw);
    sqlite3_bind_text(raw, 1, chipId.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(raw, 2, imageSha256.c_str(), -1, SQLITE_TRANSIENT);
    if (sqlite3_step(raw) != SQLITE_ROW) return Fail("cannot read records");
    found = sqlite3_column_int64(raw, 0) > 0;
    return true;
}

bool CSqliteRecordStore::Queued(const std::string& destination, size_t limit, std::vector<UnitRecord>& out) {
    out.clear();
    std::string columns;
    for (const RecordColumn& column : RecordColumns()) columns += std::string(columns.empty() ? "" : ", ") + "r." + column.name;
    return ReadRows("SELECT " + columns + " FROM forward_queue q JOIN unit_records r ON r.id = q.id "
                    "WHERE q.destination = ? ORDER BY q.rowid LIMIT ?",
                    {destination, static_cast<int64_t>(limit)}, out);
}

bool CSqliteRecordStore::Pending(std::vector<std::pair<std::string, size_t>>& out) {
    out.clear();
    bool queue = false, destinations = false;
    if (!HasColumn("forward_queue", "id", queue) || !HasColumn("forward_queue", "destination", destinations))
        return false;
    if (!queue) return true;
    const std::string destination = destinations ? "destination" : "''";
    sqlite3_stmt* raw = nullptr;
    const std::string sql = "SELECT " + destination + ", count(*) FROM forward_queue GROUP BY 1 ORDER BY 1";
    if (sqlite3_prepare_v2(m_db, sql.c_str(), -1, &raw, nullptr) != SQLITE_OK) return Fail("cannot read the queue");
    Statement statement(raw);
    int rc = SQLITE_OK;
    while ((rc = sqlite3_step(raw)) == SQLITE_ROW) {
        const unsigned char* text = sqlite3_column_text(raw, 0);
        out.emplace_back(text != nullptr ? reinterpret_cast<const char*>(text) : "",
                         static_cast<size_t>(sqlite3_column_int64(raw, 1)));
    }
    return rc == SQLITE_DONE || Fail("cannot read the queue");
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
