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
    std::string imagePath;  // "" for the built-in image
    std::string records;    // SQLite path or postgresql://...; "" for the default file
    int64_t shiftStartUtcMs = 0;  // the totals count the units since; 0: no shift begun yet
};

// What was saved last; empty settings when nothing was (or config is null).
StationSettings LoadStationSettings(wxConfigBase* config);
void SaveStationSettings(wxConfigBase* config, const StationSettings& settings);
