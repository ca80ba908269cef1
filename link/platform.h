#pragma once
// Small system services with one implementation per backend (chosen by CMake).
#include <cstdint>
#include <string>

// Sleeps the calling thread.
void PlatformSleepMs(uint32_t milliseconds);

// The calling thread's last system error (errno, GetLastError()).
uint32_t LastSystemError();

// The system's text for an error code kept by a CFileHandle (errno or GetLastError()).
std::string SystemErrorText(uint32_t code);

// The C library's text for an error number (errno) in English, whatever the
// language: for output that programs read.
std::string EnglishErrnoText(int number);

// Full path of the program's own executable (module == nullptr) or of the given
// module. False when the system cannot say.
[[nodiscard]] bool GetProgramPath(void* module, std::string& path);

// True when code means "access denied" / "in use by another program" / "no such port".
[[nodiscard]] bool IsPermissionError(uint32_t code);
[[nodiscard]] bool IsBusyError(uint32_t code);
[[nodiscard]] bool IsMissingError(uint32_t code);

class CFileHandle;

// Opens an existing file for reading and writing, shared with nobody; never
// creates one. False with the system error in file.m_lastError.
[[nodiscard]] bool OpenExistingFileExclusive(const char* path, CFileHandle& file);
// Moves to the start of the file.
[[nodiscard]] bool FileSeekToStart(CFileHandle& file);
// Cuts the file at the current position.
[[nodiscard]] bool FileTruncateHere(CFileHandle& file);

// Creates the file at path for writing (or empties the one an earlier failed
// save left), shared with nobody, with the permissions of like where the
// system keeps them. A file another writer holds is left alone. False with
// the system error in file.m_lastError.
[[nodiscard]] bool CreateReplacementFile(const char* path, const CFileHandle& like, CFileHandle& file);
// Waits until what was written is on the disk.
[[nodiscard]] bool FileFlush(CFileHandle& file);
// Puts the file at from in the place of the one at to in one step: a reader
// finds the old file or the new one, never a part. Neither may be open.
[[nodiscard]] bool ReplaceFileWith(const char* from, const char* to);
// Removes the file at path; false when it could not.
bool RemoveFile(const char* path);
