#pragma once
// Loads the image a front end names (a .fw file, or the built-in image) into a
// FirmwareImage value, and explains a failed load in words a user can act on.
// Any thread.
#include <cstdint>
#include <string>

#include "image/firmware_image.h"

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

// path "" loads the built-in image. The image holds what was read: its data
// only when the report says the load went through.
[[nodiscard]] ImageLoadReport LoadFirmwareImage(const std::string& path, FirmwareImage& image);
