#include "records/record_writer.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "link/file_path.h"
#include "records/record_columns.h"
#include "records/record_time.h"

namespace {

std::string CsvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string out = "\"";
    for (char c : text) out += c == '"' ? std::string("\"\"") : std::string(1, c);
    return out + '"';
}

// The records as CSV (the table's columns, a header first); false when the file cannot be written whole.
bool WriteCsv(const std::string& path, const std::vector<UnitRecord>& records) {
    std::ofstream out(PathFromUtf8(path), std::ios::binary | std::ios::trunc);
    std::string header;
    for (const RecordColumn& column : RecordColumns()) header += (header.empty() ? "" : ",") + std::string(column.name);
    out << header << "\n";
    for (const UnitRecord& record : records) {
        std::string line;
        for (const std::string& value : RecordToRow(record)) line += (line.empty() ? "" : ",") + CsvField(value);
        out << line << "\n";
    }
    out.flush();
    return static_cast<bool>(out);
}

}  // namespace

CRecordWriter::CRecordWriter(std::unique_ptr<IRecordStore> store, EventHandler onEvent, RecordWriterOptions options)
    : m_store(std::move(store)),
      m_onEvent(std::move(onEvent)),
      m_options(options),
      m_localPath(m_store->LocalPath()),
      m_thread([this] { Run(); }),
      m_forwardThread([this] { RunForwarding(); }) {}

CRecordWriter::~CRecordWriter() {
    if (!m_closed) (void)Close();
}

void CRecordWriter::Submit(UnitRecord record) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_queue.push_back(std::move(record));
        ++m_submitted;
    }
    m_wake.notify_one();
}

std::string CRecordWriter::RecordsTrouble() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_healthy ? std::string() : m_trouble;
}

void CRecordWriter::Flush() {
    std::unique_lock<std::mutex> lock(m_mutex);
    const uint64_t target = m_submitted;
    // Records that cannot be committed are Close's to try and save aside.
    m_settled.wait_for(lock, m_options.stopCommitWait, [&] { return m_committed >= target || !m_healthy; });
    const auto committed = static_cast<int64_t>(m_committed);
    m_settled.wait_for(lock, m_options.stopForwardWait,
                       [&] { return !m_forwarding || m_serverAway || m_forwardTried >= committed; });
}

RecordWriterResult CRecordWriter::Close() {
    m_closed = true;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
        m_commitDeadline = Clock::now() + m_options.stopCommitWait;
    }
    m_wake.notify_one();
    m_thread.join();
    std::unique_lock<std::mutex> lock(m_mutex);
    const auto committed = static_cast<int64_t>(m_committed);
    m_settled.wait_for(lock, m_options.stopForwardWait,
                       [&] { return !m_forwarding || m_serverAway || m_forwardTried >= committed; });
    m_forwardStop = true;
    const bool forwardPending = m_forwarding && (m_serverAway || m_forwardTried < committed);
    lock.unlock();
    // A server that hangs may hold forwarding in a wait: ended here, its records stay queued.
    m_store->StopForwarding();
    m_forwardWake.notify_one();
    m_forwardThread.join();

    RecordWriterResult result;
    result.forwardPending = forwardPending;
    lock.lock();
    const std::vector<UnitRecord> left(m_queue.begin(), m_queue.end());
    result.uncommitted = left.size();
    result.reason = m_trouble;
    lock.unlock();
    if (!left.empty()) result.savedTo = SaveAside(left);
    return result;
}

void CRecordWriter::Run() {
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        const bool failing = !m_healthy;
        if (m_stopping && (m_queue.empty() || (failing && Clock::now() >= m_commitDeadline))) return;
        if (m_queue.empty()) {
            m_wake.wait(lock, [&] { return !m_queue.empty() || m_stopping; });
            continue;
        }
        if (failing && Clock::now() < m_nextCommit) {
            // Close shortens the wait to its deadline.
            m_wake.wait_until(lock, m_stopping ? std::min(m_nextCommit, m_commitDeadline) : m_nextCommit);
            continue;
        }
        (void)CommitFront(lock);
    }
}

