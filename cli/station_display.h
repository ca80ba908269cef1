#pragma once
// What `kavro-cli station` shows: one JSON object per event (JSON Lines), one
// plain line per event, and for a terminal a totals line above one line per
// bay, redrawn in place. Pure functions of the station's events and
// snapshots; any thread.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "station/station.h"

// The version of the JSON Lines objects; raised only when a field changes
// meaning or goes away (new fields and events keep it).
inline constexpr int kStationJsonFormat = 1;

// One line of JSON: format, event, bay, port, time, then the event's own fields.
std::string StationEventJson(const StationEvent& event);
// The JSON line that says the records' state changed: event "records-held"
// (records cannot be committed; message says why), "records-stored-again",
// "server-away" (message says why) or "server-back" (message names the server).
std::string RecordsStateJson(const std::string& event, const std::string& message, int64_t utcMs);

// The bay a record's unit was on, as its unit-finished event named it.
struct RecordBay {
    size_t bay = 0;
    std::string port;
    bool secondCpu = false;
};
// The JSON line that says a unit's record is committed ("record-stored").
std::string RecordStoredJson(const RecordBay& bay, const std::string& recordId, int64_t utcMs);
// The image the station flashes, before its first unit ("image"): source,
// name, software version, length, checksum and SHA-256.
std::string StationImageJson(const FirmwareImage& image, int64_t utcMs);
// The line for people that names it.
std::string StationImageLine(const FirmwareImage& image);
// The run's last line ("summary"): the totals, the exit status and the stop
// request that ended the run ("interrupt", "terminate", or null).
std::string StationSummaryJson(const StationTotals& totals, int status, const char* stopRequest, int64_t utcMs);
// The work order's last line: "order-complete" with the order, its passed units and quantity.
std::string OrderCompleteJson(const std::string& orderId, uint64_t passed, uint64_t quantity, int64_t utcMs);
// One line for people: time, bay and port, what happened.
std::string StationEventLine(const StationEvent& event);
// "Passed 3  Failed 1  Yield 75.0 %  Units/h 120.4"
std::string TotalsLine(const StationTotals& totals);
// "bay 0  /dev/ttyUSB0  flashing  KAVRO SIM #258  45 %  last: passed", at most width characters.
std::string BayLine(size_t index, const BayStatus& bay, size_t width);
// The end-of-run line of one bay: its port, its last unit and how it ended.
std::string BaySummaryLine(size_t index, const BayStatus& bay);

// Parses a --bay value: "PORT" or "PORT:second" (the suffix selects the
// second CPU; ports such as /dev/serial/by-path/... keep their own colons).
BayConfig ParseBayOption(const std::string& value, bool secondCpuForAll);
