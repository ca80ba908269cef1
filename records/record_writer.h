#pragma once
// Keeps records off the bays' workers: Submit queues a record and returns at
// once; one thread of the writer's own commits them to the store in order.
//
// Threads: Submit from any thread; the constructor, Flush and the destructor
// from the owner's thread. Events are called on the writer's thread and must
// not block.
#include <functional>
#include <memory>
#include <string>

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

class CRecordWriter {
public:
    using EventHandler = std::function<void(const RecordWriterEvent&)>;

    explicit CRecordWriter(std::unique_ptr<IRecordStore> store, EventHandler onEvent = {});
    // Commits what is queued, then joins the writer's thread.
    ~CRecordWriter();
    CRecordWriter(const CRecordWriter&) = delete;
    CRecordWriter& operator=(const CRecordWriter&) = delete;

    void Submit(UnitRecord record);
    // Waits until every record submitted so far has been committed or has failed.
    void Flush();
};
