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

bool CreateReplacementFile(const char* path, const CFileHandle&, CFileHandle& file) {
    // Share mode 0: a file another writer holds fails to open and stays as it is.
    const HANDLE h = ::CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        file.m_lastError = ::GetLastError();
        return false;
    }
    file.m_handle = h;
    return true;
}

bool FileFlush(CFileHandle& file) {
    if (!file.IsValid()) return false;
    if (::FlushFileBuffers(file.m_handle)) return true;
    file.m_lastError = ::GetLastError();
    return false;
}

// The A form, as the settings file's path is opened with CreateFileA: both
// take the path in the system's code page.
bool ReplaceFileWith(const char* from, const char* to) {
    return ::MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool RemoveFile(const char* path) { return ::DeleteFileA(path) != 0; }
