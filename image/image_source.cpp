#include "image/image_source.h"

#include <cstdio>
#include <initializer_list>
#include <vector>

#include "image/file_reader.h"
#include "image/firmware_format.h"
#include "image/image_digest.h"
#include "image/image_loading.h"
#include "link/protocol.h"
#include "link/platform.h"
#include "res/translation.h"

namespace {
std::string Hex16(uint16_t value) {
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "0x%04X", value);
    return buffer;
}
// A value of a problem's text: in English and in the person's language.
struct Value {
    Value(std::string text) : english(text), shown(std::move(text)) {}
    Value(std::string inEnglish, std::string inLanguage) : english(std::move(inEnglish)), shown(std::move(inLanguage)) {}
    std::string english;
    std::string shown;
};

// A failed open: the reader's own text of the error number.
Value OpenError(int number, const std::string& text) { return Value(EnglishErrnoText(number), text); }
// A failed read: the system's text.
Value ReadError(int number) { return Value(EnglishErrnoText(number), SystemErrorText(static_cast<uint32_t>(number))); }

void SetProblem(ImageLoadReport& report, const char* format, std::initializer_list<Value> values) {
    std::vector<std::string> english, shown;
    for (const Value& value : values) {
        english.push_back(value.english);
        shown.push_back(value.shown);
    }
    report.problem = FormatText(format, english);
    report.shownProblem = FormatText(Tr(format), shown);
}
}  // namespace

namespace {
// Why an image that was read whole cannot be downloaded, or nullptr.
const char* DataRefusal(const FirmwareImage& image) {
    if (image.data.size() > MAX_DOWNLOAD_LENGTH) return KTEXT("the image is longer than 65,535 bytes");
    return nullptr;
}
}  // namespace

ImageLoadReport LoadFirmwareImage(const std::string& path, FirmwareImage& image) {
    ImageLoadReport report;
    image = FirmwareImage{};
    if (path.empty()) {
        report.opened = true;
        report.loaded = ReadBuiltInImage(image) && ChecksumMatches(image);
        if (!report.loaded) {
            image.data.clear();
            SetProblem(report, KTEXT("the built-in image is damaged"), {});
            return report;
        }
    } else {
        CFileImageReader reader;
        std::string error;
        if (!reader.Open(path, error)) {
            SetProblem(report, KTEXT("cannot open %s: %s"), {path, OpenError(reader.LastError(), error)});
            return report;
        }
        report.opened = true;
        if (!ReadImageFile(reader, image)) {
            if (reader.Failed())
                SetProblem(report, KTEXT("cannot read %s: %s"), {path, ReadError(reader.LastError())});
            else
                SetProblem(report, KTEXT("%s is shorter than its header and the %s data bytes it declares"),
                           {path, std::to_string(image.length)});
            return report;
        }
        report.sumKnown = true;
        report.dataSum = ImageChecksum(image.data.data(), image.data.size());
        report.loaded = report.dataSum == image.checksum;
        if (!report.loaded) {
            image.data.clear();
            SetProblem(report, KTEXT("checksum mismatch: the header says %s, the data sum to %s"),
                       {Hex16(image.checksum), Hex16(report.dataSum)});
            return report;
        }
    }
    report.sumKnown = true;
    report.dataSum = image.checksum;
    image.sha256 = ImageSha256(image.data.data(), image.data.size());
    if (const char* refusal = DataRefusal(image)) SetProblem(report, refusal, {});
    return report;
}
