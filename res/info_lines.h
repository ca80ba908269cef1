#pragma once
// The twelve lines of the information view, formatted exactly as the desktop
// application paints them (the command line prints the same lines). Pure
// functions; any thread.
#include <string>
#include <vector>

#include "link/device_info.h"

inline constexpr int INFO_LINE_COUNT = 12;
inline constexpr int DEVICE_LINE_COUNT = 7;  // lines 1-7; the image block is lines 8-12

// Line 1..12: "<label> : <value>". Lines 1-7 from the device, 8 the image path,
// 9-12 from the image.
std::string FormatInfoLine(int line, const DeviceInfo& device, const FirmwareInfo& image, const char* imagePath);

std::vector<std::string> DeviceBlockLines(const DeviceInfo& device);
std::vector<std::string> ImageBlockLines(const FirmwareInfo& image, const char* imagePath);

// Which CPU a connection addresses, in words: "First CPU"
// or "Second CPU" (the caption of the dialog bar's box).
const char* CpuLabel(bool secondCpu);

// "%u.%02u"
std::string FormatVersion(uint32_t major, uint32_t minor);
