#pragma once
// What the connected device reports and what a loaded image declares.
#include <cstdint>

#include "link/fixed_string.h"

struct DeviceInfo {
    uint8_t chipId[4] = {0, 0, 0, 0};
    uint8_t swMajor = 0;
    uint8_t swMinor = 0;
    uint32_t hwLowestMajor = 0;
    uint8_t hwLowestMinor = 0;
    uint32_t hwHighestMajor = 0;
    uint8_t hwHighestMinor = 0;
    CFixedString128 name;
    uint32_t hwCurrentMajor = 0;
    uint8_t hwCurrentMinor = 0;
    uint32_t productNumber = 0;
};

struct FirmwareInfo {
    uint8_t swMajor = 0;
    uint8_t swMinor = 0;
    uint32_t hwLowestMajor = 0;
    uint8_t hwLowestMinor = 0;
    uint32_t hwHighestMajor = 0;
    uint8_t hwHighestMinor = 0;
    CFixedString128 name;
};

// A version: unsigned 32-bit major, unsigned 8-bit minor; majors compare first.
struct Version {
    uint32_t major = 0;
    uint8_t minor = 0;
    friend bool operator<(const Version& a, const Version& b) {
        return a.major != b.major ? a.major < b.major : a.minor < b.minor;
    }
    friend bool operator<=(const Version& a, const Version& b) { return !(b < a); }
    friend bool operator==(const Version& a, const Version& b) = default;
};

// The download check: compatible when lowest <= current <= highest, both ends inclusive.
[[nodiscard]] inline bool IsHardwareCompatible(Version current, Version lowest, Version highest) {
    return lowest <= current && current <= highest;
}

// The Download command's range check: the device's current hardware version
// lies within the image's range. Shared by every front end.
[[nodiscard]] inline bool IsDeviceCompatible(const DeviceInfo& device, const FirmwareInfo& image) {
    return IsHardwareCompatible(Version{device.hwCurrentMajor, device.hwCurrentMinor},
                                Version{image.hwLowestMajor, image.hwLowestMinor},
                                Version{image.hwHighestMajor, image.hwHighestMinor});
}
