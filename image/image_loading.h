#pragma once
// Reading firmware images: from a file (through an image reader) or from the
// built-in resource, into a FirmwareImage value, each header parsed once. The
// link's loaders (operations of CDeviceLink) call these and keep the result as
// their members. Any thread for the value readers; the link's helpers on the
// window thread (the link's image changes only there).
#include <cstddef>

#include "image/firmware_image.h"

class CDeviceLink;
class IImageReader;

// Reads the header field by field, then exactly the declared data. A source
// that ends inside the header leaves the fields it does not reach as they
// were; false (no data) when the source ends early, a read fails or no memory
// is left. The checksum is not verified here.
[[nodiscard]] bool ReadImageFile(IImageReader& reader, FirmwareImage& image);
// The same from an image held in memory (nullptr: none).
[[nodiscard]] bool ReadResourceImage(const unsigned char* resource, size_t size, FirmwareImage& image);
// The image built into the program.
[[nodiscard]] bool ReadBuiltInImage(FirmwareImage& image);
// The data are all there and sum to the header's checksum.
[[nodiscard]] bool ChecksumMatches(const FirmwareImage& image);

// nullptr when the link's image can be downloaded; otherwise a short reason:
// no data block is loaded (none yet, or the last load failed), or the data are
// longer than a download can address.
const char* DownloadRefusal(const CDeviceLink& link);

// The built-in image's parse, given the resource's bytes (nullptr: no such
// resource): drops the link's data block, empties its path, reads the header
// into the image members and copies the data into a new block. False when the
// resource is missing, not larger than a header, declares more data than it
// holds, or no memory is left. The checksum is not verified here.
// CDeviceLink::ReadBuiltInImage() calls it with the embedded resource.
bool ReadResourceImage(CDeviceLink& link, const unsigned char* resource, size_t size);
