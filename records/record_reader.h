#pragma once
// Reads records off the caller's thread, so that a window showing them never
// waits on the store (a line's server may take its whole connection time-out
// to answer). Request returns at once; the reader's own thread opens the store
// (its own connection, opened again when the locator changes), runs the query
// and hands the result to the handler. Requests made while a read runs fold
// into one read of the newest request.
//
// Threads: Request from any thread; the constructor and the destructor from
// the owner's thread. The handler runs on the reader's thread and must not
// block. The destructor waits for a read under way, then joins.
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "records/record_store.h"

struct RecordReadResult {
    std::string locator;
    bool ok = false;
    std::vector<UnitRecord> records;  // when ok
    std::string error;                // when not ok: why, naming the store
};

class CRecordReader {
public:
    using ResultHandler = std::function<void(RecordReadResult)>;

    explicit CRecordReader(ResultHandler onResult);
    ~CRecordReader();
    CRecordReader(const CRecordReader&) = delete;
    CRecordReader& operator=(const CRecordReader&) = delete;

    void Request(const std::string& locator, const RecordQuery& query);

private:
    struct Pending {
        std::string locator;
        RecordQuery query;
    };

    void Run();
    RecordReadResult Read(const Pending& request);

    ResultHandler m_onResult;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::optional<Pending> m_pending;
    bool m_stopping = false;

    // The reader thread's own.
    std::unique_ptr<IRecordStore> m_store;
    std::string m_storeLocator;
    std::thread m_thread;  // last: started once everything it uses exists
};
