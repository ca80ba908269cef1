#pragma once
// Opening and closing the station window from the application, with or
// without the station in the build. Window thread.
#include <string>

struct StationWindowRequest {
    bool imageGiven = false;  // kavro --station IMAGE.fw
    std::string imagePath;
    // Unattended (the screenshot): start every bay, then print one line with
    // the window's place on the screen.
    bool autorun = false;
};

// Opens the station window, or raises it when it is open (a given image is
// loaded into it while its bays are stopped).
void OpenStationWindow(const StationWindowRequest& request);
// Closes it when it is open: every bay stopped and joined first.
void CloseStationWindow();
