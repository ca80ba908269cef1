// Win32 system services.
#include <cstring>
#include <vector>

#include "link/handles.h"
#include "link/platform.h"
#include "link/win32/wide_text.h"

static_assert(kInfinite == INFINITE, "waits pass kInfinite straight to the system");

uint32_t LastSystemError() { return ::GetLastError(); }

void PlatformSleepMs(uint32_t milliseconds) { ::Sleep(milliseconds); }

std::string SystemErrorText(uint32_t code) {
    wchar_t buffer[512];
    DWORD n = ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                               MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), buffer, 512, nullptr);
    // The system's texts end with a line break (and often a full stop); callers add their own.
    while (n > 0 && (buffer[n - 1] == L'\r' || buffer[n - 1] == L'\n' || buffer[n - 1] == L' ' ||
                     buffer[n - 1] == L'.'))
        --n;
    if (n == 0) return "Error " + std::to_string(code);
    return Utf8FromWide(std::wstring(buffer, n));
}

bool GetProgramPath(void* module, std::string& path) {
    // MAX_PATH is not a limit for GetModuleFileNameW; grow until the path fits.
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD size = static_cast<DWORD>(buffer.size());
        const DWORD n = ::GetModuleFileNameW(static_cast<HMODULE>(module), buffer.data(), size);
        if (n == 0) return false;
        if (n < size) {
            path = Utf8FromWide(std::wstring(buffer.data(), n));
            return true;
        }
        if (size >= 32768) return false;
        buffer.resize(size * 2);
    }
}

// Windows answers a second CreateFileA on a COM port that another program holds
// with ERROR_ACCESS_DENIED, not ERROR_SHARING_VIOLATION: for ports, access
// denied almost always means "in use". It therefore counts as busy, and as a
// permission error too, so a caller that asks IsBusyError() first words it as
// "in use" and one that asks IsPermissionError() alone still sees it.
bool IsPermissionError(uint32_t code) { return code == ERROR_ACCESS_DENIED; }
bool IsBusyError(uint32_t code) {
    return code == ERROR_SHARING_VIOLATION || code == ERROR_ACCESS_DENIED || code == ERROR_BUSY;
}
bool IsMissingError(uint32_t code) {
    return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND;
}

std::string EnglishErrnoText(int number) { return std::strerror(number); }
