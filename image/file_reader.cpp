#include "image/file_reader.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "link/file_path.h"

bool CFileImageReader::Open(const std::string& path, std::string& error) {
    Close();
    std::error_code ec;
    if (std::filesystem::is_directory(PathFromUtf8(path), ec)) {
        m_lastError = EISDIR;
        error = std::strerror(EISDIR);
        return false;
    }
    errno = 0;
    std::FILE* file = OpenFileUtf8(path, "rb");
    if (file == nullptr) {
        m_lastError = errno != 0 ? errno : ENOENT;
        error = std::strerror(m_lastError);
        return false;
    }
    m_file.reset(file);
    m_lastError = 0;
    m_path = AbsoluteUtf8Path(path);
    // Only a regular file has a size worth trusting; pipes and devices are read
    // until they end.
    m_sizeKnown = false;
    m_size = 0;
    const std::filesystem::path native = PathFromUtf8(path);
    if (std::filesystem::is_regular_file(native, ec)) {
        const uintmax_t size = std::filesystem::file_size(native, ec);
        if (!ec) {
            m_size = size;
            m_sizeKnown = true;
        }
    }
    m_position = 0;
    return true;
}

void CFileImageReader::Close() {
    m_file.reset();
    m_path.clear();
    m_sizeKnown = false;
    m_size = 0;
    m_position = 0;
}

size_t CFileImageReader::Read(void* buffer, size_t size) {
    if (m_file == nullptr || size == 0) return 0;
    const size_t count = std::fread(buffer, 1, size, m_file.get());
    m_position += count;
    if (count < size && std::ferror(m_file.get())) m_lastError = errno != 0 ? errno : EIO;
    return count;
}

bool CFileImageReader::Failed() const {
    return m_file != nullptr && std::ferror(m_file.get()) != 0;
}

bool CFileImageReader::Remaining(uint64_t& bytes) const {
    if (m_file == nullptr || !m_sizeKnown) return false;
    bytes = m_position < m_size ? m_size - m_position : 0;
    return true;
}

size_t CMemoryImageReader::Read(void* buffer, size_t size) {
    if (m_failed || m_position >= m_size) return 0;
    size_t count = m_size - m_position;
    if (size < count) count = size;
    if (m_failArmed && m_position + count > m_failAfter) {
        count = m_failAfter > m_position ? m_failAfter - m_position : 0;
        m_failed = true;
    }
    if (count > 0) std::memcpy(buffer, m_data + m_position, count);
    m_position += count;
    return count;
}

bool CMemoryImageReader::Remaining(uint64_t& bytes) const {
    if (!m_sizeKnown) return false;
    bytes = m_size - m_position;
    return true;
}
