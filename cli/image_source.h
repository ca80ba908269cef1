#pragma once
// Loads the image a command names (a .fw file, or the built-in image) into the
// link with the link's own loaders, and explains a failed load in words a user
// can act on. Main thread, while the link is stopped.
#include <cstdint>
#include <string>

class CDeviceLink;

struct ImageLoadReport {
    bool opened = false;     // the file could be opened (always true for the built-in image)
    bool loaded = false;     // the loader accepted the image: data present, checksum matches
    bool sumKnown = false;   // dataSum holds the sum of the data as read
    uint16_t dataSum = 0;
    // Empty when the image can be downloaded; otherwise why not: in English
    // (for the JSON output, the same in every language) and as shown to people.
    std::string problem;
    std::string shownProblem;
    bool Usable() const { return problem.empty(); }
};

// path "" loads the built-in image.
ImageLoadReport LoadImageIntoLink(CDeviceLink& link, const std::string& path);
