#include <locale.h>
#include <string.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <chrono>
#include <system_error>
#include <thread>

#include "link/platform.h"

void PlatformSleepMs(uint32_t milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

uint32_t LastSystemError() { return static_cast<uint32_t>(errno); }

std::string SystemErrorText(uint32_t code) {
    return std::generic_category().message(static_cast<int>(code));
}

bool GetProgramPath(void*, std::string& path) {
    char buffer[4096];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer);
    if (n <= 0 || static_cast<size_t>(n) >= sizeof buffer) return false;
    path.assign(buffer, static_cast<size_t>(n));
    return true;
}

bool IsPermissionError(uint32_t code) { return code == EACCES || code == EPERM; }
bool IsBusyError(uint32_t code) { return code == EBUSY || code == EWOULDBLOCK; }
bool IsMissingError(uint32_t code) { return code == ENOENT || code == ENODEV || code == ENXIO; }

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <cstdio>

#include "link/handles.h"

bool OpenExistingFileExclusive(const char* path, CFileHandle& file) {
    const int fd = ::open(path, O_RDWR | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        file.m_lastError = static_cast<uint32_t>(errno);
        return false;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        file.m_lastError = static_cast<uint32_t>(errno);
        ::close(fd);
        return false;
    }
    file.m_handle = fd;
    return true;
}

bool FileSeekToStart(CFileHandle& file) {
    if (!file.IsValid()) return false;
    if (::lseek(file.m_handle, 0, SEEK_SET) == 0) return true;
    file.m_lastError = static_cast<uint32_t>(errno);
    return false;
}

bool FileTruncateHere(CFileHandle& file) {
    if (!file.IsValid()) return false;
    const off_t at = ::lseek(file.m_handle, 0, SEEK_CUR);
    if (at >= 0 && ::ftruncate(file.m_handle, at) == 0) return true;
    file.m_lastError = static_cast<uint32_t>(errno);
    return false;
}

std::string EnglishErrnoText(int number) {
    // The C locale's texts are the C library's own English ones.
    static const locale_t english = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    if (english == static_cast<locale_t>(nullptr)) return std::strerror(number);
    return strerror_l(number, english);
}

bool CreateReplacementFile(const char* path, const CFileHandle& like, CFileHandle& file) {
    const int fd = ::open(path, O_WRONLY | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW, 0600);
    if (fd < 0) {
        file.m_lastError = static_cast<uint32_t>(errno);
        return false;
    }
    // Emptied only once it is ours: another save may be writing it.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::ftruncate(fd, 0) != 0) {
        file.m_lastError = static_cast<uint32_t>(errno);
        ::close(fd);
        return false;
    }
    struct stat status {};
    // Best effort: without it the new file keeps the owner-only mode.
    if (like.IsValid() && ::fstat(like.m_handle, &status) == 0) (void)::fchmod(fd, status.st_mode & 07777);
    file.m_handle = fd;
    return true;
}

bool FileFlush(CFileHandle& file) {
    if (!file.IsValid()) return false;
    if (::fsync(file.m_handle) == 0) return true;
    file.m_lastError = static_cast<uint32_t>(errno);
    return false;
}

bool ReplaceFileWith(const char* from, const char* to) { return std::rename(from, to) == 0; }

bool RemoveFile(const char* path) { return ::unlink(path) == 0; }
