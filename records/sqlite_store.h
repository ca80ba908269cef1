#pragma once
// Unit records in an SQLite file: write-ahead log, every record committed
// (and synced) before Append returns, so a process killed at any moment leaves
// a file that opens clean with every record appended before the kill.
//
// Threads: one thread at a time. Several processes may share one file: writes
// wait for each other (up to a few seconds) instead of failing.
#include <memory>
#include <string>
#include <vector>

#include "records/record_store.h"

struct sqlite3;

class CSqliteRecordStore final : public IRecordStore {
public:
    // Opens path, creating its folder, the file and the schema when missing and
    // migrating an older schema forward. Null with error set on failure.
    static std::unique_ptr<CSqliteRecordStore> Open(const std::string& path, std::string& error);
    ~CSqliteRecordStore() override;

    [[nodiscard]] bool Append(const UnitRecord& record) override;
    [[nodiscard]] bool Query(const RecordQuery& query, std::vector<UnitRecord>& out) override;
    std::string LastError() const override { return m_error; }
    std::string Where() const override { return m_path; }

    // For forwarding to a server: Append that also queues the record for the
    // server, in the same transaction (a duplicate id is queued no second time).
    [[nodiscard]] bool AppendQueued(const UnitRecord& record);
    // The oldest records queued for the server, at most limit.
    [[nodiscard]] bool Queued(size_t limit, std::vector<UnitRecord>& out);
    // Takes records off the queue once the server holds them.
    [[nodiscard]] bool Unqueue(const std::vector<UnitRecord>& records);

private:
    CSqliteRecordStore(sqlite3* db, std::string path);
    [[nodiscard]] bool Prepare();
    [[nodiscard]] bool Migrate();
    [[nodiscard]] bool Exec(const std::string& sql);
    [[nodiscard]] bool EndTransaction(bool ok);
    [[nodiscard]] bool Insert(const UnitRecord& record, bool queue);
    [[nodiscard]] bool ReadRows(const std::string& sql, const std::vector<int64_t>& parameters,
                                std::vector<UnitRecord>& out);
    bool Fail(const std::string& what);

    sqlite3* m_db;
    std::string m_path;
    std::string m_error;
};
