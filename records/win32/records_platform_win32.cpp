#include <winsock2.h>
#include <windows.h>
#include <shlobj.h>

#include "records/records_platform.h"

std::string UserDataFolder() {
    char path[MAX_PATH] = {};
    if (SHGetFolderPathA(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, path) != S_OK) return {};
    return path;
}

std::string HostName() {
    char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = sizeof name;
    if (!GetComputerNameA(name, &size)) return {};
    return std::string(name, size);
}

char PathSeparator() { return '\\'; }

int WaitForSocket(int socket, bool forWrite, int timeoutMs) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(static_cast<SOCKET>(socket), &set);
    timeval timeout{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    const int rc = ::select(0, forWrite ? nullptr : &set, forWrite ? &set : nullptr, nullptr, &timeout);
    return rc > 0 ? 1 : (rc == 0 ? 0 : -1);
}
