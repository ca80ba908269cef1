#include "res/info_lines.h"

#include <cstdio>

#include "res/resource_ids.h"
#include "res/strings.h"
#include "res/translation.h"

namespace {
std::string Label(unsigned id) {
    const char* text = LoadStringText(id);
    return text ? text : "";
}

std::string Line(unsigned labelId, const std::string& value) { return Label(labelId) + " : " + value; }
}  // namespace

std::string FormatVersion(uint32_t major, uint32_t minor) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%u.%02u", major, minor);
    return buf;
}

std::string FormatInfoLine(int line, const DeviceInfo& d, const FirmwareInfo& f, const char* imagePath) {
    char buf[64];
    switch (line) {
        case 1:
            std::snprintf(buf, sizeof buf, "%02X %02X %02X %02X", unsigned{d.chipId[0]}, unsigned{d.chipId[1]},
                          unsigned{d.chipId[2]}, unsigned{d.chipId[3]});
            return Line(IDS_CHIP_ID, buf);
        case 2: return Line(IDS_NAME, d.name.Text());
        case 3: return Line(IDS_SW_VERSION, FormatVersion(d.swMajor, d.swMinor));
        case 4: return Line(IDS_HW_LOWEST, FormatVersion(d.hwLowestMajor, d.hwLowestMinor));
        case 5: return Line(IDS_HW_HIGHEST, FormatVersion(d.hwHighestMajor, d.hwHighestMinor));
        case 6: return Line(IDS_HW_CURRENT, FormatVersion(d.hwCurrentMajor, d.hwCurrentMinor));
        case 7:
            std::snprintf(buf, sizeof buf, "%08u", d.productNumber);
            return Line(IDS_PRODUCT_NUMBER, buf);
        case 8: return Line(IDS_FILE_PATH, imagePath ? imagePath : "");
        case 9: return Line(IDS_NAME, f.name.Text());
        case 10: return Line(IDS_SW_VERSION, FormatVersion(f.swMajor, f.swMinor));
        case 11: return Line(IDS_HW_LOWEST, FormatVersion(f.hwLowestMajor, f.hwLowestMinor));
        case 12: return Line(IDS_HW_HIGHEST, FormatVersion(f.hwHighestMajor, f.hwHighestMinor));
        default: return {};
    }
}

std::vector<std::string> DeviceBlockLines(const DeviceInfo& device) {
    std::vector<std::string> lines;
    const FirmwareInfo none;
    for (int i = 1; i <= DEVICE_LINE_COUNT; ++i) lines.push_back(FormatInfoLine(i, device, none, ""));
    return lines;
}

std::vector<std::string> ImageBlockLines(const FirmwareInfo& image, const char* imagePath) {
    std::vector<std::string> lines;
    const DeviceInfo none;
    for (int i = DEVICE_LINE_COUNT + 1; i <= INFO_LINE_COUNT; ++i)
        lines.push_back(FormatInfoLine(i, none, image, imagePath));
    return lines;
}

const char* CpuLabel(bool secondCpu) { return secondCpu ? KTEXT("Second CPU") : KTEXT("First CPU"); }
