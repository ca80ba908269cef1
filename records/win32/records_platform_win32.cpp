#include <winsock2.h>
#include <windows.h>
#include <shlobj.h>

#include "link/win32/wide_text.h"
#include "records/records_platform.h"

// UTF-8, as every path: a user named Jürgen has his folder reached whole.
std::string UserDataFolder() {
    wchar_t path[MAX_PATH] = {};
    if (SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, path) != S_OK) return {};
    return Utf8FromWide(path);
}

std::string HostName() {
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
    if (!GetComputerNameW(name, &size)) return {};
    return Utf8FromWide(std::wstring(name, size));
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
