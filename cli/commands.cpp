#include "cli/commands.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>
#include <vector>

#include "cli/cli_output.h"
#include "cli/cli_platform.h"
#include "cli/cli_text.h"
#include "cli/exit_codes.h"
#include "cli/signing_command.h"
#include "cli/frame_tracer.h"
#include "image/image_source.h"
#include "cli/unit_recording.h"
#include "image/firmware_format.h"
#include "link/adapter_latency.h"
#include "link/file_path.h"
#include "link/port_list.h"
#include "records/json_text.h"
#include "res/info_lines.h"
#include "res/resource_ids.h"
#include "res/translation.h"

namespace {

void PrintLine(const std::string& text) {
    std::fputs(text.c_str(), stdout);
    std::fputc('\n', stdout);
}

std::string Hex16(uint16_t value) {
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "0x%04X", value);
    return buffer;
}

std::string RangeDetail(const DeviceInfo& device, const FirmwareInfo& image) {
    return FormatText(Tr("The device's HW current version %s lies outside the image's range %s to %s."),
                      {FormatVersion(device.hwCurrentMajor, device.hwCurrentMinor),
                       FormatVersion(image.hwLowestMajor, image.hwLowestMinor),
                       FormatVersion(image.hwHighestMajor, image.hwHighestMinor)});
}

// Once per port, the fix for an adapter that holds replies too long.
void WarnAboutLatency(const std::string& port, int timerMs) {
    const std::string advice = LatencyWarningOnce(port, timerMs);
    if (!advice.empty()) PrintError(Tr("Warning: ") + advice);
}

// The open port's adapter latency where the port has a latency timer.
void ReportAdapterLatency(const std::string& port, const AdapterLatency& adapter) {
    if (adapter.timerMs >= 0) PrintLine(AdapterLatencyLine(adapter));
    WarnAboutLatency(port, adapter.timerMs);
}

// Connects and waits for the device's first whole answer; prints failures.
int ConnectAndIdentify(CLinkSession& session, const DeviceOptions& options, CFrameTracer* tracer) {
    const int status = session.Connect(options.port, tracer, options.secondCpu);
    if (status != kExitOk) return status;
    return session.WaitForDevice(options.timeout, !options.timeoutGiven);
}

// `info --json` of a file that cannot be opened: the fields of a damaged
// file's object, null where nothing could be read.
std::string UnopenedImageJson(const std::string& path, const std::string& problem) {
    Json object = Json::object();
    object["filePath"] = JsonText(path);
    for (const char* key : {"name", "swVersion", "hwLowest", "hwHighest", "dataLength", "checksum", "dataChecksum"})
        object[key] = nullptr;
    object["checksumMatches"] = false;
    object["downloadable"] = false;
    object["problem"] = JsonText(problem);
    return JsonLine(object);
}

}  // namespace

int CommandPorts(bool json) {
    const std::vector<SerialPortEntry> ports = EnumerateSerialPorts();
    if (json) {
        PrintLine(PortsJson(ports));
        return kExitOk;
    }
    if (ports.empty()) {
        PrintError(Tr("No serial ports found."));
        return kExitOk;
    }
    size_t width = 0;
    for (const SerialPortEntry& port : ports) width = std::max(width, port.name.size());
    for (const SerialPortEntry& port : ports) {
        std::string line = port.name;
        if (!port.usbId.empty() || !port.description.empty()) {
            line.append(width - port.name.size() + 2, ' ');
            // Descriptions line up whether or not a port has USB ids.
            if (port.usbId.empty()) line.append(11, ' ');
            line += PortDetail(port);
        }
        if (port.latencyMs >= 0)
            line += "  " + FormatText(Tr("(adapter latency %s ms)"), {std::to_string(port.latencyMs)});
        PrintLine(line);
    }
    return kExitOk;
}

