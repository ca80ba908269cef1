#include "web/station_web_server.h"

#include <charconv>

#include <httplib.h>

#include "res/translation.h"

namespace {
constexpr std::chrono::milliseconds kEventWait{1000};
// Events that come close together go out in one write (up to this long after
// the first of them): with many bays a stream would otherwise wake its worker
// (and its browser) for every block of every bay.
constexpr std::chrono::milliseconds kEventBatch{100};
// How long a stopping server lets its event streams finish.
constexpr std::chrono::milliseconds kStreamsEndWait{1000};
constexpr size_t kMaxBody = 64 * 1024;
// The kernel's send buffer of each connection (the system doubles it). Left to
// itself it grows to megabytes for a client that does not read, which would
// hide such a client from its bounded queue for that long: this way it falls
// behind after a few dozen events and is dropped.
constexpr int kSendBuffer = 32 * 1024;

// Accepted connections take the listening socket's options.
void ConnectionOptions(socket_t sock) {
    httplib::default_socket_options(sock);
    const int size = kSendBuffer;
    setsockopt(sock, SOL_SOCKET, SO_SNDBUF, reinterpret_cast<const char*>(&size), sizeof size);
}

WebRequest ToWebRequest(const httplib::Request& request) {
    WebRequest web;
    web.method = request.method;
    web.path = request.path;
    for (const auto& [name, value] : request.params) web.query.emplace(name, value);
    web.authorization = request.get_header_value("Authorization");
    web.body = request.body;
    return web;
}

void Send(const WebResponse& web, httplib::Response& response) {
    response.status = web.status;
    response.set_content(web.body, web.contentType.c_str());
    response.set_header("Cache-Control", "no-store");
    response.set_header("X-Content-Type-Options", "nosniff");
}

// By HTTP/1.1 a request with neither Content-Length nor Transfer-Encoding has
// no body (`curl -X POST`); the library would wait for the connection to end
// for one and then answer 400.
bool BodylessWithoutLength(const httplib::Request& request) {
    const bool mayHaveBody = request.method == "POST" || request.method == "PUT" || request.method == "PATCH" ||
                             request.method == "DELETE";
    return mayHaveBody && !request.has_header("Content-Length") && !request.has_header("Transfer-Encoding");
}

// A browser that reconnects names the last event it saw.
bool LastEventId(const httplib::Request& request, uint64_t& id) {
    if (!request.has_header("Last-Event-ID")) return false;
    const std::string text = request.get_header_value("Last-Event-ID");
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), id);
    return ec == std::errc() && end == text.data() + text.size();
}
}  // namespace

CStationWebServer::CStationWebServer(const CStation& station, WebApiConfig config)
    : m_api(station, std::move(config)), m_server(std::make_unique<httplib::Server>()) {}

CStationWebServer::~CStationWebServer() { Stop(); }

bool CStationWebServer::Start(const std::string& host, int port, std::string& error) {
    Routes();
    m_server->new_task_queue = [] { return new httplib::ThreadPool(kWorkers); };
    m_server->set_payload_max_length(kMaxBody);
    m_server->set_read_timeout(5, 0);   // a slow sender is let go after 5 s
    m_server->set_write_timeout(5, 0);  // as is a reader that stops reading
    m_server->set_keep_alive_max_count(100);
    m_server->set_socket_options(ConnectionOptions);
    if (port == 0) {
        m_port = m_server->bind_to_any_port(host);
    } else {
        m_port = m_server->bind_to_port(host, port) ? port : -1;
    }
    if (m_port <= 0) {
        error = FormatText(Tr("The web console cannot listen on %s port %s."), {host, std::to_string(port)});
        return false;
    }
    m_listener = std::thread([this] {
        static_cast<void>(m_server->listen_after_bind());
        m_listenEnded = true;
    });
    WaitUntilListening();
    return true;
}

// The library's stop() does nothing before its listener has begun to run: a
// Stop right after Start (the window serving again for a new run) would then
// leave the listener waiting in accept() for ever, and Stop waiting for it.
void CStationWebServer::WaitUntilListening() const {
    while (!m_server->is_running() && !m_listenEnded) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

void CStationWebServer::Stop() {
    m_api.Hub().Close();
    m_api.CancelControls();
    if (m_listener.joinable()) {
        // The streams hand over what they still hold (the last units of a
        // station that ends) and end, for a stopping server writes to none of
        // them; one whose client does not read is cut off after the wait.
        static_cast<void>(m_api.Hub().WaitForNoClients(kStreamsEndWait));
        m_server->stop();
        m_listener.join();
    }
}

void CStationWebServer::Routes() {
    auto any = [this](const httplib::Request& request, httplib::Response& response) {
        Send(m_api.Respond(ToWebRequest(request)), response);
    };
    m_server->Get("/api/v1/events", [this](const httplib::Request& request, httplib::Response& response) {
        uint64_t lastId = 0;
        const bool resume = LastEventId(request, lastId);
        auto client = m_api.Hub().Subscribe(resume, lastId);
        if (!client) return Send(WebError(503, "too many event clients"), response);
        response.set_header("Cache-Control", "no-store");
        response.set_chunked_content_provider(
            "text/event-stream",
            [this, client](size_t, httplib::DataSink& sink) {
                std::vector<HubEvent> events;
                if (!m_api.Hub().Next(client, events, kEventWait, kEventBatch)) return false;
                std::string text = events.empty() ? std::string(": idle\n\n") : std::string();
                for (const HubEvent& event : events) text += SseText(event);
                return sink.write(text.data(), text.size());
            },
            [this, client](bool) { m_api.Hub().Unsubscribe(client); });
    });
    m_server->set_pre_routing_handler([this](const httplib::Request& request, httplib::Response& response) {
        if (!BodylessWithoutLength(request)) return httplib::Server::HandlerResponse::Unhandled;
        Send(m_api.Respond(ToWebRequest(request)), response);
        return httplib::Server::HandlerResponse::Handled;
    });
    m_server->Get(".*", any);
    m_server->Post(".*", any);
    m_server->Put(".*", any);
    m_server->Patch(".*", any);
    m_server->Delete(".*", any);
    m_server->Options(".*", any);
    // What the library refuses itself (a request it cannot read, a body too
    // large) still gets a JSON error.
    m_server->set_error_handler([](const httplib::Request&, httplib::Response& response) {
        if (response.body.empty()) {
            const WebResponse web = WebError(response.status, "the request cannot be served");
            response.set_content(web.body, web.contentType.c_str());
        }
    });
    m_server->set_exception_handler([](const httplib::Request&, httplib::Response& response, std::exception_ptr) {
        Send(WebError(500, "the request failed"), response);
    });
}
