#include "image/firmware_format.h"

#include <cstring>

#include "res/translation.h"

namespace {
uint32_t Le32(const uint8_t* p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}
void PutLe32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
}  // namespace

uint16_t ImageChecksum(const uint8_t* data, size_t length) {
    uint16_t sum = 0;
    for (size_t i = 0; i < length; ++i) sum = static_cast<uint16_t>(sum + data[i]);
    return sum;
}

void ParseImageHeader(const uint8_t* h, ImageHeader& out) {
    out.checksum = static_cast<uint16_t>(h[2] | h[3] << 8);
    out.length = Le32(h + 4);
    out.info.swMajor = h[8];
    out.info.swMinor = h[9];
    out.info.hwLowestMajor = Le32(h + 10);
    out.info.hwLowestMinor = h[14];
    out.info.hwHighestMajor = Le32(h + 15);
    out.info.hwHighestMinor = h[19];
    // At most 108 characters; the rest of the 128-character name stays zero.
    char name[IMAGE_NAME_SIZE + 1] = {};
    std::memcpy(name, h + 20, IMAGE_NAME_SIZE);
    out.info.name.Clear();
    out.info.name.Assign(name);
}

bool ParseVersion(const std::string& text, Version& out) {
    const size_t dot = text.find('.');
    if (dot == std::string::npos || dot == 0 || dot > 10 || text.size() != dot + 3) return false;
    uint64_t major = 0;
    for (size_t i = 0; i < dot; ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        major = major * 10 + static_cast<uint64_t>(text[i] - '0');
    }
    if (major > 0xFFFFFFFFull) return false;
    const char a = text[dot + 1], b = text[dot + 2];
    if (a < '0' || a > '9' || b < '0' || b > '9') return false;
    out.major = static_cast<uint32_t>(major);
    out.minor = static_cast<uint8_t>((a - '0') * 10 + (b - '0'));
    return true;
}

bool PackImage(const PackRequest& r, const std::vector<uint8_t>& data, std::vector<uint8_t>& image,
               std::string& error) {
    if (r.name.size() > IMAGE_NAME_SIZE) {
        error = FormatText(Tr("the name has %s characters; at most %s fit"),
                           {std::to_string(r.name.size()), std::to_string(IMAGE_NAME_SIZE)});
        return false;
    }
    if (r.name.find('\0') != std::string::npos) {
        error = Tr("the name contains a zero byte");
        return false;
    }
    if (r.sw.major > 255) {
        error = Tr("the software major version must be 0 to 255");
        return false;
    }
    if (data.size() > MAX_DOWNLOAD_LENGTH) {
        error = FormatText(Tr("the data have %s bytes; at most %s can be downloaded"),
                           {std::to_string(data.size()), std::to_string(MAX_DOWNLOAD_LENGTH)});
        return false;
    }
    image.assign(IMAGE_HEADER_SIZE + data.size(), 0);
    uint8_t* h = image.data();
    h[0] = 'F';
    h[1] = 'W';
    const uint16_t sum = ImageChecksum(data.data(), data.size());
    h[2] = static_cast<uint8_t>(sum);
    h[3] = static_cast<uint8_t>(sum >> 8);
    PutLe32(h + 4, static_cast<uint32_t>(data.size()));
    h[8] = static_cast<uint8_t>(r.sw.major);
    h[9] = r.sw.minor;
    PutLe32(h + 10, r.hwLowest.major);
    h[14] = r.hwLowest.minor;
    PutLe32(h + 15, r.hwHighest.major);
    h[19] = r.hwHighest.minor;
    std::memcpy(h + 20, r.name.data(), r.name.size());
    if (!data.empty()) std::memcpy(h + IMAGE_HEADER_SIZE, data.data(), data.size());
    return true;
}

std::vector<uint8_t> BuiltInPayload() {
    // 24 KiB from a fixed linear congruential sequence: reproducible on every
    // build and rich in bytes below 0x20, so escaping is exercised in every download.
    std::vector<uint8_t> data(24 * 1024);
    uint32_t state = 0x4B415652u;  // "KAVR"
    for (auto& b : data) {
        state = state * 1664525u + 1013904223u;
        b = static_cast<uint8_t>(state >> 24);
    }
    return data;
}

PackRequest BuiltInPackRequest() {
    PackRequest r;
    r.name = "KAVRO demo firmware";
    r.sw = {2, 9};
    r.hwLowest = {1, 0};
    r.hwHighest = {3, 0};
    return r;
}
