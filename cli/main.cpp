// kavro-cli: the KAVRO firmware downloader for production lines, scripts and
// headless machines. A thin layer over the same link engine as the desktop
// application; see cli/README.md.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <string>

#include "cli/cli_platform.h"
#include "cli/commands.h"
#include "cli/exit_codes.h"
#include "cli/stop_signals.h"

namespace {

// --port, --trace and --timeout of the subcommands that talk to a device.
void AddDeviceOptions(CLI::App& command, DeviceOptions& options, double& timeoutSeconds) {
    command.add_option("-p,--port", options.port, std::string("Serial port (") + PortNameExamples() + ")")
        ->required();
    command.add_flag("--trace", options.trace,
                     "Every frame sent and received, in hex, with the time since the previous one, on standard error");
    command
        .add_option("--timeout", timeoutSeconds,
                    "Seconds to wait for the device's first answer (default 45: a silent device's whole first "
                    "poll cycle, cut short when not a byte came back by the end of the first attempt)")
        ->check(CLI::Range(0.1, 3600.0));
}

std::chrono::milliseconds Milliseconds(double seconds) {
    return std::chrono::milliseconds(static_cast<long long>(seconds * 1000.0 + 0.5));
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{std::string("kavro-cli: downloads firmware images into KAVRO equipment over a serial port.\n"
                             "Exit status: 0 success, 1 usage error, 2 port cannot be opened, 3 device does not "
                             "respond\nproperly, 4 hardware version outside the image's range, 5 image cannot be "
                             "used,\n130/143 stopped by ") +
                 StopRequestNames() + "."};
    app.require_subcommand(1);
    app.set_help_all_flag("--help-all", "Help of every subcommand");

    CLI::App* ports = app.add_subcommand("ports", "List the serial ports of this machine, one a line");
    bool portsJson = false;
    ports->add_flag("--json", portsJson, "One JSON array of the ports instead of lines");

    std::string infoImage;
    bool infoJson = false;
    CLI::App* info = app.add_subcommand("info", "Show what an image declares, its length and checksum");
    info->add_option("IMAGE", infoImage, "Image file (.fw); without it, the built-in image");
    info->add_flag("--json", infoJson, "One JSON object instead of lines");

    DeviceOptions identifyOptions;
    double identifyTimeout = std::chrono::duration<double>(CLinkSession::kFirstCycleLimit).count();
    bool identifyJson = false;
    CLI::App* identify = app.add_subcommand("identify", "Connect and show what the device reports");
    AddDeviceOptions(*identify, identifyOptions, identifyTimeout);
    identify->add_flag("--json", identifyJson, "One JSON object instead of lines");

    DeviceOptions downloadOptions;
    double downloadTimeout = identifyTimeout;
    std::string downloadImage;
    bool force = false;
    bool resetAfter = false;
    CLI::App* download = app.add_subcommand(
        "download", "Connect, check the hardware version against the image's range, download the image");
    AddDeviceOptions(*download, downloadOptions, downloadTimeout);
    download->add_option("IMAGE", downloadImage, "Image file (.fw); without it, the built-in image");
    download->add_flag("--force", force, "Download even when the hardware version lies outside the image's range");
    download->add_flag("--reset", resetAfter, "Reset the device after a successful download");

    DeviceOptions resetOptions;
    double resetTimeout = identifyTimeout;
    CLI::App* reset = app.add_subcommand("reset", "Connect and reset the device so that it runs its firmware");
    AddDeviceOptions(*reset, resetOptions, resetTimeout);

    PackOptions packOptions;
    CLI::App* pack = app.add_subcommand("pack", "Build an image file from raw data");
    pack->add_option("--name", packOptions.name, "Image name, at most 108 characters")->required();
    pack->add_option("--sw", packOptions.sw, "Software version X.YY (X at most 255)")->required();
    pack->add_option("--hw-lowest", packOptions.hwLowest, "Lowest hardware version X.YY")->required();
    pack->add_option("--hw-highest", packOptions.hwHighest, "Highest hardware version X.YY")->required();
    pack->add_option("DATA", packOptions.data, "Raw data file, at most 65,535 bytes")->required();
    pack->add_option("-o,--output", packOptions.output, "Image file to write")->required();
    pack->add_flag("--overwrite", packOptions.overwrite, "Replace an existing output file");

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        const int status = app.exit(error);
        return status == 0 ? kExitOk : kExitUsage;
    }

    InstallStopSignals();
    if (ports->parsed()) return CommandPorts(portsJson);
    if (info->parsed()) return CommandInfo(infoImage, infoJson);
    if (identify->parsed()) {
        identifyOptions.timeout = Milliseconds(identifyTimeout);
        identifyOptions.timeoutGiven = identify->count("--timeout") > 0;
        return CommandIdentify(identifyOptions, identifyJson);
    }
    if (download->parsed()) {
        downloadOptions.timeout = Milliseconds(downloadTimeout);
        downloadOptions.timeoutGiven = download->count("--timeout") > 0;
        return CommandDownload(downloadOptions, downloadImage, force, resetAfter);
    }
    if (reset->parsed()) {
        resetOptions.timeout = Milliseconds(resetTimeout);
        resetOptions.timeoutGiven = reset->count("--timeout") > 0;
        return CommandReset(resetOptions);
    }
    if (pack->parsed()) return CommandPack(packOptions);
    return kExitUsage;
}
