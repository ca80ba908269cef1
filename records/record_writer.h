#pragma once
// Keeps records off the bays' workers: Submit queues a record and returns at
// once; one thread of the writer's own commits them to the store in order.
//
// Threads: Submit from any thread; the constructor, Flush and the destructor
// from the owner's thread. Events are called on the writer's thread and must
// not block.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "records/record_store.h"

struct RecordWriterEvent {
    enum class Kind {
        Stored,          // a record is committed
        StoreFailed,     // a record could not be committed (message says why)
        ServerAway,      // the line's server cannot be reached; records wait locally
        ServerBack,      // the server answers again; the backlog is being forwarded
    };
    Kind kind = Kind::Stored;
    std::string recordId;
    std::string message;
};

struct RecordWriterOptions {
    // While the line's server is away, how often forwarding is tried again.
    std::chrono::milliseconds retryInterval{5000};
};

class CRecordWriter {
public:
    using EventHandler = std::function<void(const RecordWriterEvent&)>;

    explicit CRecordWriter(std::unique_ptr<IRecordStore> store, EventHandler onEvent = {},
                           RecordWriterOptions options = {});
    // Commits what is queued, then joins the writer's thread.
    ~CRecordWriter();
    CRecordWriter(const CRecordWriter&) = delete;
    CRecordWriter& operator=(const CRecordWriter&) = delete;

    void Submit(UnitRecord record);
    // Waits until every record submitted so far has been committed or has
    // failed (and, for a store that forwards, one attempt to forward it made).
    void Flush();

private:
    using Clock = std::chrono::steady_clock;

    void Run();
    // Commits one record and reports it.
    void Store(const UnitRecord& record);
    // Forwards what waits for the server; reports the server leaving and coming back.
    void Forward();
    void Report(RecordWriterEvent::Kind kind, const std::string& id, const std::string& message) const;

    std::unique_ptr<IRecordStore> m_store;
    EventHandler m_onEvent;
    RecordWriterOptions m_options;

    std::mutex m_mutex;
    std::condition_variable m_wake;     // a record queued, or the end
    std::condition_variable m_settled;  // records finished (for Flush)
    std::deque<UnitRecord> m_queue;
    uint64_t m_submitted = 0;
    uint64_t m_finished = 0;
    bool m_stopping = false;

    // The writer thread's own: whether the server was away at the last attempt.
    bool m_serverAway = false;
    Clock::time_point m_nextRetry{};
    std::thread m_thread;  // last: started once everything it uses exists
};