bool CRecordWriter::CommitFront(std::unique_lock<std::mutex>& lock) {
    const UnitRecord record = m_queue.front();  // stays queued until committed
    lock.unlock();
    const bool ok = m_store->Append(record);
    const std::string error = ok ? std::string() : m_store->LastError();
    lock.lock();
    const bool wasHealthy = m_healthy;
    if (!ok) {
        m_backoff = std::min(wasHealthy ? m_options.commitRetry : m_backoff * 2, m_options.commitRetryLongest);
        m_nextCommit = Clock::now() + m_backoff;
        m_trouble = error;
        lock.unlock();
        if (wasHealthy) Report(RecordWriterEvent::Kind::StoreFailed, record.id, error);
        lock.lock();
        m_healthy = false;  // once said, so that Flush returns with the news
        m_settled.notify_all();
        return false;
    }
    m_queue.pop_front();
    m_healthy = true;
    m_trouble.clear();
    lock.unlock();
    if (!wasHealthy) Report(RecordWriterEvent::Kind::StoreBack, {}, m_store->LocalPath());
    Report(RecordWriterEvent::Kind::Stored, record.id, {});
    lock.lock();
    ++m_committed;  // counted once said, so that Flush returns with the news
    m_settled.notify_all();
    m_forwardWake.notify_one();
    return true;
}

// Forwards on a thread of its own: at the start (what earlier runs left
// queued), after each commit, and while the server is away at every retry.
void CRecordWriter::RunForwarding() {
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        const auto due = [&] {
            return m_forwardStop || (!m_serverAway && static_cast<int64_t>(m_committed) > m_forwardTried);
        };
        if (m_serverAway)
            m_forwardWake.wait_until(lock, m_nextForward, [&] { return m_forwardStop; });
        else if (m_forwardTried >= 0)
            m_forwardWake.wait(lock, due);
        if (m_forwardStop) return;
        const auto committed = static_cast<int64_t>(m_committed);
        lock.unlock();
        const ForwardState state = m_store->Forward();
        const std::string error = state == ForwardState::Away ? m_store->ForwardError() : std::string();
        OnForwarded(state, error);
        lock.lock();
        m_forwardTried = committed;
        m_forwarding = state != ForwardState::None;
        m_settled.notify_all();
        if (!m_forwarding) return;
    }
}

// Reports the server leaving and coming back (the writer's forwarding thread).
void CRecordWriter::OnForwarded(ForwardState state, const std::string& error) {
    bool away = false, back = false;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (state == ForwardState::Away) {
            m_nextForward = Clock::now() + m_options.retryInterval;
            away = !m_serverAway;
            m_serverAway = true;
        } else if (state == ForwardState::Done && m_serverAway) {
            m_serverAway = false;
            back = true;
        }
    }
    if (away) Report(RecordWriterEvent::Kind::ServerAway, {}, error);
    if (back) Report(RecordWriterEvent::Kind::ServerBack, {}, m_store->Where());
}

void CRecordWriter::Report(RecordWriterEvent::Kind kind, const std::string& id, const std::string& message) const {
    if (!m_onEvent) return;
    RecordWriterEvent event;
    event.kind = kind;
    event.recordId = id;
    event.message = message;
    m_onEvent(event);
}

std::string CRecordWriter::SaveAside(const std::vector<UnitRecord>& records) const {
    const std::string name = "unsaved-records-" + std::to_string(UtcNowMs()) + ".csv";
    std::vector<std::string> candidates;
    if (!m_localPath.empty()) candidates.push_back(m_localPath + "." + name);
    std::error_code code;
    const std::filesystem::path temp = std::filesystem::temp_directory_path(code);
    if (!code) candidates.push_back(Utf8FromPath(temp / ("kavro-" + name)));
    for (const std::string& path : candidates) {
        if (WriteCsv(path, records)) return path;
        std::filesystem::remove(PathFromUtf8(path), code);  // a part is no help to anyone
    }
    return {};
}
