// The image loader through its reader interface, on arbitrary files.
//
// Input: one control byte, two bytes of a read-failure position (little
// endian), then the file. Control bit 0: the reader cannot say how much is
// left (a pipe); bit 1: reads fail from the failure position on (a bad
// sector). The same file bytes also go through the built-in resource's parse.
//
// Invariants: after a successful load the data block holds m_length bytes that
// equal the file's bytes after the header, their sum is m_checksum and
// m_length is the header's length; after a failed load there is no data
// block. The name is always terminated within its 108 characters.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "fuzz_check.h"
#include "image/file_reader.h"
#include "image/firmware_format.h"
#include "image/image_loading.h"
#include "link/device_link.h"

namespace {
uint32_t Le32(const uint8_t* p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

void CheckLoaded(const CDeviceLink& link, bool ok, const uint8_t* file, size_t size) {
    FUZZ_CHECK(std::strlen(link.m_firmware.name.Text()) <= IMAGE_NAME_SIZE);
    if (!ok) {
        FUZZ_CHECK(!link.HasImageData());
        return;
    }
    FUZZ_CHECK(link.HasImageData());
    FUZZ_CHECK(size >= IMAGE_HEADER_SIZE);
    FUZZ_CHECK(link.m_length == Le32(file + 4));
    FUZZ_CHECK(size - IMAGE_HEADER_SIZE >= link.m_length);
    FUZZ_CHECK(link.m_checksum == static_cast<uint16_t>(file[2] | file[3] << 8));
    FUZZ_CHECK(ImageChecksum(link.m_data.get(), link.m_length) == link.m_checksum);
    FUZZ_CHECK(link.m_length == 0 ||
               std::memcmp(link.m_data.get(), file + IMAGE_HEADER_SIZE, link.m_length) == 0);
    FUZZ_CHECK(link.VerifyChecksum());
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) return 0;
    const uint8_t control = data[0];
    const size_t failAt = data[1] | static_cast<size_t>(data[2]) << 8;
    const uint8_t* file = data + 3;
    const size_t fileSize = size - 3;

    {
        CDeviceLink link;
        CMemoryImageReader reader(file, fileSize, "/images/fuzz.fw");
        reader.SetSizeKnown((control & 1) == 0);
        const bool failing = (control & 2) != 0;
        if (failing) reader.FailAfter(failAt);
        const bool ok = link.LoadImageFromArchive(reader);
        CheckLoaded(link, ok, file, fileSize);
        if (ok && failing) FUZZ_CHECK(failAt >= IMAGE_HEADER_SIZE + link.m_length);
        FUZZ_CHECK(std::strcmp(link.m_imagePath.Text(), "/images/fuzz.fw") == 0);
        FUZZ_CHECK((DownloadRefusal(link) == nullptr) ==
                   (link.HasImageData() && link.m_length <= MAX_DOWNLOAD_LENGTH));

        // A second load over the first replaces or drops its block; whether
        // the reader knows the size must not change the outcome.
        CMemoryImageReader again(file, fileSize);
        const bool ok2 = link.LoadImageFromArchive(again);
        CheckLoaded(link, ok2, file, fileSize);
        if (!failing || failAt >= fileSize) FUZZ_CHECK(ok2 == ok);
    }
    {
        // The built-in resource's parse trusts the header only as far as the
        // resource reaches; the checksum is verified separately.
        CDeviceLink link;
        const bool read = ReadResourceImage(link, file, fileSize);
        if (read) {
            FUZZ_CHECK(fileSize > IMAGE_HEADER_SIZE);
            FUZZ_CHECK(link.HasImageData());
            FUZZ_CHECK(link.m_length == Le32(file + 4));
            FUZZ_CHECK(fileSize - IMAGE_HEADER_SIZE >= link.m_length);
            FUZZ_CHECK(link.m_length == 0 ||
                       std::memcmp(link.m_data.get(), file + IMAGE_HEADER_SIZE, link.m_length) == 0);
        } else {
            FUZZ_CHECK(!link.HasImageData());
        }
        FUZZ_CHECK(link.m_imagePath.Text()[0] == '\0');
    }
    return 0;
}
