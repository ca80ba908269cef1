#include "records/record_columns.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "records/json_text.h"
#include "records/record_store.h"
#include "res/info_lines.h"

namespace {

const std::vector<std::string> kVersion1 = {
    "CREATE TABLE unit_records ("
    "id TEXT PRIMARY KEY, "
    "started_utc_ms BIGINT NOT NULL, "
    "ended_utc_ms BIGINT NOT NULL, "
    "duration_ms BIGINT NOT NULL, "
    "station TEXT NOT NULL, "
    "port TEXT NOT NULL, "
    "second_cpu INTEGER NOT NULL, "
    "chip_id TEXT NOT NULL, "
    "device_name TEXT NOT NULL, "
    "device_sw TEXT NOT NULL, "
    "device_hw_lowest TEXT NOT NULL, "
    "device_hw_highest TEXT NOT NULL, "
    "device_hw_current TEXT NOT NULL, "
    "product_number BIGINT NOT NULL, "
    "image_source TEXT NOT NULL, "
    "image_name TEXT NOT NULL, "
    "image_sw TEXT NOT NULL, "
    "image_hw_lowest TEXT NOT NULL, "
    "image_hw_highest TEXT NOT NULL, "
    "image_length BIGINT NOT NULL, "
    "image_checksum INTEGER NOT NULL, "
    "result TEXT NOT NULL, "
    "message TEXT NOT NULL)",
};

// Version 2: the bay's USB identity, and an index for --since.
const std::vector<std::string> kVersion2 = {
    "ALTER TABLE unit_records ADD COLUMN usb_path TEXT NOT NULL DEFAULT ''",
    "ALTER TABLE unit_records ADD COLUMN adapter_serial TEXT NOT NULL DEFAULT ''",
    "CREATE INDEX unit_records_started ON unit_records (started_utc_ms)",
};

// Version 3: the image's SHA-256 beside its 16-bit checksum ('' for older records).
const std::vector<std::string> kVersion3 = {
    "ALTER TABLE unit_records ADD COLUMN image_sha256 TEXT NOT NULL DEFAULT ''",
};

// Version 4: the key that released the image, and the work order the unit
// counts against ('' for older records and units outside any order); the
// places that the stations of a line reserve in their shared orders.
const std::vector<std::string> kVersion4 = {
    "CREATE TABLE order_claims (claim_id TEXT PRIMARY KEY, order_id TEXT NOT NULL, station TEXT NOT NULL, "
    "passed INTEGER NOT NULL, claimed_utc_ms BIGINT NOT NULL)",
    "CREATE INDEX order_claims_order ON order_claims (order_id)",
    "ALTER TABLE unit_records ADD COLUMN image_key_id TEXT NOT NULL DEFAULT ''",
    "ALTER TABLE unit_records ADD COLUMN order_id TEXT NOT NULL DEFAULT ''",
    "CREATE INDEX unit_records_order ON unit_records (order_id)",
};

const std::vector<RecordColumn> kColumns = {
    {"id", false},
    {"started_utc_ms", true},
    {"ended_utc_ms", true},
    {"duration_ms", true},
    {"station", false},
    {"port", false},
    {"usb_path", false},
    {"adapter_serial", false},
    {"second_cpu", true},
    {"chip_id", false},
    {"device_name", false},
    {"device_sw", false},
    {"device_hw_lowest", false},
    {"device_hw_highest", false},
    {"device_hw_current", false},
    {"product_number", true},
    {"image_source", false},
    {"image_name", false},
    {"image_sw", false},
    {"image_hw_lowest", false},
    {"image_hw_highest", false},
    {"image_length", true},
    {"image_checksum", true},
    {"image_sha256", false},
    {"result", false},
    {"message", false},
    {"image_key_id", false},
    {"order_id", false},
};

bool ParseChipId(const std::string& text, uint8_t (&chip)[4]) {
    if (text.size() != 8) return false;
    for (int i = 0; i < 4; ++i) {
        char* end = nullptr;
        const std::string pair = text.substr(static_cast<size_t>(i) * 2, 2);
        const unsigned long value = std::strtoul(pair.c_str(), &end, 16);
        if (end != pair.c_str() + 2) return false;
        chip[i] = static_cast<uint8_t>(value);
    }
    return true;
}

bool ParseInteger(const std::string& text, int64_t& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    value = std::strtoll(text.c_str(), &end, 10);
    return *end == '\0';
}

// "X.YY" as FormatVersion writes it (a minor over 99 has three digits).
bool ParseStoredVersion(const std::string& text, uint32_t& major, uint8_t& minor) {
    const size_t dot = text.find('.');
    int64_t a = 0, b = 0;
    if (dot == std::string::npos || !ParseInteger(text.substr(0, dot), a) || !ParseInteger(text.substr(dot + 1), b))
        return false;
    if (a < 0 || a > 0xFFFFFFFFll || b < 0 || b > 255) return false;
    major = static_cast<uint32_t>(a);
    minor = static_cast<uint8_t>(b);
    return true;
}

// Reads the row's values in column order, each into its field.
class CRowReader {
public:
    explicit CRowReader(const std::vector<std::string>& row) : m_row(row) {}
    bool Ok() const { return m_ok && m_next == m_row.size(); }

