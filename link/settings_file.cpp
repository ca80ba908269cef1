#include "link/settings_file.h"

#include "link/handles.h"
#include "link/platform.h"

namespace {

// The bytes over the start of the open file, which is cut after them only
// then: a failed write leaves the old bytes, never an empty file.
[[nodiscard]] bool OverwriteInPlace(CFileHandle& file, const void* bytes, uint32_t size) {
    uint32_t count = size;
    return FileSeekToStart(file) && file.Write(bytes, count, nullptr) && count == size && FileTruncateHere(file);
}

// Writes the bytes to a temporary file beside path and renames it over path,
// so that a save that fails half-way leaves the old file whole; closes
// existing (path, held open). A folder that takes no new files (Program Files,
// where the installer lets users change only the file itself) gets the bytes
// in place instead.
[[nodiscard]] bool ReplaceSettingsFile(const std::string& path, CFileHandle& existing, const void* bytes, uint32_t size) {
    const std::string temporary = path + ".new";
    CFileHandle file;
    if (!CreateReplacementFile(temporary.c_str(), existing, file)) {
        const bool written = IsPermissionError(file.m_lastError) && OverwriteInPlace(existing, bytes, size);
        existing.Close();
        return written;
    }
    uint32_t count = size;
    const bool written = file.Write(bytes, count, nullptr) && count == size && FileFlush(file);
    file.Close();
    existing.Close();  // Windows renames only over a file nobody holds open
    if (written && ReplaceFileWith(temporary.c_str(), path.c_str())) return true;
    RemoveFile(temporary.c_str());
    return false;
}

}  // namespace

std::string SettingsFilePath(const std::string& programPath) {
    if (programPath.empty() || programPath.size() + 4 > 255) return {};
    return programPath + ".cfg";
}

bool ReadSettingsFile(const std::string& path, CFixedString& name) {
    CFileHandle file;
    if (path.empty() || !OpenExistingFileExclusive(path.c_str(), file)) return false;
    bool read = false;
    if (FileSeekToStart(file)) {
        uint32_t count = static_cast<uint32_t>(name.Capacity());
        read = file.Read(name.Buffer(), count, nullptr);
        // A file without a zero byte in its 32 still yields a name ended in the buffer.
        name.Buffer()[name.Capacity() - 1] = '\0';
    }
    file.Close();
    return read;
}

bool WriteSettingsFile(const std::string& path, CFixedString& name) {
    CFileHandle file;
    if (path.empty() || !OpenExistingFileExclusive(path.c_str(), file)) return false;
    const bool written = ReplaceSettingsFile(path, file, name.Buffer(), static_cast<uint32_t>(name.Capacity()));
    file.Close();
    return written;
}
