// The image reader through its reader interface, on arbitrary files.
//
// Input: one control byte, two bytes of a read-failure position (little
// endian), then the file. Control bit 0: the reader cannot say how much is
// left (a pipe); bit 1: reads fail from the failure position on (a bad
// sector). The same file bytes also go through the built-in resource's parse.
//
// Invariants: after a successful read the data hold the header's length of
// bytes that equal the file's bytes after the header, and they sum to the
// header's checksum exactly when ChecksumMatches says so; after a failed read
// there are no data. The name is always terminated within its 108 characters.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "fuzz_check.h"
#include "image/file_reader.h"
#include "image/firmware_format.h"
#include "image/image_loading.h"

namespace {
uint32_t Le32(const uint8_t* p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

void CheckRead(const FirmwareImage& image, bool ok, const uint8_t* file, size_t size) {
    FUZZ_CHECK(std::strlen(image.info.name.Text()) <= IMAGE_NAME_SIZE);
    if (!ok) {
        FUZZ_CHECK(image.data.empty());
        return;
    }
    FUZZ_CHECK(size >= IMAGE_HEADER_SIZE);
    FUZZ_CHECK(image.length == Le32(file + 4));
    FUZZ_CHECK(image.data.size() == image.length);
    FUZZ_CHECK(size - IMAGE_HEADER_SIZE >= image.length);
    FUZZ_CHECK(image.checksum == static_cast<uint16_t>(file[2] | file[3] << 8));
    FUZZ_CHECK(image.length == 0 || std::memcmp(image.data.data(), file + IMAGE_HEADER_SIZE, image.length) == 0);
    FUZZ_CHECK(ChecksumMatches(image) == (ImageChecksum(image.data.data(), image.data.size()) == image.checksum));
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) return 0;
    const uint8_t control = data[0];
    const size_t failAt = data[1] | static_cast<size_t>(data[2]) << 8;
    const uint8_t* file = data + 3;
    const size_t fileSize = size - 3;

    {
        FirmwareImage image;
        CMemoryImageReader reader(file, fileSize, "/images/fuzz.fw");
        reader.SetSizeKnown((control & 1) == 0);
        const bool failing = (control & 2) != 0;
        if (failing) reader.FailAfter(failAt);
        const bool ok = ReadImageFile(reader, image);
        CheckRead(image, ok, file, fileSize);
        if (ok && failing) FUZZ_CHECK(failAt >= IMAGE_HEADER_SIZE + image.length);
        FUZZ_CHECK(image.path == "/images/fuzz.fw");

        // A second read into the same value replaces or drops its data;
        // whether the reader knows the size must not change the outcome.
        CMemoryImageReader again(file, fileSize);
        const bool ok2 = ReadImageFile(again, image);
        CheckRead(image, ok2, file, fileSize);
        if (!failing || failAt >= fileSize) FUZZ_CHECK(ok2 == ok);
    }
    {
        // The built-in resource's parse trusts the header only as far as the
        // resource reaches; the checksum is verified separately.
        FirmwareImage image;
        const bool read = ReadResourceImage(file, fileSize, image);
        if (read) {
            FUZZ_CHECK(fileSize > IMAGE_HEADER_SIZE);
            FUZZ_CHECK(image.length == Le32(file + 4));
            FUZZ_CHECK(fileSize - IMAGE_HEADER_SIZE >= image.length);
            FUZZ_CHECK(image.data.size() == image.length);
            FUZZ_CHECK(image.length == 0 || std::memcmp(image.data.data(), file + IMAGE_HEADER_SIZE, image.length) == 0);
        } else {
            FUZZ_CHECK(image.data.empty());
        }
        FUZZ_CHECK(image.path.empty());
    }
    return 0;
}
