#include <windows.h>
#include <shlobj.h>

#include <cstdlib>
#include <fstream>

#include "records/pgpass.h"
#include "res/translation.h"

std::string PgpassPath() {
    const char* given = std::getenv("PGPASSFILE");
    if (given != nullptr && given[0] != '\0') return given;
    char folder[MAX_PATH] = {};
    if (SHGetFolderPathA(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder) != S_OK) return {};
    return std::string(folder) + "\\postgresql\\pgpass.conf";
}

// The user's roaming profile keeps other users out; the file is written beside
// it and moved over it, so it is never half written.
bool ReplaceOwnerOnlyFile(const std::string& path, const std::string& text, std::string& problem) {
    const size_t slash = path.find_last_of("\\/");
    if (slash != std::string::npos) CreateDirectoryA(path.substr(0, slash).c_str(), nullptr);
    const std::string temporary = path + ".kavro-new";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
        out.close();
        if (!out) {
            problem = FormatText(Tr("Cannot write %s: %s"), {path, Tr("the file cannot be written")});
            return false;
        }
    }
    if (!MoveFileExA(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DeleteFileA(temporary.c_str());
        problem = FormatText(Tr("Cannot write %s: %s"), {path, Tr("the file cannot be replaced")});
        return false;
    }
    return true;
}
