#pragma once
// Image readers: a file on disk, and a block of memory (tests, tools).
// An object belongs to the thread that uses it; none is shared.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <utility>

#include "image/image_reader.h"

// Reads an image file through the C library, in binary mode.
class CFileImageReader final : public IImageReader {
public:
    CFileImageReader() = default;
    CFileImageReader(const CFileImageReader&) = delete;
    CFileImageReader& operator=(const CFileImageReader&) = delete;
    ~CFileImageReader() = default;

    // Opens path for reading. False with the system's error text in error (and
    // the error number in LastError()); a directory is refused the same way.
    bool Open(const std::string& path, std::string& error);
    void Close();
    bool IsOpen() const { return m_file != nullptr; }
    int LastError() const { return m_lastError; }

    size_t Read(void* buffer, size_t size) override;
    bool Failed() const override;
    // Known for regular files: their size at opening less what has been read.
    bool Remaining(uint64_t& bytes) const override;
    // The absolute form of the path given to Open().
    const char* FilePath() const override { return m_path.c_str(); }

private:
    struct Closer {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };
    std::unique_ptr<std::FILE, Closer> m_file;
    std::string m_path;
    bool m_sizeKnown = false;
    uint64_t m_size = 0;
    uint64_t m_position = 0;
    int m_lastError = 0;
};

// Reads from a byte span the caller keeps alive. For tests it can fail after a
// given number of bytes, as a medium with a bad sector would, and can hide how
// much remains, as a pipe would.
class CMemoryImageReader final : public IImageReader {
public:
    CMemoryImageReader(const uint8_t* data, size_t size, std::string path = std::string())
        : m_data(data), m_size(size), m_path(std::move(path)) {}

    // From then on a read that would pass byte offset count stops there and fails.
    void FailAfter(size_t count) {
        m_failAfter = count;
        m_failArmed = true;
    }
    // false: Remaining() answers "cannot say".
    void SetSizeKnown(bool known) { m_sizeKnown = known; }
    // Total bytes handed out so far.
    size_t Position() const { return m_position; }

    size_t Read(void* buffer, size_t size) override;
    bool Failed() const override { return m_failed; }
    bool Remaining(uint64_t& bytes) const override;
    const char* FilePath() const override { return m_path.c_str(); }

private:
    const uint8_t* m_data;
    size_t m_size;
    std::string m_path;
    size_t m_position = 0;
    size_t m_failAfter = 0;
    bool m_failArmed = false;
    bool m_failed = false;
    bool m_sizeKnown = true;
};
