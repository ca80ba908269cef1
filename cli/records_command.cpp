#include "cli/records_command.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <vector>

#include "cli/cli_text.h"
#include "cli/exit_codes.h"
#include "link/file_path.h"
#include "records/json_text.h"
#include "records/postgres_store.h"
#include "records/record_columns.h"
#include "records/record_time.h"
#include "records/sqlite_store.h"
#include "res/translation.h"

namespace {

// The version of the objects `records --json` writes; it changes when a field
// changes meaning or goes away (new fields may be added without it).
constexpr int kRecordsJsonFormat = 1;

void PrintError(const std::string& text) {
    std::fflush(stdout);
    std::fprintf(stderr, "%s\n", text.c_str());
}

void PrintLine(const std::string& text) {
    std::fputs(text.c_str(), stdout);
    std::fputc('\n', stdout);
}

// The file exists: reading never creates one (nor the local file a station
// keeps for its server).
bool FileThere(const std::string& locator, const std::string& path, std::string& error) {
    std::error_code code;
    if (!path.empty() && std::filesystem::exists(PathFromUtf8(path), code)) return true;
    error = FormatText(Tr("no records at %s"), {path.empty() ? std::string(Tr("the default place")) : path});
    if (locator.empty()) error += Tr(" (nothing recorded on this machine yet; --records names another file)");
    return false;
}

// Opens read-only: nothing is created, switched to WAL or migrated.
std::unique_ptr<IRecordStore> OpenForReading(const std::string& locator, std::string& error) {
    if (!IsServerLocator(locator) && !FileThere(locator, locator.empty() ? DefaultRecordsPath() : locator, error))
        return nullptr;
    return OpenRecordStoreForReading(locator, error);
}

std::string CsvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string out = "\"";
    for (char c : text) out += c == '"' ? std::string("\"\"") : std::string(1, c);
    return out + '"';
}

using Fields = std::vector<std::pair<std::string, std::string>>;

// The record's fields for export: the table's columns, the two times as UTC text.
Fields ExportFields(const UnitRecord& record) {
    const std::vector<RecordColumn>& columns = RecordColumns();
    const std::vector<std::string> row = RecordToRow(record);
    Fields fields;
    for (size_t i = 0; i < columns.size(); ++i) {
        const std::string name = columns[i].name;
        if (name == "started_utc_ms")
            fields.emplace_back("started_utc", FormatUtcTime(record.startedUtcMs));
        else if (name == "ended_utc_ms")
            fields.emplace_back("ended_utc", FormatUtcTime(record.endedUtcMs));
        else
            fields.emplace_back(name, row[i]);
    }
    return fields;
}

bool IsIntegerField(const std::string& name) {
    for (const RecordColumn& column : RecordColumns())
        if (name == column.name) return column.integer;
    return false;
}

void PrintCsv(const std::vector<UnitRecord>& records) {
    std::string header;
    for (const auto& field : ExportFields(UnitRecord{})) header += (header.empty() ? "" : ",") + field.first;
    PrintLine(header);
    for (const UnitRecord& record : records) {
        std::string line;
        bool first = true;
        for (const auto& field : ExportFields(record)) {
            line += (first ? "" : ",") + CsvField(field.second);
            first = false;
        }
        PrintLine(line);
    }
}

void PrintJson(const std::vector<UnitRecord>& records) {
    for (const UnitRecord& record : records) {
        Json object = Json::object();
        object["format"] = kRecordsJsonFormat;
        for (const auto& [name, value] : ExportFields(record)) {
            if (IsIntegerField(name) && value.find('-') == std::string::npos)
                object[name] = Json(std::stoull(value));
            else if (IsIntegerField(name))
                object[name] = Json(std::stoll(value));
            else
                object[name] = JsonText(value);
        }
        PrintLine(JsonLine(object));
    }
}

// Columns padded to their widest cell, two spaces apart.
void PrintTable(const std::vector<std::vector<std::string>>& rows) {
    std::vector<size_t> widths;
    for (const auto& row : rows)
        for (size_t i = 0; i < row.size(); ++i) {
            if (widths.size() <= i) widths.push_back(0);
            widths[i] = std::max(widths[i], row[i].size());
        }
    for (const auto& row : rows) {
        std::string line;
        for (size_t i = 0; i < row.size(); ++i)
            line += i + 1 < row.size() ? row[i] + std::string(widths[i] - row[i].size() + 2, ' ') : row[i];
        PrintLine(line);
    }
}

const std::string& Field(const Fields& fields, const std::string& name) {
    static const std::string kNone;
    for (const auto& field : fields)
        if (field.first == name) return field.second;
    return kNone;
}

