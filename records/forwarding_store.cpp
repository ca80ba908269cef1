#include "records/forwarding_store.h"

namespace {

// Records per server transaction: few round trips for a backlog, short
// transactions for the server.
constexpr size_t kForwardBatch = 200;

}  // namespace

std::unique_ptr<CForwardingRecordStore> CForwardingRecordStore::Open(const std::string& locator,
                                                                     const std::string& localPath,
                                                                     std::string& error) {
    std::unique_ptr<CPostgresRecordStore> server = CPostgresRecordStore::Create(locator, error);
    if (!server) return nullptr;
    if (localPath.empty()) {
        error = "no folder for the local records file: the system names no data folder";
        return nullptr;
    }
    std::unique_ptr<CSqliteRecordStore> local = CSqliteRecordStore::Open(localPath, error);
    if (!local) return nullptr;
    std::unique_ptr<CSqliteRecordStore> queue = CSqliteRecordStore::Open(localPath, error);
    if (!queue) return nullptr;
    return std::unique_ptr<CForwardingRecordStore>(
        new CForwardingRecordStore(std::move(local), std::move(queue), std::move(server)));
}

CForwardingRecordStore::CForwardingRecordStore(std::unique_ptr<CSqliteRecordStore> local,
                                               std::unique_ptr<CSqliteRecordStore> queue,
                                               std::unique_ptr<CPostgresRecordStore> server)
    : m_local(std::move(local)),
      m_queue(std::move(queue)),
      m_server(std::move(server)),
      m_destination(m_server->Destination()) {}

bool CForwardingRecordStore::Append(const UnitRecord& record) {
    if (m_local->AppendQueued(record, m_destination)) return true;
    m_error = m_local->LastError();
    return false;
}

bool CForwardingRecordStore::Query(const RecordQuery& query, std::vector<UnitRecord>& out) {
    if (m_server->Query(query, out)) return true;
    m_error = m_server->LastError();
    return false;
}

// The local file holds every record this station made, forwarded or not;
// the server also those of the line's other stations.
bool CForwardingRecordStore::HasPassedRecord(const std::string& chipId, const std::string& imageSha256,
                                             bool& found) {
    if (!m_local->HasPassedRecord(chipId, imageSha256, found)) {
        m_error = m_local->LastError();
        return false;
    }
    if (found) return true;
    if (m_server->HasPassedRecord(chipId, imageSha256, found)) return true;
    m_error = m_server->LastError();
    return false;
}

ForwardState CForwardingRecordStore::Forward() {
    std::vector<UnitRecord> batch;
    for (;;) {
        if (!m_queue->Queued(m_destination, kForwardBatch, batch)) {
            m_forwardError = m_queue->LastError();
            return ForwardState::Away;
        }
        if (batch.empty()) return ForwardState::Done;
        if (!m_server->AppendAll(batch)) {
            m_forwardError = m_server->LastError();
            return ForwardState::Away;
        }
        // Should this fail, the batch goes again next time and the server skips it.
        if (!m_queue->Unqueue(batch)) {
            m_forwardError = m_queue->LastError();
            return ForwardState::Away;
        }
    }
}