int CommandInfo(const std::string& image, bool json) {
    FirmwareImage loaded;
    const ImageLoadReport report = LoadFirmwareImage(image, loaded);
    if (!report.opened) {
        if (json) PrintLine(UnopenedImageJson(image, report.problem));
        PrintError(FormatText(Tr("Image cannot be used: %s"), {report.shownProblem}));
        return kExitImage;
    }
    const std::vector<std::string> lines = ImageBlockLines(loaded.info, loaded.path.c_str());
    const bool matches = report.sumKnown && report.dataSum == loaded.checksum;
    if (json) {
        static const char* const kKeys[] = {"filePath", "name", "swVersion", "hwLowest", "hwHighest"};
        Json object = Json::object();
        for (size_t i = 0; i < lines.size() && i < 5; ++i) object[kKeys[i]] = JsonText(InfoLineValue(lines[i]));
        object["dataLength"] = loaded.length;
        object["checksum"] = Hex16(loaded.checksum);
        object["dataChecksum"] = report.sumKnown ? Json(Hex16(report.dataSum)) : Json(nullptr);
        object["checksumMatches"] = matches;
        object["downloadable"] = report.Usable();
        object["problem"] = report.Usable() ? Json(nullptr) : JsonText(report.problem);
        PrintLine(JsonLine(object));
    } else {
        for (const std::string& line : lines) PrintLine(line);
        PrintLine(FormatText(Tr("Data length : %s bytes"), {std::to_string(loaded.length)}));
        std::string checksum = FormatText(Tr("Checksum : %s"), {Hex16(loaded.checksum)});
        if (matches)
            checksum += Tr(" (matches)");
        else if (report.sumKnown)
            checksum += FormatText(Tr(" (does not match: the data sum to %s)"), {Hex16(report.dataSum)});
        else
            checksum += Tr(" (not verified: the data are incomplete)");
        PrintLine(checksum);
    }
    std::fflush(stdout);
    if (!report.Usable()) {
        PrintError(FormatText(Tr("Image cannot be used: %s"), {report.shownProblem}));
        return kExitImage;
    }
    return kExitOk;
}

int CommandIdentify(const DeviceOptions& options, bool json) {
    std::unique_ptr<CFrameTracer> tracer;
    if (options.trace) tracer = std::make_unique<CFrameTracer>(kStandardErrorDescriptor);
    CLinkSession session;
    const int status = ConnectAndIdentify(session, options, tracer.get());
    if (status != kExitOk) return status;
    const DeviceInfo device = session.Device();
    if (json) {
        PrintLine(IdentifyJson(session.Port(), device, session.Adapter().timerMs));
        WarnAboutLatency(session.Port(), session.Adapter().timerMs);
    } else {
        for (const std::string& line : DeviceBlockLines(device)) PrintLine(line);
        ReportAdapterLatency(session.Port(), session.Adapter());
    }
    std::fflush(stdout);
    return kExitOk;
}

