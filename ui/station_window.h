#pragma once
// Opening and closing the station window from the application, with or
// without the station in the build. Window thread.
#include <string>
#include <vector>

#include <wx/gdicmn.h>

struct StationWindowRequest {
    bool imageGiven = false;  // kavro --station IMAGE.fw
    std::string imagePath;
};

// Opens the station window, or raises it when it is open (a given image is
// loaded into it while its bays are stopped).
void OpenStationWindow(const StationWindowRequest& request);
// Closes it when it is open: every bay stopped and joined first.
void CloseStationWindow();
// The title of the station window's bay ("Bay 2") on port, the name compared
// by the device it leads to; "" without such a bay (or without the window).
std::string StationBayOfPort(const std::string& port);
// Unattended (ui/automation): starts every bay of the open station window.
// False when there is none or a bay did not start; place is the window's
// place on the screen (empty without one).
[[nodiscard]] bool StartEveryStationBay(wxRect& place);
// Unattended: what the open station window shows, each tile's state word
// and each row of the records table (its cells joined by " | "). False when
// none is open.
[[nodiscard]] bool ReadStationWindow(std::vector<std::string>& tileStates, std::vector<std::string>& recordRows);
