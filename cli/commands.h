#pragma once
// The subcommands of kavro-cli. Each prints its results on standard output and
// its failures on standard error, and returns the exit status
// (cli/exit_codes.h). Main thread only.
#include <chrono>
#include <string>

#include "cli/link_session.h"

struct DeviceOptions {
    std::string port;
    bool trace = false;
    bool secondCpu = false;  // address the unit's second CPU
    // How long to wait for the device's first answer.
    std::chrono::milliseconds timeout = CLinkSession::kFirstCycleLimit;
    // download --records: where the unit's record goes ("": none), and the station's name ("": host name).
    std::string records;
    std::string stationName;
    // An explicit --timeout: wait all of it, even on a line that stays silent.
    bool timeoutGiven = false;
};

struct PackOptions {
    std::string name;
    std::string sw;
    std::string hwLowest;
    std::string hwHighest;
    std::string data;    // the raw data file
    std::string output;  // the image to write
    bool overwrite = false;
    std::string signKey;  // a private key file: also writes OUTPUT.sig
};

int CommandPorts(bool json);
// image "": the built-in image.
int CommandInfo(const std::string& image, bool json);
int CommandIdentify(const DeviceOptions& options, bool json);
int CommandDownload(const DeviceOptions& options, const std::string& image, bool force, bool reset);
int CommandReset(const DeviceOptions& options);
int CommandPack(const PackOptions& options);
