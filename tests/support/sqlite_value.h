#pragma once
// A statement's single text result, read from an SQLite file directly (not
// through the records store), for tests that check what is really on disk.
#include <sqlite3.h>

#include <string>

namespace testdata {

inline std::string SqlValue(const std::string& path, const std::string& sql) {
    sqlite3* db = nullptr;
    std::string value = "<no value>";
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr) == SQLITE_OK &&
            sqlite3_step(statement) == SQLITE_ROW)
            value = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
        sqlite3_finalize(statement);
    }
    sqlite3_close(db);
    return value;
}

}  // namespace testdata
