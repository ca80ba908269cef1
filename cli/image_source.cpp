#include "cli/image_source.h"

#include <cstdio>

#include "image/file_reader.h"
#include "image/firmware_format.h"
#include "image/image_loading.h"
#include "link/device_link.h"
#include "link/platform.h"
#include "res/translation.h"

namespace {
std::string Hex16(uint16_t value) {
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "0x%04X", value);
    return buffer;
}
}  // namespace

ImageLoadReport LoadImageIntoLink(CDeviceLink& link, const std::string& path) {
    ImageLoadReport report;
    if (path.empty()) {
        report.opened = true;
        report.loaded = link.LoadBuiltInImage();
        if (!report.loaded) {
            report.problem = KTEXT("the built-in image is damaged");
            return report;
        }
    } else {
        CFileImageReader reader;
        std::string error;
        if (!reader.Open(path, error)) {
            report.problem = "cannot open " + path + ": " + error;
            return report;
        }
        report.opened = true;
        report.loaded = link.LoadImageFromArchive(reader);
        if (!report.loaded) {
            if (reader.Failed()) {
                report.problem = "cannot read " + path + ": " + SystemErrorText(static_cast<uint32_t>(reader.LastError()));
                return report;
            }
            // The loader keeps no data after a failure; a second read tells
            // whether the file is too short or its data do not match the header.
            CFileImageReader again;
            if (!again.Open(path, error)) {
                report.problem = "cannot open " + path + ": " + error;
                return report;
            }
            if (!link.ReadImageFromArchive(again)) {
                report.problem = again.Failed() ? "cannot read " + path + ": " +
                                                      SystemErrorText(static_cast<uint32_t>(again.LastError()))
                                                : path + " is shorter than its header and the " +
                                                      std::to_string(link.m_length) + " data bytes it declares";
                link.DiscardImageData();
                return report;
            }
            report.sumKnown = true;
            report.dataSum = ImageChecksum(link.m_data.get(), link.m_length);
            link.DiscardImageData();
            report.problem = "checksum mismatch: the header says " + Hex16(link.m_checksum) + ", the data sum to " +
                             Hex16(report.dataSum);
            return report;
        }
    }
    report.sumKnown = true;
    report.dataSum = link.m_checksum;
    if (const char* refusal = DownloadRefusal(link)) report.problem = refusal;
    return report;
}
