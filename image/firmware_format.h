#pragma once
// The firmware image format shared by .fw files and the built-in image: a
// 128-byte little-endian header followed by the data sent to the device.
//
//   0  2   magic "FW" (not examined when loading)
//   2  2   checksum: sum of the data bytes modulo 65,536
//   4  4   length of the data
//   8  1   SW major     9 1 SW minor
//  10  4   HW lowest major    14 1 HW lowest minor
//  15  4   HW highest major   19 1 HW highest minor
//  20 108  name, zero-padded (no terminator when it fills all 108 bytes)
// 128 ...  data
// Pure functions; any thread.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "link/device_info.h"
#include "link/protocol.h"  // MAX_DOWNLOAD_LENGTH

inline constexpr size_t IMAGE_HEADER_SIZE = 128;
inline constexpr size_t IMAGE_NAME_SIZE = 108;

// Sum of the bytes, wrapping at 65,536.
uint16_t ImageChecksum(const uint8_t* data, size_t length);

struct ImageHeader {
    uint16_t checksum = 0;
    uint32_t length = 0;
    FirmwareInfo info;
};

// Reads the fields of a 128-byte header (the magic is not examined).
void ParseImageHeader(const uint8_t* header, ImageHeader& out);

// Parses "X.YY" (major 0..4294967295, minor exactly two digits) into a version.
bool ParseVersion(const std::string& text, Version& out);

struct PackRequest {
    std::string name;  // at most 108 characters
    Version sw;        // major must fit in 8 bits
    Version hwLowest;
    Version hwHighest;
};

// Builds a complete image (header and data). False with a reason in error when
// the name is too long, the software major exceeds 255 or the data exceed
// MAX_DOWNLOAD_LENGTH bytes; the reason is for a person, in their language
// (through the front end's translator, res/translation.h).
bool PackImage(const PackRequest& request, const std::vector<uint8_t>& data, std::vector<uint8_t>& image,
               std::string& error);

// The deterministic payload of the built-in image, and the request that packs it.
std::vector<uint8_t> BuiltInPayload();
PackRequest BuiltInPackRequest();
