#include "records/record_writer.h"

CRecordWriter::CRecordWriter(std::unique_ptr<IRecordStore> store, EventHandler onEvent, RecordWriterOptions options)
    : m_store(std::move(store)), m_onEvent(std::move(onEvent)), m_options(options), m_thread([this] { Run(); }) {}

CRecordWriter::~CRecordWriter() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_one();
    m_thread.join();
}

void CRecordWriter::Submit(UnitRecord record) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_queue.push_back(std::move(record));
        ++m_submitted;
    }
    m_wake.notify_one();
}

void CRecordWriter::Flush() {
    std::unique_lock<std::mutex> lock(m_mutex);
    const uint64_t target = m_submitted;
    m_settled.wait(lock, [&] { return m_finished >= target; });
}

void CRecordWriter::Run() {
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        const auto due = [&] { return !m_queue.empty() || m_stopping; };
        if (m_serverAway)
            m_wake.wait_until(lock, m_nextRetry, due);
        else
            m_wake.wait(lock, due);
        std::deque<UnitRecord> batch;
        batch.swap(m_queue);
        const bool stopping = m_stopping;
        lock.unlock();
        for (const UnitRecord& record : batch) Store(record);
        // While the server is away, new records only wait locally until the
        // next retry: a dead server costs one connection timeout per interval,
        // not one per record.
        if (!m_serverAway || Clock::now() >= m_nextRetry) Forward();
        lock.lock();
        m_finished += batch.size();
        m_settled.notify_all();
        if (stopping && m_queue.empty()) return;
    }
}

void CRecordWriter::Store(const UnitRecord& record) {
    if (m_store->Append(record))
        Report(RecordWriterEvent::Kind::Stored, record.id, {});
    else
        Report(RecordWriterEvent::Kind::StoreFailed, record.id, m_store->LastError());
}

void CRecordWriter::Forward() {
    const ForwardState state = m_store->Forward();
    if (state == ForwardState::Away) {
        m_nextRetry = Clock::now() + m_options.retryInterval;
        if (!m_serverAway) Report(RecordWriterEvent::Kind::ServerAway, {}, m_store->LastError());
        m_serverAway = true;
    } else if (state == ForwardState::Done && m_serverAway) {
        m_serverAway = false;
        Report(RecordWriterEvent::Kind::ServerBack, {}, m_store->Where());
    }
}

void CRecordWriter::Report(RecordWriterEvent::Kind kind, const std::string& id, const std::string& message) const {
    if (!m_onEvent) return;
    RecordWriterEvent event;
    event.kind = kind;
    event.recordId = id;
    event.message = message;
    m_onEvent(event);
}

