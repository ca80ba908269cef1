#pragma once
// What the station window shows, as plain text: a bay's tile from its status,
// the header's lines, the records table's rows and their CSV. Pure functions
// of the station's snapshots and records; any thread.
#include <chrono>
#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "records/unit_record.h"
#include "station/station.h"

// The tile's colour: never alone, every tone comes with a word and an icon.
enum class TileTone { Neutral, Busy, Good, Bad, Off };
enum class TileIcon { Idle, Waiting, Flashing, NoReply, Passed, Failed, Paused, OutOfService, Stopped };

struct TileContent {
    std::string title;   // "Bay 1"
    std::string port;    // as configured
    std::string place;   // the fixture's socket for a /dev/serial/by-path link, else empty
    std::string state;   // the large bold word(s)
    TileIcon icon = TileIcon::Idle;
    TileTone tone = TileTone::Neutral;
    int percent = -1;    // 0..100 while flashing, else -1
    std::string unit;    // the unit's name and product number, or a hint
    std::string reason;  // why the last unit failed (empty when it did not)
    std::string counts;  // the bay's units
    std::string tooltip; // the port and its adapter's latency
};

// The units of one bay or of the whole station in the shift.
struct UnitCounts {
    uint32_t passed = 0;
    uint32_t failed = 0;   // refused, no response, port failed
    uint32_t stopped = 0;  // not counted in the yield
};

// The shift as the records tell it: totals, each port's counts and the pace.
struct ShiftSummary {
    UnitCounts total;
    std::map<std::string, UnitCounts> ports;
    std::optional<double> unitsPerHour;  // none before kFewestForPace units have finished
};
inline constexpr uint32_t kFewestForPace = 3;
inline constexpr std::chrono::minutes kPaceWindow{15};

// records: those that started in the shift. The pace counts the units that
// finished (passed or failed) over the last kPaceWindow, or since the shift's
// first unit started when that is more recent.
ShiftSummary SummarizeShift(const std::vector<UnitRecord>& records, int64_t nowUtcMs);

// How long a download may stand still before its tile says the unit does not
// reply: a block is answered well within this, while the link gives a silent
// unit up only after its read time-outs and retries (about 20 s).
inline constexpr std::chrono::milliseconds kNoReplyAfter{3000};

// When one bay's download last moved, for its tile. Window thread.
class CProgressWatch {
public:
    // True while bay is between its first and its last block and its
    // position has not moved for kNoReplyAfter up to now.
    bool Stalled(const BayStatus& bay, std::chrono::steady_clock::time_point now);

private:
    bool m_downloading = false;
    uint32_t m_position = 0;
    std::chrono::steady_clock::time_point m_moved{};
};

// index counts from 0; the tile says "Bay index+1". counts: the bay's units
// in the shift. stalled: the download stands still (CProgressWatch); no
// percentage is then shown as progress.
TileContent DescribeBay(size_t index, const BayStatus& bay, const UnitCounts& counts = UnitCounts(),
                        bool stalled = false);

// The question before removing a bay (number from 1) while it flashes a unit.
std::string RemoveFlashingBayQuestion(size_t number);

// The tile's tool tip: the port, its adapter's latency (latencyMs < 0: none
// shown) and, when that holds replies too long, the fix.
std::string BayTooltip(const std::string& port, int latencyMs);

// "USB socket 2.1, port 0" for /dev/serial/by-path/pci-0000:00:14.0-usb-0:2.1:1.0-port0;
// empty for any other name.
std::string PhysicalPlace(const std::string& port);

// The header: the image, then the totals.
std::string ImageLine(const FirmwareImage& image);
// A dash for the yield before the first unit and for the pace before enough units.
std::string TotalsLine(const ShiftSummary& shift);

// "ttyUSB3", "COM3", "…1:1.0-port0": the end of a port's name, the part
// that tells bays apart, at most kPortEndLength characters.
inline constexpr size_t kPortEndLength = 16;
std::string PortEnd(const std::string& port);

// "2026-12-08 14:03:21" in the computer's time zone.
std::string LocalTimeText(int64_t utcMs);

struct RecordRow {
    std::string time;      // local time
    std::string bay;       // "2 · ttyUSB3": the bay's number and its port's end
    std::string product;   // the unit's product number
    std::string result;    // in words
    std::string duration;  // "12.3 s"
    std::string reason;    // why it did not pass beyond the result's words, in the person's language
};
// bayNumber: the number of the bay on the record's port (from 1); 0 when the
// port is no bay now.
RecordRow DescribeRecord(const UnitRecord& record, size_t bayNumber = 0);
// The table as CSV: a header line, then one line per record in the given order.
std::string RecordsCsv(const std::vector<UnitRecord>& records);

// How many columns a grid of tiles gets so each tile is as large as the
// area allows at about a 3:2 shape, none narrower than leastWidth (the rows
// then scroll); at least 1.
int GridColumns(size_t tiles, int width, int height, int leastWidth = 0);
