#pragma once
// Unit records on a PostgreSQL server (libpq): the same table and schema
// version as the SQLite file, created or migrated on first use. Connects
// lazily and again after a lost connection, so a server that restarts is
// used again without a new store.
//
// A server that hangs (a frozen host, a partition) costs a bounded wait: the
// connection has a time-out, TCP keepalives, a statement time-out on the
// server and a deadline of its own for every answer, after which it is
// dropped. Abandon ends any wait at once.
//
// Errors name the server (host, port, database), never the password.
// Threads: one thread at a time; Abandon from any thread.
#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "records/record_store.h"

struct pg_conn;
struct pg_result;

struct PGresultDeleter {
    void operator()(pg_result* result) const;
};
using PGresultPtr = std::unique_ptr<pg_result, PGresultDeleter>;

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
    [[nodiscard]] bool HasPassedRecord(const std::string& chipId, const std::string& imageSha256,
                                       bool& found) override;
    std::string LastError() const override { return m_error; }
    std::string Where() const override { return m_server; }
    std::string LocalPath() const override { return {}; }

    // Stores the records in one transaction; ids the server holds already are
    // skipped. All or none.
    [[nodiscard]] bool AppendAll(const std::vector<UnitRecord>& records);

    // Work orders shared by a line's stations: reserves claimId's place in
    // orderId when passed units and reservations made after liveAfterUtcMs
    // leave room under quantity (granted), under a lock per order so that two
    // stations never both take the last place. False when the server did not answer.
    [[nodiscard]] bool ClaimOrderUnit(const std::string& orderId, uint64_t quantity, const std::string& claimId,
                                      const std::string& station, int64_t liveAfterUtcMs, bool& granted);
    // The claimed unit passed (its place stays taken for good) or not (freed).
    [[nodiscard]] bool SettleOrderUnit(const std::string& claimId, bool passed);
    [[nodiscard]] bool CountOrderPassed(const std::string& orderId, uint64_t& passed);

    // The server as records queued for it remember it: "host:port/database",
    // without user or password, so that a record goes only to the database
    // it was made for whoever logs in.
    std::string Destination() const { return m_destination; }
    // Ends the wait under way (and every later one) at once, as if the server
    // had not answered; the connection is dropped. Any thread.
    void Abandon() { m_abandoned = true; }

private:
    CPostgresRecordStore(std::string locator, std::string password, std::string server, std::string destination);
    [[nodiscard]] bool Connect();
    [[nodiscard]] bool ConnectNow();
    // Waits for the connection's socket until the deadline or Abandon.
    [[nodiscard]] bool WaitSocket(bool forWrite, std::chrono::steady_clock::time_point deadline);
    // Sends a statement and waits for its last result within the deadline;
    // null (connection dropped, error set) when none comes.
    PGresultPtr Run(const std::string& sql, const std::vector<const char*>& values = {});
    [[nodiscard]] bool Migrate();
    [[nodiscard]] bool MigrateLocked(int& version);
    [[nodiscard]] bool Exec(const std::string& sql);
    [[nodiscard]] bool EndTransaction(bool ok);
    [[nodiscard]] bool InsertAll(const std::vector<UnitRecord>& records);
    [[nodiscard]] bool ReadVersion(int& version, bool& missing);
    bool Fail(const std::string& what);
    // Drops a broken connection (any when always), so the next call connects again.
    void DropIfBroken(bool always = false);

    std::string m_locator;   // as given: may hold the password, never shown
    std::string m_password;  // to scrub from the server's messages
    std::string m_server;    // "host:port, database db"
    std::string m_destination;
    std::atomic<bool> m_abandoned{false};
    pg_conn* m_conn = nullptr;
    std::string m_error;
};
