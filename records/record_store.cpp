#include "records/record_store.h"

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

std::unique_ptr<IRecordStore> OpenRecordStore(const std::string& locator, std::string& error) {
    return OpenRecordStore(locator, DefaultRecordsPath(), error);
}

std::unique_ptr<IRecordStore> OpenRecordStore(const std::string& locator, const std::string& localPath,
                                              std::string& error) {
    if (IsServerLocator(locator)) return CForwardingRecordStore::Open(locator, localPath, error);
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