namespace {

int DownloadUnit(const DeviceOptions& options, const std::string& image, bool force, bool reset,
                 CUnitRecording& recording) {
    // The image is checked before the port is touched: a bad image sends nothing.
    FirmwareImage loaded;
    const ImageLoadReport report = LoadFirmwareImage(image, loaded);
    if (!report.Usable()) {
        PrintError(FormatText(Tr("Image cannot be used: %s"), {report.shownProblem}));
        PrintError(Tr("Nothing was sent."));
        return kExitImage;
    }
    recording.SetImage(loaded);
    std::unique_ptr<CFrameTracer> tracer;
    if (options.trace) tracer = std::make_unique<CFrameTracer>(kStandardErrorDescriptor);
    CLinkSession session;
    int status = ConnectAndIdentify(session, options, tracer.get());
    recording.SetOutcome(status == kExitPort ? UnitStep::Connect : UnitStep::Identify, session.LastResult());
    if (status != kExitOk) return status;

    const DeviceInfo device = session.Device();
    recording.SetDevice(device);
    for (const std::string& line : DeviceBlockLines(device)) PrintLine(line);
    ReportAdapterLatency(session.Port(), session.Adapter());
    std::fflush(stdout);
    if (!IsDeviceCompatible(device, loaded.info)) {
        if (!force) {
            PrintError(StringText(IDS_HW_INCORRECT));
            PrintError(RangeDetail(device, loaded.info) + " " + Tr("Nothing was sent; --force downloads anyway."));
            return kExitRefused;
        }
        PrintError(StringText(IDS_HW_INCORRECT));
        PrintError(RangeDetail(device, loaded.info) + " " + Tr("Downloading anyway (--force)."));
    }
    PrintLine(FormatText(options.secondCpu ? Tr("Downloading %s (%s bytes) to %s, second CPU")
                                           : Tr("Downloading %s (%s bytes) to %s"),
                         {image.empty() ? Tr("the built-in image") : loaded.path,
                          std::to_string(loaded.data.size()), session.Port()}));
    std::fflush(stdout);
    status = session.Download(loaded.info, loaded.data, true, PrepareProgressTerminal());
    recording.SetOutcome(UnitStep::Download, session.LastResult());
    if (status != kExitOk || !reset) return status;
    status = session.Reset();
    recording.SetOutcome(UnitStep::Reset, session.LastResult());
    return status;
}

}  // namespace

int CommandDownload(const DeviceOptions& options, const std::string& image, bool force, bool reset) {
    CUnitRecording recording(options.records, options.stationName, options.port);
    if (!recording.Open()) return kExitRecords;
    return recording.Finish(DownloadUnit(options, image, force, reset, recording));
}

int CommandReset(const DeviceOptions& options) {
    std::unique_ptr<CFrameTracer> tracer;
    if (options.trace) tracer = std::make_unique<CFrameTracer>(kStandardErrorDescriptor);
    CLinkSession session;
    const int status = ConnectAndIdentify(session, options, tracer.get());
    if (status != kExitOk) return status;
    return session.Reset();
}

namespace {

bool ParseVersionOption(const char* option, const std::string& text, Version& out) {
    if (ParseVersion(text, out)) return true;
    PrintError(FormatText(Tr("%s: expected a version X.YY (two-digit minor, e.g. 2.05), got '%s'"), {option, text}));
    return false;
}

// Reads at most limit + 1 bytes, enough to tell a file that is too long.
bool ReadDataFile(const std::string& path, size_t limit, std::vector<uint8_t>& data, std::string& error) {
    std::FILE* file = OpenFileUtf8(path, "rb");
    if (file == nullptr) {
        error = FormatText(Tr("cannot open %s: %s"), {path, std::strerror(errno)});
        return false;
    }
    data.resize(limit + 1);
    const size_t count = std::fread(data.data(), 1, data.size(), file);
    const bool failed = std::ferror(file) != 0;
    const int readError = errno;
    std::fclose(file);
    if (failed) {
        error = FormatText(Tr("cannot read %s: %s"), {path, std::strerror(readError)});
        return false;
    }
    data.resize(count);
    return true;
}

// Writes all bytes and closes; false with the system's reason.
bool WriteAll(std::FILE* file, const std::vector<uint8_t>& bytes, std::string& error) {
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    const int writeError = errno;
    const bool closed = std::fclose(file) == 0;
    if (written && closed) return true;
    error = std::strerror(written ? errno : writeError);
    return false;
}

// Renames from over to; false with the system's reason. std::filesystem's
// rename replaces an existing file on Windows too, where std::rename refuses.
bool RenameOver(const std::string& from, const std::string& to, std::string& error) {
    std::error_code code;
    std::filesystem::rename(PathFromUtf8(from), PathFromUtf8(to), code);
    if (!code) return true;
    error = code.message();
    return false;
}

}  // namespace

