// The record writer: Submit never waits for the store, records are committed
// in order, failures are reported, and a store that forwards to a server
// reports the server leaving and coming back, retrying on its own. The record
// reader: requests never wait and fold into the newest.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>
#include <vector>

#include "records/record_reader.h"
#include "records/record_writer.h"
#include "tests/records/record_samples.h"

using recordtest::SampleRecord;
using recordtest::TempDir;
using Clock = std::chrono::steady_clock;

namespace {

// A store the test controls: Append can be held (a store that hangs) or fail;
// Forward answers what the test sets.
class CFakeStore final : public IRecordStore {
public:
    struct Shared {
        std::mutex mutex;
        std::condition_variable changed;
        bool held = false;
        bool failAppends = false;
        ForwardState forward = ForwardState::None;
        int forwardCalls = 0;
        std::vector<std::string> ids;
    };
    explicit CFakeStore(Shared& shared) : m_shared(shared) {}

    bool Append(const UnitRecord& record) override {
        std::unique_lock<std::mutex> lock(m_shared.mutex);
        m_shared.changed.wait(lock, [&] { return !m_shared.held; });
        if (m_shared.failAppends) return false;
        m_shared.ids.push_back(record.id);
        return true;
    }
    bool Query(const RecordQuery&, std::vector<UnitRecord>&) override { return false; }
    std::string LastError() const override { return "fake store: refused"; }
    ForwardState Forward() override {
        std::lock_guard<std::mutex> lock(m_shared.mutex);
        ++m_shared.forwardCalls;
        m_shared.changed.notify_all();
        return m_shared.forward;
    }
    std::string Where() const override { return "fake server"; }

private:
    Shared& m_shared;
};

// Events as the writer reports them, waited for by the test.
struct EventLog {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<RecordWriterEvent> events;

    CRecordWriter::EventHandler Handler() {
        return [this](const RecordWriterEvent& event) {
            std::lock_guard<std::mutex> lock(mutex);
            events.push_back(event);
            changed.notify_all();
        };
    }
    size_t Count(RecordWriterEvent::Kind kind) {
        size_t n = 0;
        for (const RecordWriterEvent& e : events) n += e.kind == kind ? 1 : 0;
        return n;
    }
    bool WaitFor(RecordWriterEvent::Kind kind, size_t count) {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, std::chrono::seconds(20), [&] { return Count(kind) >= count; });
    }
};

}  // namespace

// A store that hangs (a disk that stalls, a lock held elsewhere) must not
// hold up the bays: a thousand submissions return while it is held.
TEST(RecordWriter, SubmitNeverWaitsForAStoreThatHangs) {
    CFakeStore::Shared shared;
    shared.held = true;
    std::vector<std::string> submitted;
    {
        EventLog log;
        CRecordWriter writer(std::make_unique<CFakeStore>(shared), log.Handler());
        Clock::duration longest{};
        for (int n = 0; n < 1000; ++n) {
            UnitRecord record = SampleRecord(n);
            submitted.push_back(record.id);
            const Clock::time_point start = Clock::now();
            writer.Submit(std::move(record));
            longest = std::max(longest, Clock::now() - start);
        }
        // A generous bound: a blocked submission would wait forever.
        EXPECT_LT(longest, std::chrono::milliseconds(500));
        {
            std::lock_guard<std::mutex> lock(shared.mutex);
            EXPECT_TRUE(shared.ids.empty());
            shared.held = false;
        }
        shared.changed.notify_all();
        writer.Flush();
        EXPECT_EQ(log.Count(RecordWriterEvent::Kind::Stored), 1000u);
    }
    EXPECT_EQ(shared.ids, submitted) << "committed in the order submitted";
}

TEST(RecordWriter, SubmissionsFromManyThreadsAreAllCommittedByTheEnd) {
    CFakeStore::Shared shared;
    {
        CRecordWriter writer(std::make_unique<CFakeStore>(shared));
        std::vector<std::thread> bays;
        for (int bay = 0; bay < 8; ++bay)
            bays.emplace_back([&writer, bay] {
                for (int n = 0; n < 100; ++n) writer.Submit(SampleRecord(bay * 100 + n));
            });
        for (std::thread& t : bays) t.join();
    }  // the destructor commits what is queued
    EXPECT_EQ(shared.ids.size(), 800u);
}

TEST(RecordWriter, AFailedCommitIsReportedWithTheStoresReason) {
    CFakeStore::Shared shared;
    shared.failAppends = true;
    EventLog log;
    RecordWriterOptions options;
    options.stopCommitWait = std::chrono::milliseconds(100);  // it is tried again until then
    CRecordWriter writer(std::make_unique<CFakeStore>(shared), log.Handler(), options);
    const UnitRecord record = SampleRecord(1);
    writer.Submit(record);
    writer.Flush();
    std::lock_guard<std::mutex> lock(log.mutex);
    ASSERT_EQ(log.events.size(), 1u);
    EXPECT_EQ(log.events[0].kind, RecordWriterEvent::Kind::StoreFailed);
    EXPECT_EQ(log.events[0].recordId, record.id);
    EXPECT_EQ(log.events[0].message, "fake store: refused");
}

