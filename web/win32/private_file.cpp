#include <fstream>

#include "link/file_path.h"
#include "res/translation.h"
#include "web/station_web_server.h"

// The folder (the user's local temporary or runtime folder) is the user's
// own on Windows: its access list keeps other users out.
bool WritePrivateFile(const std::string& path, const std::string& text, std::string& error) {
    std::ofstream file(PathFromUtf8(path), std::ios::binary | std::ios::trunc);
    file << text;
    file.close();
    if (!file) {
        error = FormatText(Tr("Cannot write %s: %s"), {path, "write failed"});
        return false;
    }
    return true;
}
