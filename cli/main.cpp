// kavro-cli: the KAVRO firmware downloader for production lines, scripts and
// headless machines. A thin layer over the same link engine as the desktop
// application; see cli/README.md.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <string>

#include "cli/cli_platform.h"
#include "cli/commands.h"
#include "cli/exit_codes.h"
#include "cli/records_command.h"
#include "cli/station_command.h"
#include "cli/stop_signals.h"

namespace {

// --port, --trace, --timeout and --second-cpu of the subcommands that talk to a device.
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
    command.add_flag("--second-cpu", options.secondCpu,
                     "Address the unit's second CPU (its own identity, image and reset) instead of the first");
}

std::chrono::milliseconds Milliseconds(double seconds) {
    return std::chrono::milliseconds(static_cast<long long>(seconds * 1000.0 + 0.5));
}

void AddStationOptions(CLI::App& command, StationOptions& options, double& timeoutSeconds, double& leaveQuiet) {
    command.add_option("IMAGE", options.image, "Image file (.fw); without it, the built-in image");
    command
        .add_option("--bay", options.bays,
                    "A bay's port (repeat for each bay); PORT:second addresses that bay's second CPU")
        ->required();
    command.add_flag("--second-cpu", options.secondCpu, "Every bay addresses its units' second CPU");
    command.add_flag("--once", options.once, "Each bay flashes one unit, then the command ends (0: all passed)");
    command.add_option("--timeout", timeoutSeconds, "--once: seconds each bay waits for its unit (default 45)")
        ->check(CLI::Range(0.1, 86400.0));
    command.add_flag("--force", options.force, "Download even when a unit's hardware version lies outside the range");
    command.add_flag("--no-reset", options.noReset, "Do not reset the units after their download");
    command
        .add_option("--stop-after-failures", options.stopAfterFailures,
                    "Take a bay out of service after N failed units in a row (0: never)")
        ->check(CLI::Range(0, 1000000));
    command.add_option("--records", options.records,
                       "SQLite file or postgresql://... (default: this machine's records file)");
    command.add_option("--station-name", options.stationName, "The station's name in the records (default: host name)");
    command.add_flag("--json", options.json, "JSON Lines on standard output: one object per event");
    command
        .add_option("--leave-after", leaveQuiet,
                    "Seconds without an answer after which a unit on a fixed port counts as removed (default 5)")
        ->check(CLI::Range(3.0, 3600.0));
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{std::string("kavro-cli: downloads firmware images into KAVRO equipment over a serial port.\n"
                             "Exit status: 0 success, 1 usage error, 2 port cannot be opened, 3 device does not "
                             "respond\nproperly, 4 hardware version outside the image's range, 5 image cannot be "
                             "used,\n6 records cannot be kept or read, 130/143 stopped by ") +
                 StopRequestNames() + "."};
    app.require_subcommand(1);
    app.set_help_all_flag("--help-all", "Help of every subcommand");
    app.set_version_flag("--version", std::string("kavro-cli ") + KAVRO_VERSION, "Print the version and exit");

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
    CLI::Option* downloadRecords =
        download->add_option("--records", downloadOptions.records,
                             "Record the unit in this SQLite file, or (postgresql://...) on the line's server through "
                             "the default file");
    download->add_option("--station-name", downloadOptions.stationName, "The station's name in the record "
                                                                        "(default: the host name)")
        ->needs(downloadRecords);

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

    RecordsOptions recordsOptions;
    CLI::App* records = app.add_subcommand("records", "Show or export the unit records, or sum them up");
    records->add_option("--records", recordsOptions.records,
                        "SQLite file or postgresql://... (default: this machine's records file)");
    records->add_option("--since", recordsOptions.since,
                        "Only units started at or after this UTC time (2026-12-07, 2026-12-07T06:00) or span "
                        "before now (90min, 8h, 7d)");
    CLI::Option* recordsCsv = records->add_flag("--csv", recordsOptions.csv, "CSV with a header line");
    records->add_flag("--json", recordsOptions.json, "JSON Lines: one object per record")->excludes(recordsCsv);
    records->add_flag("--summary", recordsOptions.summary,
                      "Totals and yield per image and per day (and per station on a server)");
    StationOptions stationOptions;
    double stationTimeout = identifyTimeout;
    double leaveQuiet = 5.0;
    CLI::App* station = app.add_subcommand(
        "station", "Flash units on many bays at once, unit after unit (or one each with --once), recording each");
    AddStationOptions(*station, stationOptions, stationTimeout, leaveQuiet);

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
    if (records->parsed()) return CommandRecords(recordsOptions);
    if (station->parsed()) {
        stationOptions.timeout = Milliseconds(stationTimeout);
        stationOptions.leaveQuiet = Milliseconds(leaveQuiet);
        return CommandStation(stationOptions);
    }
    return kExitUsage;
}
