#include <charconv>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "link/file_path.h"
#include "res/translation.h"
#include "web/station_web_server.h"

bool ParseHttpAddress(const std::string& text, std::string& host, int& port) {
    host = "127.0.0.1";
    std::string portText = text;
    const size_t colon = text.rfind(':');
    if (colon != std::string::npos) {
        host = text.substr(0, colon);
        portText = text.substr(colon + 1);
        if (host.size() >= 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
        if (host.empty()) return false;
    }
    const auto [end, ec] = std::from_chars(portText.data(), portText.data() + portText.size(), port);
    return ec == std::errc() && end == portText.data() + portText.size() && !portText.empty() && port >= 0 &&
           port <= 65535;
}

bool LoadOrCreateWebToken(const std::string& given, int port, std::string& token, std::string& path,
                          std::string& error) {
    if (!given.empty()) {
        std::ifstream file(PathFromUtf8(given));
        std::getline(file, token);
        while (!token.empty() && (token.back() == '\r' || token.back() == ' ')) token.pop_back();
        if (token.size() < 16) {
            error = FormatText(Tr("The token file %s holds no token of at least 16 characters."), {given});
            return false;
        }
        path = given;
        return true;
    }
    token = NewWebToken();
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    std::error_code ignored;
    const std::filesystem::path folder =
        runtime != nullptr && *runtime != '\0' ? std::filesystem::path(runtime) : std::filesystem::temp_directory_path(ignored);
    // A free port (0) is known only later: a name of its own instead.
    const std::string name = port != 0 ? std::to_string(port) : NewWebToken().substr(0, 12);
    path = Utf8FromPath(folder / ("kavro-station-" + name + ".token"));
    return WritePrivateFile(path, token + "\n", error);
}
