#pragma once
// The station window's web console: the same server as `kavro-cli station
// --http` (web/), serving the window's current run. The window makes a new
// CStation for every start, so the console is served again for each one, on
// the same address and with the same token.
//
// Threads: Serve, Stop, RunControls and the accessors on the window thread;
// OnStationEvent on the bays' threads and OnRecordStored on any thread: both
// only hand the event on under a short lock.
#include <memory>
#include <mutex>
#include <string>

#include "station/station.h"

class CStationWebServer;
struct FirmwareImage;

class CStationWebConsole {
public:
    CStationWebConsole();
    ~CStationWebConsole();

    // Serves station at address ([ADDRESS:]PORT), the one served before
    // stopped first. False with error set (for a person).
    [[nodiscard]] bool Serve(const CStation& station, const FirmwareImage& image, const std::string& stationName,
                             const std::string& recordsLocator, const std::string& address, std::string& error);
    void Stop();
    bool Serving() const { return m_server != nullptr; }
    // The console's URL, its host as a URL shows it, its port and the file
    // that holds its control token.
    std::string Url() const;
    std::string ShownHost() const;
    int Port() const { return m_port; }
    const std::string& TokenPath() const { return m_tokenPath; }
    // Carries out the page's control requests on the window's run.
    void RunControls(CStation& station);

    void OnStationEvent(const StationEvent& event);
    void OnRecordStored(const std::string& recordId);

private:
    std::mutex m_lock;  // m_server against the events' threads
    std::unique_ptr<CStationWebServer> m_server;
    std::string m_host;
    int m_port = 0;
    std::string m_address;    // as last served: the port taken then is kept for the next run
    std::string m_tokenPath;  // the token is made once and read again from here
};
