#include "image/release_paths.h"

#include <windows.h>
#include <shlobj.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace {

std::string ProgramFolder() {
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return ".";
    return std::filesystem::path(path).parent_path().string();
}

bool WriteNew(const std::string& path, const std::string& text, std::string& problem) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        problem = GetLastError() == ERROR_FILE_EXISTS ? "the file exists" : "it cannot be created";
        return false;
    }
    DWORD wrote = 0;
    const bool ok = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &wrote, nullptr) &&
                    wrote == text.size() && FlushFileBuffers(file);
    CloseHandle(file);
    if (!ok) {
        problem = "it cannot be written";
        DeleteFileA(path.c_str());
    }
    return ok;
}

}  // namespace

std::string MachineConfigFolder() {
    const char* injected = std::getenv("KAVRO_MACHINE_CONFIG_DIR");
    return injected != nullptr && *injected != '\0' ? injected : ProgramFolder();
}

std::vector<std::string> TrustFolders() {
    std::vector<std::string> folders{MachineConfigFolder() + "\\trusted-keys"};
    char path[MAX_PATH];
    if (SHGetFolderPathA(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, path) == S_OK)
        folders.push_back(std::string(path) + "\\kavro\\trusted-keys");
    return folders;
}

std::string StationPolicyPath() { return MachineConfigFolder() + "\\station.conf"; }

bool WriteOwnerOnlyFile(const std::string& path, const std::string& text, std::string& problem) {
    return WriteNew(path, text, problem);
}

bool WriteNewTextFile(const std::string& path, const std::string& text, std::string& problem) {
    return WriteNew(path, text, problem);
}
