#include "ui/station_web.h"

#include "image/firmware_image.h"
#include "records/record_store.h"
#include "res/translation.h"
#include "ui/station_setting_texts.h"
#include "web/station_web_server.h"

CStationWebConsole::CStationWebConsole() = default;
CStationWebConsole::~CStationWebConsole() { Stop(); }

bool CStationWebConsole::Serve(const CStation& station, const FirmwareImage& image, const std::string& stationName,
                               const std::string& recordsLocator, const std::string& address, std::string& error) {
    Stop();
    std::string host;
    int port = 0;
    if (!ParseHttpAddress(address, host, port)) {
        error = FormatText(Tr(stationtext::kWebAddressBad), {address});
        return false;
    }
    // A free port taken once stays the console's while the window is open.
    if (port == 0 && address == m_address && m_port != 0) port = m_port;
    WebApiConfig config;
    config.stationName = stationName;
    config.image = image;
    config.image.data.clear();  // name, version, checksum and SHA-256 are enough
    config.readRecords = [recordsLocator](const RecordQuery& query, std::vector<UnitRecord>& out, std::string& why) {
        return QueryRecordsAt(recordsLocator, query, out, why);
    };
    std::string tokenPath;
    if (!LoadOrCreateWebToken(address == m_address ? m_tokenPath : std::string(), port, config.token, tokenPath, error))
        return false;
    auto server = std::make_unique<CStationWebServer>(station, std::move(config));
    if (!server->Start(host, port, error)) return false;
    m_host = host;
    m_port = server->BoundPort();
    m_address = address;
    m_tokenPath = tokenPath;
    std::lock_guard lock(m_lock);
    m_server = std::move(server);
    return true;
}

void CStationWebConsole::Stop() {
    std::unique_ptr<CStationWebServer> server;
    {
        std::lock_guard lock(m_lock);
        server.swap(m_server);
    }
    if (server) server->Stop();  // joins its threads; events no longer reach it
}

std::string CStationWebConsole::ShownHost() const {
    return m_host.find(':') != std::string::npos ? "[" + m_host + "]" : m_host;
}

std::string CStationWebConsole::Url() const { return "http://" + ShownHost() + ":" + std::to_string(m_port) + "/"; }

void CStationWebConsole::RunControls(CStation& station) {
    if (m_server) m_server->Api().RunControls(station);
}

void CStationWebConsole::OnStationEvent(const StationEvent& event) {
    std::lock_guard lock(m_lock);
    if (m_server) m_server->Api().OnStationEvent(event);
}

void CStationWebConsole::OnRecordStored(const std::string& recordId) {
    std::lock_guard lock(m_lock);
    if (m_server) m_server->Api().OnRecordStored(recordId);
}