    const std::string& Text() { return m_next < m_row.size() ? m_row[m_next++] : Fail(); }
    int64_t Integer() {
        int64_t value = 0;
        if (!ParseInteger(Text(), value)) m_ok = false;
        return value;
    }
    void Version(uint32_t& major, uint8_t& minor) {
        if (!ParseStoredVersion(Text(), major, minor)) m_ok = false;
    }
    // A software version, whose major has 8 bits.
    uint8_t SmallVersion(uint8_t& minor) {
        uint32_t major = 0;
        Version(major, minor);
        if (major > 255) m_ok = false;
        return static_cast<uint8_t>(major);
    }
    void Name(CFixedString128& name) { name.Assign(Text().c_str()); }

private:
    const std::string& Fail() {
        static const std::string kNone;
        m_ok = false;
        return kNone;
    }
    const std::vector<std::string>& m_row;
    size_t m_next = 0;
    bool m_ok = true;
};

}  // namespace

const std::vector<std::string>& RecordSchemaMigration(int version) {
    static const std::vector<std::string> kNone;
    if (version == 1) return kVersion1;
    if (version == 2) return kVersion2;
    if (version == 3) return kVersion3;
    if (version == 4) return kVersion4;
    return kNone;
}

const std::vector<RecordColumn>& RecordColumns() { return kColumns; }

std::string RecordColumnList() {
    std::string list;
    for (const RecordColumn& column : kColumns) {
        if (!list.empty()) list += ", ";
        list += column.name;
    }
    return list;
}

std::string RecordQuerySql(const RecordQuery& query, const std::string& sinceParameter,
                           const std::string& limitParameter, const std::string& columns) {
    const bool newest = query.newestFirst || query.limit > 0;
    std::string sql = "SELECT " + columns + " FROM unit_records WHERE started_utc_ms >= " + sinceParameter +
                      " ORDER BY started_utc_ms " + (newest ? "DESC, id DESC" : "ASC, id ASC");
    if (query.limit > 0) sql += " LIMIT " + limitParameter;
    return sql;
}

std::string PassedCountSql(const std::string& chipParameter, const std::string& shaParameter) {
    return "SELECT count(*) FROM unit_records WHERE chip_id = " + chipParameter + " AND image_sha256 = " +
           shaParameter + " AND result = '" + UnitResultName(UnitResult::Passed) + "'";
}

void RecordsInQueryOrder(const RecordQuery& query, std::vector<UnitRecord>& records) {
    if (query.limit > 0 && !query.newestFirst) std::reverse(records.begin(), records.end());
}

std::vector<std::string> RecordToRow(const UnitRecord& r) {
    const DeviceInfo& d = r.device;
    const FirmwareInfo& f = r.image;
    return {
        r.id,
        std::to_string(r.startedUtcMs),
        std::to_string(r.endedUtcMs),
        std::to_string(r.DurationMs()),
        ToValidUtf8(r.station),
        ToValidUtf8(r.port),
        ToValidUtf8(r.usbPath),
        ToValidUtf8(r.adapterSerial),
        r.secondCpu ? "1" : "0",
        ChipIdText(d.chipId),
        ToValidUtf8(d.name.Text()),
        FormatVersion(d.swMajor, d.swMinor),
        FormatVersion(d.hwLowestMajor, d.hwLowestMinor),
        FormatVersion(d.hwHighestMajor, d.hwHighestMinor),
        FormatVersion(d.hwCurrentMajor, d.hwCurrentMinor),
        std::to_string(d.productNumber),
        ToValidUtf8(r.imageSource),
        ToValidUtf8(f.name.Text()),
        FormatVersion(f.swMajor, f.swMinor),
        FormatVersion(f.hwLowestMajor, f.hwLowestMinor),
        FormatVersion(f.hwHighestMajor, f.hwHighestMinor),
        std::to_string(r.imageLength),
        std::to_string(r.imageChecksum),
        r.imageSha256,
        UnitResultName(r.result),
        ToValidUtf8(r.message),
        r.imageKeyId,
        ToValidUtf8(r.orderId),
    };
}

bool RecordFromRow(const std::vector<std::string>& row, UnitRecord& r) {
    CRowReader in(row);
    r = UnitRecord{};
    r.id = in.Text();
    r.startedUtcMs = in.Integer();
    r.endedUtcMs = in.Integer();
    r.durationMs = std::max<int64_t>(in.Integer(), 0);
    r.station = in.Text();
    r.port = in.Text();
    r.usbPath = in.Text();
    r.adapterSerial = in.Text();
    r.secondCpu = in.Integer() != 0;
    DeviceInfo& d = r.device;
    const bool chipRead = ParseChipId(in.Text(), d.chipId);
    in.Name(d.name);
    d.swMajor = in.SmallVersion(d.swMinor);
    in.Version(d.hwLowestMajor, d.hwLowestMinor);
    in.Version(d.hwHighestMajor, d.hwHighestMinor);
    in.Version(d.hwCurrentMajor, d.hwCurrentMinor);
    d.productNumber = static_cast<uint32_t>(in.Integer());
    r.imageSource = in.Text();
    FirmwareInfo& f = r.image;
    in.Name(f.name);
    f.swMajor = in.SmallVersion(f.swMinor);
    in.Version(f.hwLowestMajor, f.hwLowestMinor);
    in.Version(f.hwHighestMajor, f.hwHighestMinor);
    r.imageLength = static_cast<uint32_t>(in.Integer());
    r.imageChecksum = static_cast<uint16_t>(in.Integer());
    r.imageSha256 = in.Text();
    const bool resultRead = ParseUnitResult(in.Text(), r.result);
    r.message = in.Text();
    r.imageKeyId = in.Text();
    r.orderId = in.Text();
    return chipRead && resultRead && in.Ok();
}
