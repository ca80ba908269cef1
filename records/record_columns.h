#pragma once
// The records' table as both stores keep it: the schema's version, the steps
// that migrate it forward, and a record as one row of text values in column
// order. Pure functions and constants; any thread.
#include <string>
#include <vector>

#include "records/unit_record.h"

struct RecordQuery;

// The version this program writes. A database at an older version is migrated
// forward when it is opened; one at a newer version is refused.
inline constexpr int kRecordSchemaVersion = 4;

// The SQL that takes the schema from version n - 1 to n (n = 1 creates the
// table). Every statement is valid for SQLite and PostgreSQL alike.
const std::vector<std::string>& RecordSchemaMigration(int version);

// The table that holds the version: one row, one column.
inline constexpr const char* kSchemaVersionTable = "kavro_schema";
inline constexpr const char* kRecordsTable = "unit_records";

struct RecordColumn {
    const char* name;
    bool integer;  // an integer column (else text)
};

// Every column of unit_records, in the order of RecordToRow's values.
const std::vector<RecordColumn>& RecordColumns();
// "id, started_utc_ms, ..." in column order.
std::string RecordColumnList();

// The SELECT for a query, with the store's placeholders for the start time
// and (when the query has a limit) the count. Rows come newest first when the
// query has a limit: RecordsInQueryOrder puts them in the order asked for.
// columns: the select list (a reader of an older table fills what it lacks).
std::string RecordQuerySql(const RecordQuery& query, const std::string& sinceParameter,
                           const std::string& limitParameter, const std::string& columns = RecordColumnList());
// How many passed records the chip (ChipIdText) has for the image (its
// SHA-256), with the store's placeholders for both: one count, one row.
std::string PassedCountSql(const std::string& chipParameter, const std::string& shaParameter);
void RecordsInQueryOrder(const RecordQuery& query, std::vector<UnitRecord>& records);

// The record's values as text, in column order. Text fields come out as valid
// UTF-8 (bytes that are not are taken as Latin-1), which both stores accept.
std::vector<std::string> RecordToRow(const UnitRecord& record);
// The inverse of RecordToRow; false when a value cannot be read.
[[nodiscard]] bool RecordFromRow(const std::vector<std::string>& row, UnitRecord& record);
