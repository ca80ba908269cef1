// Builds without the unit records (the Windows cross build) have no station:
// the menu item says so.
#include "ui/message_boxes.h"
#include "ui/station_texts.h"
#include "ui/station_window.h"

void OpenStationWindow(const StationWindowRequest&) {
    ShowMessageBox(stationtext::kUnavailable, stationtext::kWindowTitle, wxOK | wxICON_INFORMATION | wxCENTRE, nullptr);
}

void CloseStationWindow() {}

bool StartEveryStationBay(wxRect&) { return false; }

bool ReadStationWindow(std::vector<std::string>&, std::vector<std::string>&) { return false; }
std::string StationBayOfPort(const std::string&) { return {}; }
