#pragma once
// Image helpers around the link's loaders (which are operations of
// CDeviceLink): the check front ends make before they request a download, and
// the parse of an image held in memory as a resource.
// Window thread (the image changes only there).
#include <cstddef>

class CDeviceLink;

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
