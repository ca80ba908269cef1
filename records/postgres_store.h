#pragma once
// Unit records on a PostgreSQL server (libpq): the same table and schema
// version as the SQLite file, created or migrated on first use. Connects
// lazily and again after a lost connection, so a server that restarts is
// used again without a new store.
//
// Errors name the server (host, port, database), never the password.
// Threads: one thread at a time.
#include <memory>
#include <string>
#include <vector>

#include "records/record_store.h"

struct pg_conn;

class CPostgresRecordStore final : public IRecordStore {
public:
    // Checks the connection string (nothing is connected yet). Null with
    // error set when libpq cannot read it.
    static std::unique_ptr<CPostgresRecordStore> Create(const std::string& locator, std::string& error);
    ~CPostgresRecordStore() override;
    // True when libpq can read the connection string.
    static bool Readable(const std::string& locator);

    [[nodiscard]] bool Append(const UnitRecord& record) override;
    [[nodiscard]] bool Query(const RecordQuery& query, std::vector<UnitRecord>& out) override;
    std::string LastError() const override { return m_error; }
    std::string Where() const override { return m_server; }

    // Stores the records in one transaction; ids the server holds already are
    // skipped. All or none.
    [[nodiscard]] bool AppendAll(const std::vector<UnitRecord>& records);

private:
    CPostgresRecordStore(std::string locator, std::string password, std::string server);
    [[nodiscard]] bool Connect();
    [[nodiscard]] bool Migrate();
    [[nodiscard]] bool MigrateLocked(int& version);
    [[nodiscard]] bool Exec(const std::string& sql);
    [[nodiscard]] bool EndTransaction(bool ok);
    [[nodiscard]] bool InsertAll(const std::vector<UnitRecord>& records);
    [[nodiscard]] bool ReadVersion(int& version, bool& missing);
    bool Fail(const std::string& what);
    // Drops a broken connection, so the next call connects again.
    void DropIfBroken();

    std::string m_locator;   // as given: may hold the password, never shown
    std::string m_password;  // to scrub from the server's messages
    std::string m_server;    // "host:port, database db"
    pg_conn* m_conn = nullptr;
    std::string m_error;
};
