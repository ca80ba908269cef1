#pragma once
// The station window's settings in the user's configuration ("KAVRO"): the
// bay list, the image and where the records go, kept between runs. Window
// thread.
#include <cstdint>
#include <string>
#include <vector>

#include "station/station.h"

class wxConfigBase;

struct StationSettings {
    std::vector<BayConfig> bays;
    // Each bay's number as the window shows it (from 1), in the order of
    // bays; a bay without one takes the next free number.
    std::vector<size_t> bayNumbers;
    std::string imagePath;      // the chosen image's absolute path; "" for none or the built-in one
    bool builtInImage = false;  // the built-in image was chosen
    std::string records;    // SQLite path or postgresql://...; "" for the default file
    int64_t shiftStartUtcMs = 0;  // the totals count the units since; 0: no shift begun yet
    // Operator mode: the supervisor's password only as its Argon2id hash.
    bool locked = false;
    std::string supervisorHash;
    // Released images: flash only an image whose signature verifies against
    // the trust folders' keys and these public key files.
    bool requireSigned = false;
    std::vector<std::string> trustFiles;
    // The work order (none when orderId is empty).
    std::string orderId;
    uint64_t orderQuantity = 0;
    // The web console, served while the window is open.
    bool webConsole = false;
    std::string webAddress = "8080";  // [ADDRESS:]PORT
};

// What was saved last; empty settings when nothing was (or config is null).
StationSettings LoadStationSettings(wxConfigBase* config);
void SaveStationSettings(wxConfigBase* config, const StationSettings& settings);
