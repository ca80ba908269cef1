// Builds without a usable HTTP library (today the Windows cross build: Debian's
// cpp-httplib header only declares): the station runs, --http says why not.
#include "res/translation.h"
#include "web/station_web_server.h"

namespace httplib {
class Server {};
}  // namespace httplib

CStationWebServer::CStationWebServer(const CStation& station, WebApiConfig config)
    : m_api(station, std::move(config)) {}

CStationWebServer::~CStationWebServer() { Stop(); }

bool CStationWebServer::Start(const std::string&, int, std::string& error) {
    error = Tr("The web console is not part of this build.");
    return false;
}

void CStationWebServer::Stop() {
    m_api.Hub().Close();
    m_api.CancelControls();
}

void CStationWebServer::Routes() {}
