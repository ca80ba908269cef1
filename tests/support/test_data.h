#pragma once
// Test data shared by the suites: reproducible byte patterns and whole files.
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace testdata {

// n bytes from a fixed linear congruential sequence: the same for a seed on every run.
inline std::vector<uint8_t> Pattern(size_t n, uint32_t seed = 7) {
    std::vector<uint8_t> data(n);
    for (auto& b : data) {
        seed = seed * 1103515245u + 12345u;
        b = static_cast<uint8_t>(seed >> 16);
    }
    return data;
}

// The whole file, or nothing when it cannot be read.
inline std::vector<uint8_t> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Whether a program's output holds part, and how often.
inline bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

inline size_t Count(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++count;
    return count;
}

}  // namespace testdata
