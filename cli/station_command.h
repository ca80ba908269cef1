#pragma once
// `kavro-cli station`: many bays at once on the station core, each finished
// unit recorded. Main thread only; prints events on standard output and
// failures on standard error, returns the exit status.
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "cli/signing_command.h"

struct StationOptions {
    std::string image;               // "" the built-in image
    std::vector<std::string> bays;   // PORT or PORT:second
    bool secondCpu = false;          // every bay addresses the second CPU
    bool once = false;
    std::chrono::milliseconds timeout{45000};
    bool force = false;
    bool noReset = false;
    bool reflash = false;            // flash units that passed with this image before
    int stopAfterFailures = 0;
    std::string records;             // "" the default records file
    std::string stationName;         // "" the host name
    bool json = false;
    std::chrono::milliseconds leaveQuiet{5000};
    ReleaseOptions release;          // --require-signed, --trust
    std::string orderId;             // --order: "" no work order
    uint64_t quantity = 0;           // --quantity: the order's units
    std::string http;                // "" no web console; else [ADDRESS:]PORT
    std::string httpTokenFile;       // "" a new token in a private file
};

int CommandStation(const StationOptions& options);
