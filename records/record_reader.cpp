#include "records/record_reader.h"

CRecordReader::CRecordReader(ResultHandler onResult) : m_onResult(std::move(onResult)), m_thread([this] { Run(); }) {}

CRecordReader::~CRecordReader() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_one();
    m_thread.join();
}

void CRecordReader::Request(const std::string& locator, const RecordQuery& query) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_pending = Pending{locator, query};
    }
    m_wake.notify_one();
}

void CRecordReader::Run() {
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_pending.has_value() || m_stopping; });
        if (m_stopping) return;
        const Pending request = std::move(*m_pending);
        m_pending.reset();
        lock.unlock();
        m_onResult(Read(request));
        lock.lock();
    }
}

RecordReadResult CRecordReader::Read(const Pending& request) {
    RecordReadResult result;
    result.locator = request.locator;
    if (!m_store || m_storeLocator != request.locator) {
        m_store = OpenRecordStore(request.locator, result.error);
        m_storeLocator = m_store ? request.locator : std::string();
        if (!m_store) return result;
    }
    result.ok = m_store->Query(request.query, result.records);
    if (!result.ok) result.error = m_store->LastError();
    return result;
}
