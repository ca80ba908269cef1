#pragma once
// The source an image file is read from: the desktop application's document,
// the command line and tests all load through this interface.
#include <cstddef>
#include <cstdint>

class IImageReader {
public:
    // Reads up to size bytes; returns the count read, short only at the end of
    // the file or on a read error.
    virtual size_t Read(void* buffer, size_t size) = 0;
    // True once a read has failed for a reason other than the end of the file.
    virtual bool Failed() const = 0;
    // Bytes left to read, when the source knows; false when it cannot say.
    virtual bool Remaining(uint64_t& bytes) const = 0;
    // Full path of the file behind the reader ("" when there is none).
    virtual const char* FilePath() const = 0;

protected:
    ~IImageReader() = default;
};
