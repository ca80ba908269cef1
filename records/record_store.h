#pragma once
// Where unit records are kept: one interface, an SQLite file by default and a
// PostgreSQL server for a whole line.
//
// Threads: a store is used by one thread at a time (the record writer's, or
// the command line's main thread for exports), except that Forward and
// ForwardError may run on a second thread of their own beside the first
// (a forwarding store keeps a connection of its own for them), and
// StopForwarding may be called from any thread. It never prints.
#include <memory>
#include <string>
#include <vector>

#include "records/unit_record.h"

struct RecordQuery {
    int64_t sinceUtcMs = 0;     // records that started at or after this time
    size_t limit = 0;           // 0: all; else the newest `limit`
    bool newestFirst = false;
};

// How forwarding to a line's server stands.
enum class ForwardState {
    None,   // this store does not forward
    Done,   // nothing waits for the server any more
    Away,   // the server cannot take records now; they wait locally (LastError says why)
};

class IRecordStore {
public:
    virtual ~IRecordStore() = default;
    // Stores one record, committed before it returns. A record whose id is
    // already stored is not stored again (and that is a success).
    [[nodiscard]] virtual bool Append(const UnitRecord& record) = 0;
    [[nodiscard]] virtual bool Query(const RecordQuery& query, std::vector<UnitRecord>& out) = 0;
    // Whether the chip (ChipIdText) has a passed record for the image whose
    // SHA-256 is given; false when the store cannot tell (LastError says why).
    [[nodiscard]] virtual bool HasPassedRecord(const std::string& chipId, const std::string& imageSha256,
                                               bool& found) {
        (void)chipId, (void)imageSha256;
        found = false;
        return false;
    }
    // What went wrong in the last failed call, naming the file or server
    // (never a password).
    virtual std::string LastError() const = 0;

    // Stores that keep records locally and forward them to a server: sends
    // every record that still waits, each exactly once however often this is
    // called or fails. Others: None.
    // A server that hangs costs a bounded wait (see CPostgresRecordStore).
    [[nodiscard]] virtual ForwardState Forward() { return ForwardState::None; }
    // Why the last Forward came back Away.
    virtual std::string ForwardError() const { return LastError(); }
    // Ends a Forward under way at once, and every later one; what waits stays
    // queued in the local file for the next process.
    virtual void StopForwarding() {}
    // Where the records go, for messages: the file, or the server as
    // "host:port, database db" (never a password).
    virtual std::string Where() const { return {}; }
    // The local file records are committed to ("" when there is none).
    virtual std::string LocalPath() const { return Where(); }
};

// True when a --records value names a PostgreSQL server rather than a file.
bool IsServerLocator(const std::string& locator);

// Opens the store a --records value names: a postgresql:// or postgres:// URI
// or a libpq "key=value" string for PostgreSQL, anything else a SQLite file
// path (created with its folder and schema on first use). Null with error set
// when it cannot be opened.
// A server's records go to the default SQLite file first.
std::unique_ptr<IRecordStore> OpenRecordStore(const std::string& locator, std::string& error);
// The same with the SQLite file that holds a server's records until they are
// forwarded.
std::unique_ptr<IRecordStore> OpenRecordStore(const std::string& locator, const std::string& localPath,
                                              std::string& error);

// Opens a --records value only to read it: a file read-only (never created,
// switched or migrated; see CSqliteRecordStore::OpenForReading); a server as
// OpenRecordStore does, without the local file (its owner role creates and
// migrates the tables, which setting up a line relies on).
std::unique_ptr<IRecordStore> OpenRecordStoreForReading(const std::string& locator, std::string& error);

// One query on the records at locator, opened read-only for it (any thread):
// false with why when they cannot be opened or read.
[[nodiscard]] bool QueryRecordsAt(const std::string& locator, const RecordQuery& query, std::vector<UnitRecord>& out,
                                  std::string& why);

// The default SQLite file: $XDG_DATA_HOME/kavro/records.sqlite (or
// ~/.local/share/...) on Linux, the local application-data folder on Windows.
std::string DefaultRecordsPath();

// The station's name when none is given: this machine's host name.
std::string DefaultStationName();
