#pragma once
// The SHA-256 of an image's bytes, which names exactly what was flashed where
// the header's 16-bit checksum cannot (two images may share a checksum). Any
// thread.
#include <cstddef>
#include <cstdint>
#include <string>

// 64 lower-case hex digits.
std::string ImageSha256(const uint8_t* data, size_t length);
