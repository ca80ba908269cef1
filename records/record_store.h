#pragma once
// Where unit records are kept: one interface, an SQLite file by default and a
// PostgreSQL server for a whole line.
//
// Threads: a store is used by one thread at a time (the record writer's, or
// the command line's main thread for exports). It never prints.
#include <memory>
#include <string>
#include <vector>

#include "records/unit_record.h"

struct RecordQuery {
    int64_t sinceUtcMs = 0;     // records that started at or after this time
    size_t limit = 0;           // 0: all; else the newest `limit`
    bool newestFirst = false;
};

class IRecordStore {
public:
    virtual ~IRecordStore() = default;
    // Stores one record, committed before it returns. A record whose id is
    // already stored is not stored again (and that is a success).
    [[nodiscard]] virtual bool Append(const UnitRecord& record) = 0;
    [[nodiscard]] virtual bool Query(const RecordQuery& query, std::vector<UnitRecord>& out) = 0;
    // What went wrong in the last failed call, naming the file or server
    // (never a password).
    virtual std::string LastError() const = 0;
};

// Opens the store a --records value names: a postgresql:// or postgres:// URI
// or a libpq "key=value" string for PostgreSQL, anything else a SQLite file
// path (created with its folder and schema on first use). Null with error set
// when it cannot be opened.
std::unique_ptr<IRecordStore> OpenRecordStore(const std::string& locator, std::string& error);

// The default SQLite file: $XDG_DATA_HOME/kavro/records.sqlite (or
// ~/.local/share/...) on Linux, the local application-data folder on Windows.
std::string DefaultRecordsPath();
