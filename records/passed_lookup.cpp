#include "records/passed_lookup.h"

#include "records/sqlite_store.h"

namespace {
// After the server failed to answer, units are looked up locally only for this long.
constexpr std::chrono::seconds kServerRest{30};
}  // namespace

CPassedLookup::CPassedLookup(std::string localPath, const std::string& server) : m_localPath(std::move(localPath)) {
    std::string ignored;
    if (!server.empty()) m_server = CPostgresRecordStore::Create(server, ignored);
}

bool CPassedLookup::Passed(const std::string& chipId, const std::string& imageSha256) {
    if (imageSha256.empty()) return false;
    std::lock_guard lock(m_lock);
    std::string ignored;
    // The station's own file, opened as its writer opens it (a reader that
    // cannot share the write-ahead log would read a stale copy); opened again
    // after a failure.
    if (!m_local && !m_localPath.empty()) m_local = CSqliteRecordStore::Open(m_localPath, ignored);
    bool found = false;
    if (m_local && !m_local->HasPassedRecord(chipId, imageSha256, found)) m_local.reset();
    if (found) return true;
    return PassedOnServer(chipId, imageSha256);
}

bool CPassedLookup::PassedOnServer(const std::string& chipId, const std::string& imageSha256) {
    if (!m_server || Clock::now() < m_serverQuietUntil) return false;
    bool found = false;
    if (m_server->HasPassedRecord(chipId, imageSha256, found)) return found;
    m_serverQuietUntil = Clock::now() + kServerRest;
    return false;
}

void CPassedLookup::Abandon() {
    // The server store's Abandon is safe from any thread; it is made once, in the constructor.
    if (m_server) m_server->Abandon();
}
