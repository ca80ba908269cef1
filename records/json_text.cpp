#include "records/json_text.h"

#include <cstdio>

namespace {

// Length of the valid UTF-8 sequence at text[i], or 0 when there is none
// (overlong forms, surrogates and code points above U+10FFFF are not valid).
size_t Utf8SequenceLength(const std::string& text, size_t i) {
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    if (lead < 0x80) return 1;
    size_t length = 0;
    unsigned minimum = 0;
    unsigned code = 0;
    if ((lead & 0xE0) == 0xC0) {
        length = 2, minimum = 0x80, code = lead & 0x1Fu;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, minimum = 0x800, code = lead & 0x0Fu;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, minimum = 0x10000, code = lead & 0x07u;
    } else {
        return 0;
    }
    if (i + length > text.size()) return 0;
    for (size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) return 0;
        code = (code << 6) | (byte(i + k) & 0x3Fu);
    }
    if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
    return length;
}

}  // namespace

std::string ToValidUtf8(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const size_t length = Utf8SequenceLength(text, i);
        if (length > 0) {
            out.append(text, i, length);
            i += length;
            continue;
        }
        const unsigned char byte = static_cast<unsigned char>(text[i++]);
        out += static_cast<char>(0xC0 | (byte >> 6));
        out += static_cast<char>(0x80 | (byte & 0x3F));
    }
    return out;
}

Json JsonText(const std::string& text) { return Json(ToValidUtf8(text)); }

Json JsonTextOrNull(const std::string& text) { return text.empty() ? Json(nullptr) : JsonText(text); }

std::string JsonLine(const Json& value) {
    // Every string went through JsonText, so the handler only guards keys;
    // it replaces rather than throws.
    return value.dump(-1, ' ', false, Json::error_handler_t::replace);
}

std::string ChipIdText(const uint8_t (&chip)[4]) {
    char text[9];
    std::snprintf(text, sizeof text, "%02X%02X%02X%02X", chip[0], chip[1], chip[2], chip[3]);
    return text;
}