// "KAVRO demo firmware 2.09": the image's name and software version.
std::string ImageLabel(const UnitRecord& record) {
    const Fields fields = ExportFields(record);
    return Field(fields, "image_name") + " " + Field(fields, "image_sw");
}

void PrintText(const std::vector<UnitRecord>& records) {
    std::vector<std::vector<std::string>> rows{
        {Tr("Started (UTC)"), Tr("Station"), Tr("Port"), Tr("Chip ID"), Tr("Product"), Tr("Image"), Tr("Result"),
         Tr("Duration")}};
    for (const UnitRecord& r : records) {
        const Fields fields = ExportFields(r);
        char product[16], duration[32];
        std::snprintf(product, sizeof product, "%08u", r.device.productNumber);
        std::snprintf(duration, sizeof duration, "%.1f s", static_cast<double>(r.DurationMs()) / 1000.0);
        rows.push_back({Field(fields, "started_utc"), Field(fields, "station"), Field(fields, "port"),
                        Field(fields, "chip_id"), product, ImageLabel(r),
                        UnitResultName(r.result), duration});
    }
    PrintTable(rows);
}

struct Tally {
    uint64_t units = 0;
    uint64_t passed = 0;
    uint64_t failed = 0;
    uint64_t stopped = 0;

    void Count(UnitResult result) {
        ++units;
        if (result == UnitResult::Passed)
            ++passed;
        else if (result == UnitResult::Stopped)
            ++stopped;
        else
            ++failed;
    }
    // Passed units among those that ended on their own (a stopped unit is not
    // the unit's fault); negative when there are none.
    double Yield() const { return passed + failed == 0 ? -1.0 : 100.0 * passed / (passed + failed); }
};

struct SummaryRow {
    std::string group;  // "total", "image", "day", "station", "order"
    std::string key;
    Tally tally;
};

std::vector<SummaryRow> Summarize(const std::vector<UnitRecord>& records, bool perStation) {
    Tally total;
    std::map<std::string, Tally> images, days, stations, orders;
    for (const UnitRecord& r : records) {
        total.Count(r.result);
        if (!r.orderId.empty()) orders[r.orderId].Count(r.result);
        images[ImageLabel(r)].Count(r.result);
        days[FormatUtcDay(r.startedUtcMs)].Count(r.result);
        stations[r.station].Count(r.result);
    }
    std::vector<SummaryRow> rows{{"total", "", total}};
    for (const auto& [key, tally] : images) rows.push_back({"image", key, tally});
    for (const auto& [key, tally] : days) rows.push_back({"day", key, tally});
    if (perStation)
        for (const auto& [key, tally] : stations) rows.push_back({"station", key, tally});
    for (const auto& [key, tally] : orders) rows.push_back({"order", key, tally});
    return rows;
}

std::string YieldText(const Tally& t) {
    if (t.Yield() < 0) return "-";
    char text[16];
    std::snprintf(text, sizeof text, "%.1f %%", t.Yield());
    return text;
}

void PrintSummary(const std::vector<SummaryRow>& rows, const RecordsOptions& options) {
    if (options.json) {
        for (const SummaryRow& row : rows) {
            const double yield = row.tally.Yield();
            // One decimal, as the table shows it.
            const Json object = {{"format", kRecordsJsonFormat},
                                 {"group", row.group},
                                 {"key", JsonText(row.key)},
                                 {"units", row.tally.units},
                                 {"passed", row.tally.passed},
                                 {"failed", row.tally.failed},
                                 {"stopped", row.tally.stopped},
                                 {"yield", yield < 0 ? Json(nullptr) : Json(std::round(yield * 10) / 10)}};
            PrintLine(JsonLine(object));
        }
        return;
    }
    if (options.csv) PrintLine("group,key,units,passed,failed,stopped,yield_percent");
    std::vector<std::vector<std::string>> table{
        {"", Tr("Units"), Tr("Passed"), Tr("Failed"), Tr("Stopped"), Tr("Yield")}};
    // The group names are the CSV's and the JSON's; the headings are for people.
    const char* headings[][2] = {
        {"image", KTEXT("Per image:")}, {"day", KTEXT("Per day (UTC):")}, {"station", KTEXT("Per station:")},
        {"order", KTEXT("Per work order:")}};
    std::string lastGroup = "total";
    for (const SummaryRow& row : rows) {
        const Tally& t = row.tally;
        if (options.csv) {
            char yield[16] = "";
            if (t.Yield() >= 0) std::snprintf(yield, sizeof yield, "%.1f", t.Yield());
            PrintLine(row.group + "," + CsvField(row.key) + "," + std::to_string(t.units) + "," +
                      std::to_string(t.passed) + "," + std::to_string(t.failed) + "," + std::to_string(t.stopped) +
                      "," + yield);
            continue;
        }
        for (const auto& heading : headings)
            if (row.group == heading[0] && lastGroup != row.group) table.push_back({Tr(heading[1])});
        lastGroup = row.group;
        table.push_back({row.group == "total" ? std::string(Tr("Total")) : "  " + row.key, std::to_string(t.units),
                         std::to_string(t.passed), std::to_string(t.failed), std::to_string(t.stopped), YieldText(t)});
    }
    if (!options.csv) PrintTable(table);
}

