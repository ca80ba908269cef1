#pragma once
// Server-Sent Events to many browsers without ever holding up a bay.
//
// Threads: Publish is called on the bays' threads (through the web server's
// IStationEvents) and must never block on a client: it only appends to each
// client's bounded queue under a short lock. A client whose queue is full is
// dropped (its connection ends and the browser reconnects, resuming with
// Last-Event-ID from the replay buffer). Subscribe, Next and Unsubscribe are
// called on the HTTP server's worker threads, one per connected client.
#include <chrono>
#include <cstddef>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

struct HubEvent {
    uint64_t id = 0;
    std::string name;  // the SSE event name
    std::string data;  // one line of JSON
};

class CEventHub {
public:
    static constexpr size_t kClientQueue = 256;   // events a client may lag behind before it is dropped
    static constexpr size_t kReplay = 512;        // events kept for Last-Event-ID
    static constexpr size_t kMaxClients = 64;
    static constexpr size_t kGatherLimit = kClientQueue / 2;  // a gathering stream takes its events from here on

    struct Client {
        std::deque<HubEvent> queue;
        bool dropped = false;
    };

    // Any thread; never blocks on a client.
    void Publish(const std::string& name, const std::string& data);
    // A new client. One that resumes (resume set) has its queue primed with
    // what came after lastEventId that the replay buffer still holds.
    // Null when there are kMaxClients already or the hub is closed.
    std::shared_ptr<Client> Subscribe(bool resume, uint64_t lastEventId);
    void Unsubscribe(const std::shared_ptr<Client>& client);
    // Waits up to `wait` for the client's next events, then up to `gather`
    // for more to come with them (until kGatherLimit are queued), so that
    // events close together go out in one write; false when the client was
    // dropped, or the hub closed and its last events were handed over (the
    // connection ends).
    [[nodiscard]] bool Next(const std::shared_ptr<Client>& client, std::vector<HubEvent>& out,
                            std::chrono::milliseconds wait,
                            std::chrono::milliseconds gather = std::chrono::milliseconds(0));
    // Ends every client's wait for good (the server stops).
    void Close();
    // Waits up to `wait` until every client has unsubscribed; false when some remain.
    [[nodiscard]] bool WaitForNoClients(std::chrono::milliseconds wait);
    size_t ClientCount() const;
    uint64_t LastId() const;

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::vector<std::shared_ptr<Client>> m_clients;
    std::deque<HubEvent> m_replay;
    uint64_t m_nextId = 1;
    bool m_closed = false;
};

// One event in the SSE wire format: "id: N\nevent: NAME\ndata: JSON\n\n".
std::string SseText(const HubEvent& event);
