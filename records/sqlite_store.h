#pragma once
// Unit records in an SQLite file: write-ahead log, every record committed
// (and synced) before Append returns, so a process killed at any moment leaves
// a file that opens clean with every record appended before the kill.
//
// Threads: one thread at a time. Several processes may share one file: writes
// wait for each other (up to a few seconds) instead of failing, and opening,
// creating and upgrading the file is safe while others do the same.
//
// The queue of records that wait for a line's server has a version of its
// own (SQLite's user_version): the records' table shares its version with
// the servers, which older stations must keep using.
#include <memory>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "records/record_store.h"

struct sqlite3;

class CSqliteRecordStore final : public IRecordStore {
public:
    // Opens path, creating its folder, the file and the schema when missing and
    // migrating an older schema forward. Null with error set on failure.
    static std::unique_ptr<CSqliteRecordStore> Open(const std::string& path, std::string& error);
    // Opens path only to read it: nothing is created, switched or migrated,
    // and no write access is needed. A schema newer than this program's is
    // refused, naming the file.
    static std::unique_ptr<CSqliteRecordStore> OpenForReading(const std::string& path, std::string& error);
    ~CSqliteRecordStore() override;

    [[nodiscard]] bool Append(const UnitRecord& record) override;
    [[nodiscard]] bool Query(const RecordQuery& query, std::vector<UnitRecord>& out) override;
    [[nodiscard]] bool HasPassedRecord(const std::string& chipId, const std::string& imageSha256,
                                       bool& found) override;
    std::string LastError() const override { return m_error; }
    std::string Where() const override { return m_path; }

    // For forwarding to a server: Append that also queues the record for the
    // destination (a server's key without password), in the same transaction
    // (a duplicate id is queued no second time).
    [[nodiscard]] bool AppendQueued(const UnitRecord& record, const std::string& destination);
    // The oldest records queued for destination, at most limit.
    [[nodiscard]] bool Queued(const std::string& destination, size_t limit, std::vector<UnitRecord>& out);
    // How many records wait for each destination ("" for records queued by
    // an older KAVRO, which did not say for which server).
    [[nodiscard]] bool Pending(std::vector<std::pair<std::string, size_t>>& out);
    // Takes records off the queue once the server holds them.
    [[nodiscard]] bool Unqueue(const std::vector<UnitRecord>& records);

private:
    CSqliteRecordStore(sqlite3* db, std::string path);
    [[nodiscard]] bool Prepare();
    [[nodiscard]] bool Migrate();
    [[nodiscard]] bool MigrateQueue();
    [[nodiscard]] bool ReadVersion(int& version);
    // For a reader: the select list, with what an older table lacks filled in.
    [[nodiscard]] bool ReadColumns();
    [[nodiscard]] bool HasColumn(const std::string& table, const std::string& column, bool& present);
    [[nodiscard]] bool Exec(const std::string& sql);
    [[nodiscard]] bool EndTransaction(bool ok);
    // Queues the record for *destination too when given.
    [[nodiscard]] bool Insert(const UnitRecord& record, const std::string* destination);
    using Value = std::variant<int64_t, std::string>;
    [[nodiscard]] bool ReadRows(const std::string& sql, const std::vector<Value>& parameters,
                                std::vector<UnitRecord>& out);
    bool Fail(const std::string& what);

    sqlite3* m_db;
    std::string m_path;
    std::string m_error;
    bool m_busy = false;  // the last failure was another connection's lock
    std::string m_columns;  // the select list ("" : the file holds no records table)
};
