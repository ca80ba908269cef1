// Win32 file operations of the settings file; paths are UTF-8, opened
// through the wide calls.
#include "link/handles.h"
#include "link/platform.h"
#include "link/win32/wide_text.h"

bool OpenExistingFileExclusive(const char* path, CFileHandle& file) {
    const HANDLE h = ::CreateFileW(WideFromUtf8(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
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
    const HANDLE h = ::CreateFileW(WideFromUtf8(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
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

bool ReplaceFileWith(const char* from, const char* to) {
    return ::MoveFileExW(WideFromUtf8(from).c_str(), WideFromUtf8(to).c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool RemoveFile(const char* path) { return ::DeleteFileW(WideFromUtf8(path).c_str()) != 0; }
