#include "link/file_path.h"

#include <system_error>

// char8_t text is UTF-8 to the standard library on every system: POSIX keeps
// the bytes, Windows converts them to UTF-16.
std::filesystem::path PathFromUtf8(const std::string& utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string Utf8FromPath(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

std::string AbsoluteUtf8Path(const std::string& utf8) {
    if (utf8.empty()) return utf8;
    try {
        std::error_code failed;
        const std::filesystem::path absolute = std::filesystem::absolute(PathFromUtf8(utf8), failed);
        if (!failed && !absolute.empty()) return Utf8FromPath(absolute.lexically_normal());
    } catch (...) {
        // A path the system cannot convert: kept as given.
    }
    return utf8;
}
