#pragma once
// The text that programs read: JSON values and lines (nlohmann::json, keys in
// the order they were added), text made valid UTF-8, and the one form of a
// unit's chip ID that every JSON output, the CSV and the records share. Pure
// functions; any thread.
#include <cstdint>
#include <string>

#include <nlohmann/json.hpp>

using Json = nlohmann::ordered_json;

// text as valid UTF-8: valid sequences pass, every other byte is taken as Latin-1.
std::string ToValidUtf8(const std::string& text);

// A JSON string of text, made valid UTF-8 as above (device names are raw bytes).
Json JsonText(const std::string& text);
// As JsonText, but null for "" (a field that is not known).
Json JsonTextOrNull(const std::string& text);

// The value on one line, without spaces: {"key":value,...}.
std::string JsonLine(const Json& value);

// "89025CC1": the chip ID's four bytes as 8 upper-case hex digits, no spaces.
std::string ChipIdText(const uint8_t (&chip)[4]);
