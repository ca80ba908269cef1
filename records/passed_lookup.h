#pragma once
// Answers whether a unit already passed with an image, for a station's bays:
// the records of this station's file first (every record it made, forwarded
// or not), then, for a line, the server's (the other stations' too). It keeps
// connections of its own, opened on first use, beside the record writer's.
//
// A server that does not answer costs one bounded wait; it is then not asked
// again for a while, so a hung server does not hold up every unit. What the
// lookup cannot tell counts as not passed: the unit is flashed.
//
// Threads: Passed from any thread (one question at a time); Abandon from any
// thread; the constructor and destructor from the owner's.
#include <chrono>
#include <memory>
#include <mutex>
#include <string>

#include "records/postgres_store.h"
#include "records/record_store.h"

class CPassedLookup {
public:
    // localPath: the station's records file (IRecordStore::LocalPath); server:
    // the line's server when the records go to one, else "".
    explicit CPassedLookup(std::string localPath, const std::string& server = {});
    CPassedLookup(const CPassedLookup&) = delete;
    CPassedLookup& operator=(const CPassedLookup&) = delete;

    // Whether the chip (ChipIdText) has a passed record for the image's SHA-256.
    bool Passed(const std::string& chipId, const std::string& imageSha256);
    // Ends a wait on the server at once, and every later one (the run stops).
    void Abandon();

private:
    using Clock = std::chrono::steady_clock;
    bool PassedOnServer(const std::string& chipId, const std::string& imageSha256);

    const std::string m_localPath;
    std::mutex m_lock;  // one question at a time: each store serves one thread
    std::unique_ptr<IRecordStore> m_local;
    std::unique_ptr<CPostgresRecordStore> m_server;
    Clock::time_point m_serverQuietUntil{};
};
