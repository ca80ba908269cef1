#pragma once
// A line's records: each is committed to the station's SQLite file first
// (with a place in its forwarding queue) and then forwarded to the line's
// PostgreSQL server. A server that is away costs nothing but the wait: the
// records stay queued and go when Forward next finds it. The server skips ids
// it holds, and a record leaves the queue only once the server has committed
// it, so every record arrives exactly once whatever fails when. Each queued
// record remembers its server and goes to that server only.
//
// Threads: Append and Query on one thread, Forward and ForwardError on
// another (each has its own connection to the file); StopForwarding any.
#include <memory>
#include <string>
#include <vector>

#include "records/postgres_store.h"
#include "records/sqlite_store.h"

class CForwardingRecordStore final : public IRecordStore {
public:
    // Records wait in the SQLite file at localPath. Null with error set when
    // the file cannot be opened or libpq cannot read the connection string
    // (a server that cannot be reached is no error here).
    static std::unique_ptr<CForwardingRecordStore> Open(const std::string& locator, const std::string& localPath,
                                                        std::string& error);

    // Committed locally; forwarded by Forward.
    [[nodiscard]] bool Append(const UnitRecord& record) override;
    // Reads the server's records (the whole line's), on Forward's connection:
    // not while Forward may run.
    [[nodiscard]] bool Query(const RecordQuery& query, std::vector<UnitRecord>& out) override;
    [[nodiscard]] bool HasPassedRecord(const std::string& chipId, const std::string& imageSha256,
                                       bool& found) override;
    std::string LastError() const override { return m_error; }
    [[nodiscard]] ForwardState Forward() override;
    std::string ForwardError() const override { return m_forwardError; }
    void StopForwarding() override { m_server->Abandon(); }
    std::string Where() const override { return m_server->Where(); }
    // The local file that holds the records until the server has them.
    std::string LocalPath() const override { return m_local->Where(); }

private:
    CForwardingRecordStore(std::unique_ptr<CSqliteRecordStore> local, std::unique_ptr<CSqliteRecordStore> queue,
                           std::unique_ptr<CPostgresRecordStore> server);

    std::unique_ptr<CSqliteRecordStore> m_local;  // Append's
    std::string m_error;
    std::unique_ptr<CSqliteRecordStore> m_queue;  // Forward's, with the server
    std::unique_ptr<CPostgresRecordStore> m_server;
    std::string m_destination;
    std::string m_forwardError;
};
