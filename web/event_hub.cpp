#include "web/event_hub.h"

#include <algorithm>

void CEventHub::Publish(const std::string& name, const std::string& data) {
    // Only a change a waiting stream acts on wakes the streams: its first
    // event, a half-full queue (it stops gathering), a drop.
    bool wake = false;
    {
        std::lock_guard lock(m_mutex);
        if (m_closed) return;
        HubEvent event{m_nextId++, name, data};
        for (const auto& client : m_clients) {
            if (client->dropped) continue;
            // A client that lags this far behind is let go rather than letting it hold memory or time.
            if (client->queue.size() >= kClientQueue) {
                client->dropped = true;
                client->queue.clear();
                wake = true;
                continue;
            }
            client->queue.push_back(event);
            wake = wake || client->queue.size() == 1 || client->queue.size() == kGatherLimit;
        }
        m_replay.push_back(std::move(event));
        if (m_replay.size() > kReplay) m_replay.pop_front();
    }
    if (wake) m_wake.notify_all();
}

std::shared_ptr<CEventHub::Client> CEventHub::Subscribe(bool resume, uint64_t lastEventId) {
    std::lock_guard lock(m_mutex);
    if (m_closed || m_clients.size() >= kMaxClients) return nullptr;
    auto client = std::make_shared<Client>();
    if (resume) {
        for (const HubEvent& event : m_replay)
            if (event.id > lastEventId && client->queue.size() < kClientQueue) client->queue.push_back(event);
    }
    m_clients.push_back(client);
    return client;
}

void CEventHub::Unsubscribe(const std::shared_ptr<Client>& client) {
    {
        std::lock_guard lock(m_mutex);
        m_clients.erase(std::remove(m_clients.begin(), m_clients.end(), client), m_clients.end());
    }
    m_wake.notify_all();
}

bool CEventHub::WaitForNoClients(std::chrono::milliseconds wait) {
    std::unique_lock lock(m_mutex);
    return m_wake.wait_for(lock, wait, [&] { return m_clients.empty(); });
}

bool CEventHub::Next(const std::shared_ptr<Client>& client, std::vector<HubEvent>& out,
                     std::chrono::milliseconds wait, std::chrono::milliseconds gather) {
    std::unique_lock lock(m_mutex);
    m_wake.wait_for(lock, wait, [&] { return m_closed || client->dropped || !client->queue.empty(); });
    if (gather.count() > 0 && !client->queue.empty()) {
        m_wake.wait_for(lock, gather,
                        [&] { return m_closed || client->dropped || client->queue.size() >= kGatherLimit; });
    }
    // A closing hub still hands over what it queued (the last units of a
    // station that ends), then ends the stream.
    if (client->dropped || (m_closed && client->queue.empty())) return false;
    out.assign(client->queue.begin(), client->queue.end());
    client->queue.clear();
    return true;
}

void CEventHub::Close() {
    {
        std::lock_guard lock(m_mutex);
        m_closed = true;
    }
    m_wake.notify_all();
}

size_t CEventHub::ClientCount() const {
    std::lock_guard lock(m_mutex);
    return m_clients.size();
}

uint64_t CEventHub::LastId() const {
    std::lock_guard lock(m_mutex);
    return m_nextId - 1;
}

std::string SseText(const HubEvent& event) {
    return "id: " + std::to_string(event.id) + "\nevent: " + event.name + "\ndata: " + event.data + "\n\n";
}