using PendingList = std::vector<std::pair<std::string, size_t>>;

// What waits in the local file for which server: the file --records names,
// or for a server the default file (that server's records only). The exit
// status on failure (said), else kExitOk.
int ReadPending(const RecordsOptions& options, std::string& path, PendingList& pending) {
    std::string error, only;
    const bool server = IsServerLocator(options.records);
    if (server) {
        std::unique_ptr<CPostgresRecordStore> named = CPostgresRecordStore::Create(options.records, error);
        if (!named) {
            PrintError(FormatText(Tr("Records cannot be read: %s"), {error}));
            return kExitUsage;
        }
        only = named->Destination();
    }
    path = server || options.records.empty() ? DefaultRecordsPath() : options.records;
    if (!FileThere(server ? std::string() : options.records, path, error)) return kExitOk;  // nothing waits
    std::unique_ptr<CSqliteRecordStore> file = CSqliteRecordStore::OpenForReading(path, error);
    if (!file || !file->Pending(pending)) {
        PrintError(FormatText(Tr("Records cannot be read: %s"), {file ? file->LastError() : error}));
        return kExitRecords;
    }
    if (server) std::erase_if(pending, [&](const auto& entry) { return entry.first != only; });
    return kExitOk;
}

void PrintPending(const RecordsOptions& options, const std::string& path, const PendingList& pending) {
    if (options.csv) PrintLine("server,records");
    for (const auto& [key, count] : pending) {
        if (options.csv) PrintLine(CsvField(key) + "," + std::to_string(count));
        if (!options.json) continue;
        const Json object = {{"format", kRecordsJsonFormat},
                             {"file", JsonText(path)},
                             {"server", JsonText(key)},
                             {"records", count}};
        PrintLine(JsonLine(object));
    }
    if (options.csv || options.json) return;
    if (pending.empty()) {
        PrintLine(FormatText(Tr("No records wait for a server in %s"), {path}));
        return;
    }
    PrintLine(FormatText(Tr("Records waiting in %s:"), {path}));
    std::vector<std::vector<std::string>> table{{Tr("Server"), Tr("Records")}};
    // Records queued by an older KAVRO did not say for which server: they go nowhere on their own.
    for (const auto& [key, count] : pending)
        table.push_back({key.empty() ? std::string(Tr("(server not recorded)")) : key, std::to_string(count)});
    PrintTable(table);
}

}  // namespace

int CommandRecords(const RecordsOptions& options) {
    if (options.pending) {
        std::string path;
        PendingList pending;
        const int status = ReadPending(options, path, pending);
        if (status == kExitOk) PrintPending(options, path, pending);
        std::fflush(stdout);
        return status;
    }
    RecordQuery query;
    if ((options.sinceGiven || !options.since.empty()) && !ParseUtcTime(options.since, UtcNowMs(), query.sinceUtcMs)) {
        PrintError(FormatText(Tr("--since: expected a UTC date or time (2026-12-07, 2026-12-07T06:00) or a span "
                                 "before now (90min, 8h, 7d), got '%s'"),
                              {options.since}));
        return kExitUsage;
    }
    std::string error;
    std::unique_ptr<IRecordStore> store = OpenForReading(options.records, error);
    if (!store) {
        PrintError(FormatText(Tr("Records cannot be read: %s"), {error}));
        return kExitRecords;
    }
    std::vector<UnitRecord> records;
    if (!store->Query(query, records)) {
        PrintError(FormatText(Tr("Records cannot be read: %s"), {store->LastError()}));
        return kExitRecords;
    }
    if (options.summary)
        PrintSummary(Summarize(records, IsServerLocator(options.records)), options);
    else if (options.csv)
        PrintCsv(records);
    else if (options.json)
        PrintJson(records);
    else
        PrintText(records);
    std::fflush(stdout);
    return kExitOk;
}
