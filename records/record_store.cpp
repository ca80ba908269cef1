#include "records/record_store.h"

#include <libpq-fe.h>

#include <cctype>
#include <memory>
#include <set>
#include <sstream>

#include "records/forwarding_store.h"
#include "records/postgres_store.h"
#include "records/records_platform.h"
#include "records/sqlite_store.h"

bool IsServerLocator(const std::string& locator) {
    if (locator.rfind("postgresql://", 0) == 0 || locator.rfind("postgres://", 0) == 0) return true;
    // A key=value string libpq accepts ("host=db dbname=line"); a file path
    // with a '=' in it (run=3.sqlite) names no libpq keyword.
    return locator.find('=') != std::string::npos && CPostgresRecordStore::Readable(locator);
}

namespace {

// "scheme" of a "scheme://..." value, or "".
std::string UriScheme(const std::string& locator) {
    const size_t mark = locator.find("://");
    if (mark == std::string::npos || mark == 0) return {};
    for (size_t i = 0; i < mark; ++i) {
        const unsigned char c = static_cast<unsigned char>(locator[i]);
        if (std::isalnum(c) == 0 && c != '+' && c != '-' && c != '.') return {};
    }
    return locator.substr(0, mark);
}

// The keys of a value made of two or more key=value words, or none.
std::vector<std::string> KeyValueKeys(const std::string& locator) {
    std::istringstream words(locator);
    std::vector<std::string> keys;
    for (std::string word; words >> word;) {
        const size_t equals = word.find('=');
        if (equals == std::string::npos || equals == 0) continue;
        keys.push_back(word.substr(0, equals));
    }
    return keys.size() >= 2 ? keys : std::vector<std::string>{};
}

struct ConndefaultsDeleter {
    void operator()(PQconninfoOption* options) const { PQconninfoFree(options); }
};

// The keys libpq does not know, each once.
std::string UnknownKeys(const std::vector<std::string>& keys) {
    std::set<std::string> known;
    std::unique_ptr<PQconninfoOption, ConndefaultsDeleter> defaults(PQconndefaults());
    for (const PQconninfoOption* o = defaults.get(); o != nullptr && o->keyword != nullptr; ++o) known.insert(o->keyword);
    std::string unknown;
    std::set<std::string> named;
    for (const std::string& key : keys)
        if (known.count(key) == 0 && named.insert(key).second) unknown += (unknown.empty() ? "" : ", ") + key;
    return unknown;
}

// A value that was meant for a server but is no connection string libpq can
// read: never a file, whose name would hold the password. Says why without
// quoting the value.
bool MisspeltServer(const std::string& locator, std::string& error) {
    static const char* const kExpected =
        " (a server is postgresql://USER@HOST:PORT/DATABASE or key=value pairs with libpq's keys); no file was made "
        "of it";
    const std::string scheme = UriScheme(locator);
    if (!scheme.empty()) {
        error = "--records names the scheme " + scheme + "://, which is not a PostgreSQL connection" + kExpected;
        return true;
    }
    const std::vector<std::string> keys = KeyValueKeys(locator);
    if (keys.empty()) return false;
    const std::string unknown = UnknownKeys(keys);
    error = "--records is key=value pairs libpq cannot read" +
            (unknown.empty() ? std::string() : ", with keys it does not know: " + unknown) + kExpected;
    return true;
}

}  // namespace

std::unique_ptr<IRecordStore> OpenRecordStore(const std::string& locator, std::string& error) {
    return OpenRecordStore(locator, DefaultRecordsPath(), error);
}

std::unique_ptr<IRecordStore> OpenRecordStore(const std::string& locator, const std::string& localPath,
                                              std::string& error) {
    if (IsServerLocator(locator)) return CForwardingRecordStore::Open(locator, localPath, error);
    if (MisspeltServer(locator, error)) return nullptr;
    const std::string path = locator.empty() ? DefaultRecordsPath() : locator;
    if (path.empty()) {
        error = "no folder for the records file: the system names no data folder (give --records PATH)";
        return nullptr;
    }
    return CSqliteRecordStore::Open(path, error);
}

std::unique_ptr<IRecordStore> OpenRecordStoreForReading(const std::string& locator, std::string& error) {
    if (IsServerLocator(locator)) return CPostgresRecordStore::Create(locator, error);
    return CSqliteRecordStore::OpenForReading(locator.empty() ? DefaultRecordsPath() : locator, error);
}

bool QueryRecordsAt(const std::string& locator, const RecordQuery& query, std::vector<UnitRecord>& out,
                    std::string& why) {
    std::unique_ptr<IRecordStore> store = OpenRecordStoreForReading(locator, why);
    if (store && store->Query(query, out)) return true;
    if (store) why = store->LastError();
    return false;
}

std::string DefaultRecordsPath() {
    const std::string folder = UserDataFolder();
    if (folder.empty()) return {};
    const char separator = PathSeparator();
    return folder + separator + "kavro" + separator + "records.sqlite";
}

std::string DefaultStationName() {
    const std::string name = HostName();
    return name.empty() ? "station" : name;
}
