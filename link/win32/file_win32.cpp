// Win32 file operations of the settings file.
#include "link/handles.h"
#include "link/platform.h"

bool OpenExistingFileExclusive(const char* path, CFileHandle& file) {
    const HANDLE h = ::CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        file.m_lastError = ::GetLastError();
        return false;
    }
    file.m_handle = h;
    return true;
}

bool FileSeekToStart(CFileHandle& file) {
    if (!file.IsValid()) return false;
    if (::SetFilePointer(file.m_handle, 0, nullptr, FILE_BEGIN) != INVALID_SET_FILE_POINTER) return true;
    file.m_lastError = ::GetLastError();
    return false;
}

bool FileTruncateHere(CFileHandle& file) {
    if (!file.IsValid()) return false;
    if (::SetEndOfFile(file.m_handle)) return true;
    file.m_lastError = ::GetLastError();
    return false;
}
