// The image loaders of the link: the built-in image and image files.
//
// Every load stops the link, drops the old data, reads the header into the
// image members and then the data into one new block, and keeps the block only
// when its sum matches the header's checksum. A failed load leaves no data
// block; the header fields it reached keep the values it read.
#include "image/image_loading.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "image/firmware_format.h"
#include "image/image_reader.h"
#include "link/device_link.h"
#include "res/resources.h"
#include "res/translation.h"

namespace {
// When the reader cannot say how much is left, the data are read in blocks of
// this size into a buffer that grows with what actually arrives, so a header
// cannot make us allocate more than about twice the bytes the source holds.
constexpr size_t kReadChunk = 64 * 1024;

std::unique_ptr<uint8_t[]> NewBlock(size_t size) {
    return std::unique_ptr<uint8_t[]>(new (std::nothrow) uint8_t[size]);
}

// Reads until size bytes have come or the reader stops; returns the count.
size_t ReadFully(IImageReader& reader, uint8_t* buffer, size_t size) {
    size_t done = 0;
    while (done < size) {
        const size_t count = reader.Read(buffer + done, size - done);
        if (count == 0) break;
        done += count;
    }
    return done;
}

// Reads one header field of N bytes; false (field untouched) when the source
// ends or fails first.
template <size_t N>
bool ReadField(IImageReader& reader, uint8_t (&bytes)[N]) {
    return ReadFully(reader, bytes, N) == N && !reader.Failed();
}

uint32_t Le32(const uint8_t* p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

// The name field: up to the first zero byte, at most 108 characters; the rest
// of the name stays zero.
void SetName(CFixedString128& name, const uint8_t* field) {
    char text[IMAGE_NAME_SIZE + 1] = {};
    std::memcpy(text, field, IMAGE_NAME_SIZE);
    name.Clear();
    name.Assign(text);
}

// Reads exactly length data bytes into a new block. False, with nothing
// allocated or the partial block freed, when the source holds fewer bytes or a
// read fails.
bool ReadData(IImageReader& reader, uint32_t length, std::unique_ptr<uint8_t[]>& out) {
    uint64_t remaining = 0;
    if (reader.Remaining(remaining)) {
        // Refuse a declared length the source cannot hold before allocating it.
        if (remaining < length) return false;
        std::unique_ptr<uint8_t[]> block = NewBlock(length);
        if (block == nullptr) return false;
        if (ReadFully(reader, block.get(), length) != length || reader.Failed()) return false;
        out = std::move(block);
        return true;
    }
    // Unknown size: grow towards the declared length only as the bytes arrive.
    // The capacity never exceeds length, so it ends exactly at length.
    size_t capacity = std::min<size_t>(length, kReadChunk);
    std::unique_ptr<uint8_t[]> block = NewBlock(capacity);
    if (block == nullptr) return false;
    size_t filled = 0;
    for (;;) {
        filled += ReadFully(reader, block.get() + filled, capacity - filled);
        if (filled < capacity || reader.Failed()) return false;
        if (capacity == length) break;
        const size_t next = std::min<size_t>(length, capacity * 2);
        std::unique_ptr<uint8_t[]> bigger = NewBlock(next);
        if (bigger == nullptr) return false;
        std::memcpy(bigger.get(), block.get(), filled);
        block = std::move(bigger);
        capacity = next;
    }
    out = std::move(block);
    return true;
}
}  // namespace

bool CDeviceLink::LoadBuiltInImage() {
    Stop();
    if (!ReadBuiltInImage()) return false;
    if (!VerifyChecksum()) {
        DiscardImageData();
        return false;
    }
    return true;
}

bool CDeviceLink::LoadImageFromArchive(IImageReader& reader) {
    Stop();
    if (!ReadImageFromArchive(reader)) return false;
    if (!VerifyChecksum()) {
        DiscardImageData();
        return false;
    }
    return true;
}

bool CDeviceLink::ReadBuiltInImage() {
    // The build embeds the image into the program itself, so m_module (which
    // names where to look on systems with module resources) is not needed here.
    const unsigned char* resource = nullptr;
    size_t size = 0;
    if (!FindEmbeddedResource("FWFILE", "FW", resource, size)) resource = nullptr;
    return ReadResourceImage(*this, resource, size);
}

bool ReadResourceImage(CDeviceLink& link, const unsigned char* resource, size_t size) {
    link.DiscardImageData();
    link.m_imagePath.Clear();
    if (resource == nullptr || size <= IMAGE_HEADER_SIZE) return false;

    ImageHeader header;
    ParseImageHeader(resource, header);
    link.m_checksum = header.checksum;
    link.m_length = header.length;
    link.m_firmware = header.info;

    // The header is trusted for the length only as far as the resource reaches.
    if (link.m_length > size - IMAGE_HEADER_SIZE) return false;
    std::unique_ptr<uint8_t[]> block = NewBlock(link.m_length);
    if (block == nullptr) return false;
    if (link.m_length > 0) std::memcpy(block.get(), resource + IMAGE_HEADER_SIZE, link.m_length);
    link.m_data = std::move(block);
    return true;
}

bool CDeviceLink::ReadImageFromArchive(IImageReader& reader) {
    DiscardImageData();
    m_imagePath.Clear();
    m_imagePath.Assign(reader.FilePath());

    // Field by field, in file order: a file that ends inside its header
    // leaves the fields it does not reach as they were. The magic is skipped
    // unexamined.
    uint8_t magic[2], checksum[2], length[4], swMajor[1], swMinor[1], lowMajor[4], lowMinor[1],
        highMajor[4], highMinor[1], name[IMAGE_NAME_SIZE];
    if (!ReadField(reader, magic)) return false;
    if (!ReadField(reader, checksum)) return false;
    m_checksum = static_cast<uint16_t>(checksum[0] | checksum[1] << 8);
    if (!ReadField(reader, length)) return false;
    m_length = Le32(length);
    if (!ReadField(reader, swMajor)) return false;
    m_firmware.swMajor = swMajor[0];
    if (!ReadField(reader, swMinor)) return false;
    m_firmware.swMinor = swMinor[0];
    if (!ReadField(reader, lowMajor)) return false;
    m_firmware.hwLowestMajor = Le32(lowMajor);
    if (!ReadField(reader, lowMinor)) return false;
    m_firmware.hwLowestMinor = lowMinor[0];
    if (!ReadField(reader, highMajor)) return false;
    m_firmware.hwHighestMajor = Le32(highMajor);
    if (!ReadField(reader, highMinor)) return false;
    m_firmware.hwHighestMinor = highMinor[0];
    if (!ReadField(reader, name)) return false;
    SetName(m_firmware.name, name);

    // A short file or a read error fails the load instead of leaving a block
    // that was only partly filled.
    return ReadData(reader, m_length, m_data);
}

bool CDeviceLink::VerifyChecksum() const {
    if (m_data == nullptr) return false;
    return ImageChecksum(m_data.get(), m_length) == m_checksum;
}

void CDeviceLink::DiscardImageData() {
    m_data.reset();
}

const char* DownloadRefusal(const CDeviceLink& link) {
    if (!link.HasImageData()) return KTEXT("no image data is loaded");
    if (link.m_length > MAX_DOWNLOAD_LENGTH) return KTEXT("the image is longer than 65,535 bytes");
    return nullptr;
}
