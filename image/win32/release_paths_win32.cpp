#include "image/release_paths.h"

#include <windows.h>
#include <shlobj.h>

#include <cstdlib>
#include <filesystem>

#include "image/win32/owner_only_security.h"
#include "link/file_path.h"
#include "link/platform.h"
#include "link/win32/wide_text.h"

namespace {

std::string ProgramFolder() {
    std::string program;
    if (!GetProgramPath(nullptr, program)) return ".";
    return Utf8FromPath(PathFromUtf8(program).parent_path());
}

// Creates path new with the given security (null: the folder's) and writes text.
bool WriteNew(const std::string& path, const std::string& text, SECURITY_ATTRIBUTES* security, std::string& problem) {
    const std::wstring wide = WideFromUtf8(path);
    HANDLE file = CreateFileW(wide.c_str(), GENERIC_WRITE, 0, security, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
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
        DeleteFileW(wide.c_str());
    }
    return ok;
}

}  // namespace

std::string MachineConfigFolder() {
    const wchar_t* injected = _wgetenv(L"KAVRO_MACHINE_CONFIG_DIR");
    return injected != nullptr && *injected != L'\0' ? Utf8FromWide(injected) : ProgramFolder();
}

std::vector<std::string> TrustFolders() {
    std::vector<std::string> folders{MachineConfigFolder() + "\\trusted-keys"};
    wchar_t path[MAX_PATH];
    if (SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, path) == S_OK)
        folders.push_back(Utf8FromWide(path) + "\\kavro\\trusted-keys");
    return folders;
}

std::string StationPolicyPath() { return MachineConfigFolder() + "\\station.conf"; }

bool WriteOwnerOnlyFile(const std::string& path, const std::string& text, std::string& problem) {
    // The key is made only where the user alone can read it; never with the
    // folder's access for a moment.
    COwnerOnlySecurity security;
    if (!security.Build()) {
        problem = "its access cannot be limited to its owner";
        return false;
    }
    return WriteNew(path, text, security.Attributes(), problem);
}

bool WriteNewTextFile(const std::string& path, const std::string& text, std::string& problem) {
    return WriteNew(path, text, nullptr, problem);
}
