#pragma once
// The station's web console: an HTTP server (cpp-httplib) in front of CWebApi.
//
// Threads:
//  - the owner thread (the station's) constructs it, calls Start, RunControls
//    regularly, Stop and the destructor;
//  - the server has one listening thread of its own and a pool of worker
//    threads (kWorkers), each serving one connection at a time; an event
//    stream holds its worker for as long as the browser stays;
//  - Api().OnStationEvent and Api().OnRecordStored are the bays' and the
//    record writer's: they only queue, never wait for a client.
// Stop ends every event stream, answers control requests still waiting with
// 503 and joins the server's threads.
#include <atomic>
#include <memory>
#include <string>
#include <thread>

#include "web/web_api.h"

namespace httplib {
class Server;
}

// "[ADDRESS:]PORT" → host (127.0.0.1 when none is given) and port; false when
// it cannot be read. "[::1]:8080" names an IPv6 address.
[[nodiscard]] bool ParseHttpAddress(const std::string& text, std::string& host, int& port);

class CStationWebServer {
public:
    static constexpr int kWorkers = CEventHub::kMaxClients + 8;  // every event client and a few requests

    CStationWebServer(const CStation& station, WebApiConfig config);
    ~CStationWebServer();
    CStationWebServer(const CStationWebServer&) = delete;
    CStationWebServer& operator=(const CStationWebServer&) = delete;

    // Binds and starts serving, returning once the server listens (so that a
    // Stop right after it ends it); false with error set (for a person) when
    // the address cannot be bound. port 0 takes a free port (BoundPort tells which).
    [[nodiscard]] bool Start(const std::string& host, int port, std::string& error);
    void Stop();
    int BoundPort() const { return m_port; }
    CWebApi& Api() { return m_api; }

private:
    void Routes();
    void WaitUntilListening() const;

    CWebApi m_api;
    std::unique_ptr<httplib::Server> m_server;
    std::thread m_listener;
    std::atomic<bool> m_listenEnded{false};
    int m_port = 0;
};

// The token for the control requests. A token file given: its first line.
// None given: a new token, written to a file only this user can read, whose
// path is returned in path. False with error set.
[[nodiscard]] bool LoadOrCreateWebToken(const std::string& given, int port, std::string& token, std::string& path,
                                        std::string& error);
// Writes text to path so that only its owner can read it (a new file; a link there is refused).
[[nodiscard]] bool WritePrivateFile(const std::string& path, const std::string& text, std::string& error);
