#pragma once
// kavro-cli records: the unit records of a file or a line's server, as a
// table, CSV or JSON Lines, or summed up (totals and yield per image, per day
// and, for a server, per station), or what waits for which server. Reading
// never changes a file. Main thread only; prints, returns the exit
// status.
#include <string>

struct RecordsOptions {
    std::string records;  // a file or a PostgreSQL connection string; "": the default file
    std::string since;    // only records that started at or after this time ("": all)
    bool sinceGiven = false;  // --since was given (an empty value is refused, not taken for all)
    bool csv = false;
    bool json = false;
    bool summary = false;
    bool pending = false;  // what waits in the local file for which server
};

int CommandRecords(const RecordsOptions& options);
