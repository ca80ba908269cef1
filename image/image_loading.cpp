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
#include "link/file_path.h"
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

// The data into the image's vector; false when no memory is left.
bool CopyData(const uint8_t* from, uint32_t length, std::vector<uint8_t>& to) {
    try {
        to.assign(from, from + length);
    } catch (const std::bad_alloc&) {
        to.clear();
        return false;
    }
    return true;
}
}  // namespace

std::string FirmwareImage::Source() const {
    if (BuiltIn()) return "built-in";
    return AbsoluteUtf8Path(path);
}

bool ReadImageFile(IImageReader& reader, FirmwareImage& image) {
    image.data.clear();
    image.path = reader.FilePath();

    // Field by field, in file order: a file that ends inside its header
    // leaves the fields it does not reach as they were. The magic is skipped
    // unexamined.
    uint8_t magic[2], checksum[2], length[4], swMajor[1], swMinor[1], lowMajor[4], lowMinor[1],
        highMajor[4], highMinor[1], name[IMAGE_NAME_SIZE];
    FirmwareInfo& info = image.info;
    if (!ReadField(reader, magic)) return false;
    if (!ReadField(reader, checksum)) return false;
    image.checksum = static_cast<uint16_t>(checksum[0] | checksum[1] << 8);
    if (!ReadField(reader, length)) return false;
    image.length = Le32(length);
    if (!ReadField(reader, swMajor)) return false;
    info.swMajor = swMajor[0];
    if (!ReadField(reader, swMinor)) return false;
    info.swMinor = swMinor[0];
    if (!ReadField(reader, lowMajor)) return false;
    info.hwLowestMajor = Le32(lowMajor);
    if (!ReadField(reader, lowMinor)) return false;
    info.hwLowestMinor = lowMinor[0];
    if (!ReadField(reader, highMajor)) return false;
    info.hwHighestMajor = Le32(highMajor);
    if (!ReadField(reader, highMinor)) return false;
    info.hwHighestMinor = highMinor[0];
    if (!ReadField(reader, name)) return false;
    SetName(info.name, name);

    // A short file or a read error fails the load instead of leaving data
    // that were only partly filled.
    std::unique_ptr<uint8_t[]> block;
    if (!ReadData(reader, image.length, block)) return false;
    return CopyData(block.get(), image.length, image.data);
}

bool ReadResourceImage(const unsigned char* resource, size_t size, FirmwareImage& image) {
    image.data.clear();
    image.path.clear();
    if (resource == nullptr || size <= IMAGE_HEADER_SIZE) return false;
    ImageHeader header;
    ParseImageHeader(resource, header);
    image.checksum = header.checksum;
    image.length = header.length;
    image.info = header.info;
    // The header is trusted for the length only as far as the resource reaches.
    if (image.length > size - IMAGE_HEADER_SIZE) return false;
    return CopyData(resource + IMAGE_HEADER_SIZE, image.length, image.data);
}

bool ReadBuiltInImage(FirmwareImage& image) {
    // The build embeds the image into the program itself.
    const unsigned char* resource = nullptr;
    size_t size = 0;
    if (!FindEmbeddedResource("FWFILE", "FW", resource, size)) resource = nullptr;
    return ReadResourceImage(resource, size, image);
}

bool ChecksumMatches(const FirmwareImage& image) {
    return image.data.size() == image.length && ImageChecksum(image.data.data(), image.data.size()) == image.checksum;
}

// --- the link's loaders, thin callers of the above ---

namespace {
// The link's image fields as a value, so a read that stops early leaves the
// fields it did not reach as they were.
FirmwareImage LinkImage(const CDeviceLink& link) {
    FirmwareImage image;
    image.info = link.m_firmware;
    image.checksum = link.m_checksum;
    image.length = link.m_length;
    return image;
}

// Takes the read fields, and the data only when the read succeeded.
bool AdoptImage(CDeviceLink& link, const FirmwareImage& image, bool read) {
    link.m_imagePath.Clear();
    link.m_imagePath.Assign(image.path.c_str());
    link.m_firmware = image.info;
    link.m_checksum = image.checksum;
    link.m_length = image.length;
    if (!read) return false;
    std::unique_ptr<uint8_t[]> block = NewBlock(image.data.size());
    if (block == nullptr) return false;
    if (!image.data.empty()) std::memcpy(block.get(), image.data.data(), image.data.size());
    link.m_data = std::move(block);
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
    DiscardImageData();
    FirmwareImage image = LinkImage(*this);
    const bool read = ::ReadBuiltInImage(image);
    return AdoptImage(*this, image, read);
}

bool ReadResourceImage(CDeviceLink& link, const unsigned char* resource, size_t size) {
    link.DiscardImageData();
    FirmwareImage image = LinkImage(link);
    const bool read = ReadResourceImage(resource, size, image);
    return AdoptImage(link, image, read);
}

bool CDeviceLink::ReadImageFromArchive(IImageReader& reader) {
    DiscardImageData();
    FirmwareImage image = LinkImage(*this);
    const bool read = ReadImageFile(reader, image);
    return AdoptImage(*this, image, read);
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
