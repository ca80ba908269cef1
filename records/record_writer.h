#pragma once
// Keeps records off the bays' workers: Submit queues a record and returns at
// once; one thread of the writer's own commits them to the store in order,
// and, for a store that forwards to a line's server, a second thread forwards
// them beside it, so that a server that hangs never holds up a local commit.
//
// A record that cannot be committed (a file locked by another program, a full
// disk) is kept and tried again, waiting longer each time, until it commits;
// meanwhile RecordsHealthy is false. Close ends the writer within a bounded
// time: records still not committed are saved to a file of their own and
// named in its result, and what waits for the server stays queued locally.
//
// Threads: Submit, RecordsHealthy and RecordsTrouble from any thread; the
// constructor, Flush, Close and the destructor from the owner's thread.
// Events are called on the writer's threads (never under its lock) and must
// not block.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "records/record_store.h"

struct RecordWriterEvent {
    enum class Kind {
        Stored,       // a record is committed
        StoreFailed,  // records cannot be committed now (message says why); they are kept and tried again
        StoreBack,    // records commit again after StoreFailed
        ServerAway,   // the line's server cannot be reached; records wait locally
        ServerBack,   // the server answers again; the backlog is being forwarded
    };
    Kind kind = Kind::Stored;
    std::string recordId;
    std::string message;
};

struct RecordWriterOptions {
    // While the line's server is away, how often forwarding is tried again.
    std::chrono::milliseconds retryInterval{5000};
    // After a failed commit, the first wait before the next try; it doubles up to the longest.
    std::chrono::milliseconds commitRetry{250};
    std::chrono::milliseconds commitRetryLongest{4000};
    // How long Flush and Close wait for records still not committed, and then
    // for forwarding to send what was committed.
    std::chrono::milliseconds stopCommitWait{10000};
    std::chrono::milliseconds stopForwardWait{3000};
};

// What Close leaves behind.
struct RecordWriterResult {
    size_t uncommitted = 0;  // records the store never committed
    std::string savedTo;     // the file they were saved to instead ("" : none could be written)
    std::string reason;      // why they could not be committed
    bool forwardPending = false;  // records committed locally still wait for the line's server
};

class CRecordWriter {
public:
    using EventHandler = std::function<void(const RecordWriterEvent&)>;

    explicit CRecordWriter(std::unique_ptr<IRecordStore> store, EventHandler onEvent = {},
                           RecordWriterOptions options = {});
    // Closes, when Close was not called.
    ~CRecordWriter();
    CRecordWriter(const CRecordWriter&) = delete;
    CRecordWriter& operator=(const CRecordWriter&) = delete;

    void Submit(UnitRecord record);
    // Waits until every record submitted so far is committed (at most
    // stopCommitWait; not at all while commits fail) and then until forwarding has tried to send it (at most
    // stopForwardWait; not at all while the server is away).
    void Flush();
    // Stops the writer: commits what is queued (trying records that fail
    // again for up to stopCommitWait), lets forwarding run for up to
    // stopForwardWait, then stops it, and saves records that were never
    // committed beside the store's local file (or in the temporary folder).
    // Submit must not be called after it.
    [[nodiscard]] RecordWriterResult Close();

    // Whether records are being kept: false from a commit that fails until
    // one succeeds again. While it is false the station takes no new units
    // (and shows RecordsTrouble): records made meanwhile only wait in memory.
    bool RecordsHealthy() const { return m_healthy; }
    // Why records cannot be kept, naming the file ("" while healthy).
    std::string RecordsTrouble() const;

private:
    using Clock = std::chrono::steady_clock;

    void Run();
    void RunForwarding();
    // Commits the oldest queued record; false (with the lock held again) when it failed.
    bool CommitFront(std::unique_lock<std::mutex>& lock);
    void OnForwarded(ForwardState state, const std::string& error);
    void Report(RecordWriterEvent::Kind kind, const std::string& id, const std::string& message) const;
    // Writes records as CSV to a new file; the file's name, or "" when none could be written.
    std::string SaveAside(const std::vector<UnitRecord>& records) const;

    std::unique_ptr<IRecordStore> m_store;
    EventHandler m_onEvent;
    RecordWriterOptions m_options;
    const std::string m_localPath;

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;       // a record queued, or the end
    std::condition_variable m_settled;    // records committed or forwarded (for Flush)
    std::condition_variable m_forwardWake;  // a record committed, or the end of forwarding
    std::deque<UnitRecord> m_queue;       // until committed
    uint64_t m_submitted = 0;
    uint64_t m_committed = 0;
    bool m_stopping = false;
    Clock::time_point m_commitDeadline{};  // once stopping
    std::atomic<bool> m_healthy{true};
    std::string m_trouble;
    std::chrono::milliseconds m_backoff{0};
    Clock::time_point m_nextCommit{};

    // Forwarding: the commits it has tried to send, whether it still runs.
    int64_t m_forwardTried = -1;
    bool m_forwarding = true;
    bool m_forwardStop = false;
    bool m_serverAway = false;
    Clock::time_point m_nextForward{};
    bool m_closed = false;

    // Last: started once everything they use exists.
    std::thread m_thread;
    std::thread m_forwardThread;
};