int CommandPack(const PackOptions& options) {
    PackRequest request;
    request.name = options.name;
    if (request.name.empty()) {
        PrintError(Tr("--name: an image needs a name"));
        return kExitUsage;
    }
    if (request.name.size() > IMAGE_NAME_SIZE) {
        PrintError(FormatText(Tr("--name: the name has %s characters; at most %s fit in an image"),
                              {std::to_string(request.name.size()), std::to_string(IMAGE_NAME_SIZE)}));
        return kExitUsage;
    }
    if (!ParseVersionOption("--sw", options.sw, request.sw) ||
        !ParseVersionOption("--hw-lowest", options.hwLowest, request.hwLowest) ||
        !ParseVersionOption("--hw-highest", options.hwHighest, request.hwHighest))
        return kExitUsage;
    if (request.hwHighest < request.hwLowest) {
        PrintError(FormatText(Tr("--hw-lowest %s lies above --hw-highest %s: no unit's hardware would fit the image"),
                              {options.hwLowest, options.hwHighest}));
        return kExitUsage;
    }
    if (request.sw.major > 255) {
        PrintError(FormatText(Tr("--sw: the major version must be 0 to 255, got '%s'"), {options.sw}));
        return kExitUsage;
    }
    std::error_code ignored;
    if (!options.overwrite && std::filesystem::exists(PathFromUtf8(options.output), ignored)) {
        PrintError(FormatText(Tr("%s exists; --overwrite replaces it"), {options.output}));
        return kExitUsage;
    }

    std::vector<uint8_t> data;
    std::string error;
    if (!ReadDataFile(options.data, MAX_DOWNLOAD_LENGTH, data, error)) {
        PrintError(error);
        return kExitImage;
    }
    if (data.size() > MAX_DOWNLOAD_LENGTH) {
        PrintError(FormatText(Tr("%s holds more than %s bytes; a download can address at most that many"),
                              {options.data, std::to_string(MAX_DOWNLOAD_LENGTH)}));
        return kExitImage;
    }
    std::vector<uint8_t> image;
    if (!PackImage(request, data, image, error)) {
        PrintError(FormatText(Tr("Cannot pack: %s"), {error}));
        return kExitUsage;
    }

    if (options.overwrite) {
        // A new file renamed over the old one: the old image stays whole until
        // the new one is complete.
        const std::string temporary = options.output + ".tmp-" + std::to_string(CurrentProcessId());
        std::FILE* file = OpenFileUtf8(temporary, "wb");
        if (file == nullptr) {
            PrintError(FormatText(Tr("cannot write %s: %s"), {temporary, std::strerror(errno)}));
            return kExitImage;
        }
        if (!WriteAll(file, image, error) || !RenameOver(temporary, options.output, error)) {
            std::filesystem::remove(PathFromUtf8(temporary), ignored);
            PrintError(FormatText(Tr("cannot write %s: %s"), {options.output, error}));
            return kExitImage;
        }
    } else {
        // Never replaces a file that appeared since the check above.
        std::FILE* file = CreateNewFile(options.output);
        if (file == nullptr) {
            const int openError = errno;
            PrintError(openError == EEXIST
                           ? FormatText(Tr("%s exists; --overwrite replaces it"), {options.output})
                           : FormatText(Tr("cannot write %s: %s"), {options.output, std::strerror(openError)}));
            return openError == EEXIST ? kExitUsage : kExitImage;
        }
        if (!WriteAll(file, image, error)) {
            std::filesystem::remove(PathFromUtf8(options.output), ignored);
            PrintError(FormatText(Tr("cannot write %s: %s"), {options.output, error}));
            return kExitImage;
        }
    }
    PrintLine(FormatText(Tr("Packed %s: %s data bytes, checksum %s"),
                         {options.output, std::to_string(data.size()), Hex16(ImageChecksum(data.data(), data.size()))}));
    if (!options.signKey.empty() && !SignImageFile(options.output, options.signKey, options.overwrite)) return kExitImage;
    return kExitOk;
}