// The server goes away: one ServerAway, forwarding retried on the writer's
// own (no new record needed), one ServerBack when it answers again.
TEST(RecordWriter, AServerThatLeavesAndReturnsIsReportedOnceEachWay) {
    CFakeStore::Shared shared;
    shared.forward = ForwardState::Away;
    EventLog log;
    RecordWriterOptions options;
    options.retryInterval = std::chrono::milliseconds(20);
    CRecordWriter writer(std::make_unique<CFakeStore>(shared), log.Handler(), options);
    writer.Submit(SampleRecord(1));
    ASSERT_TRUE(log.WaitFor(RecordWriterEvent::Kind::ServerAway, 1));
    {
        std::unique_lock<std::mutex> lock(shared.mutex);
        ASSERT_TRUE(shared.changed.wait_for(lock, std::chrono::seconds(20), [&] { return shared.forwardCalls >= 4; }))
            << "retried without new records";
    }
    writer.Submit(SampleRecord(2));
    writer.Flush();
    {
        std::lock_guard<std::mutex> lock(shared.mutex);
        shared.forward = ForwardState::Done;
    }
    ASSERT_TRUE(log.WaitFor(RecordWriterEvent::Kind::ServerBack, 1));
    writer.Submit(SampleRecord(3));
    writer.Flush();
    std::lock_guard<std::mutex> lock(log.mutex);
    EXPECT_EQ(log.Count(RecordWriterEvent::Kind::ServerAway), 1u);
    EXPECT_EQ(log.Count(RecordWriterEvent::Kind::ServerBack), 1u);
    EXPECT_EQ(log.Count(RecordWriterEvent::Kind::Stored), 3u);
    for (const RecordWriterEvent& e : log.events)
        if (e.kind == RecordWriterEvent::Kind::ServerAway) {
            EXPECT_EQ(e.message, "fake store: refused");
        }
}

// The reader keeps a window off the store: Request returns while a read is
// still being handed over, requests made meanwhile fold into one read of the
// newest, and a store that cannot be opened is named.
TEST(RecordReader, RequestsNeverWaitAndFoldIntoTheNewest) {
    TempDir dir;
    const std::string first = dir.File("first.sqlite");
    const std::string second = dir.File("second.sqlite");
    for (const std::string& path : {first, second}) {
        std::string error;
        std::unique_ptr<IRecordStore> store = OpenRecordStore(path, error);
        ASSERT_NE(store, nullptr) << error;
        ASSERT_TRUE(store->Append(SampleRecord(path == first ? 1 : 2)));
    }
    std::mutex mutex;
    std::condition_variable changed;
    bool held = true;
    std::vector<RecordReadResult> results;
    CRecordReader reader([&](RecordReadResult result) {
        std::unique_lock<std::mutex> lock(mutex);
        results.push_back(std::move(result));
        changed.notify_all();
        changed.wait(lock, [&] { return !held; });
    });
    const auto waitFor = [&](size_t count) {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, std::chrono::seconds(20), [&] { return results.size() >= count; });
    };
    reader.Request(first, RecordQuery());
    ASSERT_TRUE(waitFor(1));
    const Clock::time_point start = Clock::now();
    reader.Request(dir.File("skipped.sqlite"), RecordQuery());
    reader.Request(second, RecordQuery());
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(500));  // generous: a waiting call never returns
    {
        std::lock_guard<std::mutex> lock(mutex);
        held = false;
    }
    changed.notify_all();
    ASSERT_TRUE(waitFor(2));
    const std::string junk = dir.File("junk.sqlite");
    std::ofstream(junk) << "not a database, but long enough to be read as one's header";
    reader.Request(junk, RecordQuery());
    ASSERT_TRUE(waitFor(3));

    std::lock_guard<std::mutex> lock(mutex);
    ASSERT_EQ(results.size(), 3u);
    EXPECT_TRUE(results[0].ok);
    ASSERT_EQ(results[0].records.size(), 1u);
    EXPECT_EQ(results[1].locator, second) << "the folded request is the newest";
    EXPECT_FALSE(std::filesystem::exists(dir.File("skipped.sqlite")));
    ASSERT_EQ(results[1].records.size(), 1u);
    EXPECT_NE(results[1].records[0].id, results[0].records[0].id);
    EXPECT_FALSE(results[2].ok);
    EXPECT_NE(results[2].error.find(junk), std::string::npos) << results[2].error;
}
