#pragma once
// The line's server for the PostgreSQL tests: the cluster the suite started,
// its database and roles, and SQL run as the owner.
#include <string>

#include "tests/records/postgres_cluster.h"

namespace recordtest {

inline constexpr const char* kLineDatabase = "kavro_line";
inline constexpr const char* kStationPassword = "Station-Secret-4410";
inline constexpr const char* kReaderPassword = "Reader-Secret-9902";

// The running cluster, or null when the suite is skipped (SkipReason says why).
PostgresCluster* LineCluster();
const std::string& SkipReason();

// The first value of the first row of sql, run as the owner.
std::string LineSql(const std::string& sql, const std::string& database = kLineDatabase);
int64_t LineCount(const std::string& where = "true");
// Waits until the server holds count records.
bool WaitForLineCount(int64_t count, int timeoutMs = 30000);

inline std::string StationUri() { return LineCluster()->Uri("kavro_station", kStationPassword, kLineDatabase); }
inline std::string ReaderUri() { return LineCluster()->Uri("kavro_reader", kReaderPassword, kLineDatabase); }

}  // namespace recordtest
