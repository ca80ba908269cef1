#pragma once
// A firmware image as a value: what its header declares and its data, read
// once and then handed to whoever sends it (a device session, every bay of a
// station, the desktop application's link).
// Plain data; any thread once built.
#include <cstdint>
#include <string>
#include <vector>

#include "link/device_info.h"

struct FirmwareImage {
    std::string path;          // the file it was read from; "" for the built-in image
    FirmwareInfo info;
    uint16_t checksum = 0;     // as the header declares it
    uint32_t length = 0;       // data length as the header declares it
    std::vector<uint8_t> data; // the data as read (complete only when a read succeeded)
    std::string sha256;        // of data, 64 lower-case hex digits, once a load went through
    std::string keyId;         // the key that released it, once its signature verified ("" unsigned)
    std::string signer;        // that key's holder

    bool BuiltIn() const { return path.empty(); }
    // Where it came from, as records name it: the absolute path, or "built-in".
    std::string Source() const;
};
