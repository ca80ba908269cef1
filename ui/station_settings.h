#pragma once
// The station window's settings in the user's configuration ("KAVRO"): the
// bay list, the image and where the records go, kept between runs. Window
// thread.
#include <string>
#include <vector>

#include "station/station.h"

class wxConfigBase;

struct StationSettings {
    std::vector<BayConfig> bays;
    std::string imagePath;  // "" for the built-in image
    std::string records;    // SQLite path or postgresql://...; "" for the default file
};

// What was saved last; empty settings when nothing was (or config is null).
StationSettings LoadStationSettings(wxConfigBase* config);
void SaveStationSettings(wxConfigBase* config, const StationSettings& settings);
