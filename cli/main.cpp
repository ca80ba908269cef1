// kavro-cli: the KAVRO firmware downloader for production lines, scripts and
// headless machines. A thin layer over the same link engine as the desktop
// application; see cli/README.md.
#include <CLI/CLI.hpp>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "lang/language.h"
#include "cli/cli_platform.h"
#include "cli/commands.h"
#include "cli/exit_codes.h"
#include "cli/records_command.h"
#include "cli/signing_command.h"
#include "cli/station_command.h"
#include "cli/stop_signals.h"
#include "cli/usage_errors.h"
#include "res/translation.h"

namespace {

// CLI::Range, which lets "nan" through (no comparison with it is true); the
// same message for it as for a value out of range.
class FiniteRange : public CLI::Range {
public:
    FiniteRange(double low, double high) : CLI::Range(low, high) {
        func_ = [range = func_, low, high](std::string& input) {
            std::string problem = range(input);
            double value = 0;
            if (problem.empty() && CLI::detail::lexical_cast(input, value) && std::isnan(value))
                problem = "Value " + input + " not in range " + std::to_string(low) + " to " + std::to_string(high);
            return problem;
        };
    }
};

// --port, --trace, --timeout and --second-cpu of the subcommands that talk to a device.
void AddDeviceOptions(CLI::App& command, DeviceOptions& options, double& timeoutSeconds) {
    command.add_option("-p,--port", options.port, FormatText(Tr("Serial port (%s)"), {PortNameExamples()}))
        ->required();
    command.add_flag("--trace", options.trace,
                     Tr("Every frame sent and received, in hex, with the time since the previous one, on standard "
                        "error"));
    command
        .add_option("--timeout", timeoutSeconds,
                    Tr("Seconds to wait for the device's first answer (default 45: a silent device's whole first "
                       "poll cycle, cut short when not a byte came back by the end of the first attempt)"))
        ->check(FiniteRange(0.1, 3600.0));
    command.add_flag("--second-cpu", options.secondCpu,
                     Tr("Address the unit's second CPU (its own identity, image and reset) instead of the first"));
}

// CLI11's own words in the help (headings, badges, the help flag) in the
// person's language, for the command and every subcommand. Called once every
// option is in place.
void TranslateHelp(CLI::App& app) {
    if (auto formatter = std::dynamic_pointer_cast<CLI::Formatter>(app.get_formatter()))
        for (const char* label : {KTEXT("Usage"), KTEXT("OPTIONS"), KTEXT("Positionals"), KTEXT("REQUIRED")})
            formatter->label(label, Tr(label));
    if (CLI::Option* help = app.get_help_ptr()) help->description(Tr("Print this help message and exit"));
    for (CLI::Option* option : app.get_options([](CLI::Option*) { return true; }))
        if (option->get_group() == "Options") option->group(Tr("Options"));
    for (CLI::App* command : app.get_subcommands([](CLI::App*) { return true; })) {
        if (command->get_group() == "Subcommands") command->group(Tr("Subcommands"));
        TranslateHelp(*command);
    }
}

// CLI11's complaints about the command line in the person's language, with
// the same pointer to the help flags as CLI11's own report.
std::string UsageFailure(const CLI::App* app, const CLI::Error& error) {
    std::vector<std::string> helpFlags;
    if (const CLI::Option* help = app->get_help_ptr()) helpFlags.push_back(help->get_name());
    if (const CLI::Option* helpAll = app->get_help_all_ptr()) helpFlags.push_back(helpAll->get_name());
    // A subcommand's ExtrasError carries the subcommand's name, not its own.
    const bool extras = dynamic_cast<const CLI::ExtrasError*>(&error) != nullptr;
    return UsageErrorReport(extras ? "ExtrasError" : error.get_name(), error.what(), helpFlags);
}

// The first word that is neither an option nor a subcommand, when no
// subcommand was found: "identfy" for `kavro-cli identfy`; "" otherwise.
std::string UnknownSubcommand(const CLI::App& app, int argc, char** argv) {
    if (!app.get_subcommands().empty()) return {};
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i];
        if (word.empty() || word[0] == '-') continue;
        const auto named = app.get_subcommands([&word](const CLI::App* command) { return command->check_name(word); });
        return named.empty() ? word : std::string();
    }
    return {};
}

// Names the word taken for a subcommand and lists the real ones.
std::string UnknownSubcommandReport(const CLI::App& app, const std::string& word) {
    std::string names;
    for (const CLI::App* command : app.get_subcommands([](const CLI::App*) { return true; }))
        names += (names.empty() ? "" : ", ") + command->get_name();
    const std::string message = FormatText(Tr("'%s' is not a subcommand; the subcommands are: %s"), {word, names});
    return UsageErrorReport("UnknownSubcommand", message, {app.get_help_ptr()->get_name(), app.get_help_all_ptr()->get_name()});
}

std::chrono::milliseconds Milliseconds(double seconds) {
    return std::chrono::milliseconds(static_cast<long long>(seconds * 1000.0 + 0.5));
}

void AddStationOptions(CLI::App& command, StationOptions& options, double& timeoutSeconds, double& leaveQuiet) {
    command.add_option("IMAGE", options.image, Tr("Image file (.fw); without it, the built-in image"));
    command
        .add_option("--bay", options.bays,
                    Tr("A bay's port (repeat for each bay); PORT:second addresses that bay's second CPU"))
        ->required()
        ->allow_extra_args(false);  // one port each: "--bay PORT IMAGE" leaves IMAGE the image
    command.add_flag("--second-cpu", options.secondCpu, Tr("Every bay addresses its units' second CPU"));
    command.add_flag("--once", options.once, Tr("Each bay flashes one unit, then the command ends (0: all passed)"));
    command.add_option("--timeout", timeoutSeconds, Tr("--once: seconds each bay waits for its unit (default 45)"))
        ->check(FiniteRange(0.1, 86400.0));
    command.add_flag("--force", options.force, Tr("Download even when a unit's hardware version lies outside the range"));
    command.add_flag("--no-reset", options.noReset, Tr("Do not reset the units after their download"));
    command.add_flag("--reflash", options.reflash,
                     Tr("Flash units whose chip already passed with this image (by default they are shown as passed)"));
    command
        .add_option("--stop-after-failures", options.stopAfterFailures,
                    Tr("Take a bay out of service after N failed units in a row (0: never)"))
        ->check(CLI::Range(0, 1000000));
    command.add_option("--records", options.records,
                       Tr("SQLite file or postgresql://... (default: this machine's records file)"));
    command.add_option("--station-name", options.stationName, Tr("The station's name in the records (default: host name)"));
    command.add_flag("--json", options.json, Tr("JSON Lines on standard output: one object per event"));
    command
        .add_option("--leave-after", leaveQuiet,
                    Tr("Seconds without an answer after which a unit on a fixed port that did not pass counts as removed "
                       "(default 5)"))
        ->check(FiniteRange(3.0, 3600.0));
    command.add_flag("--require-signed", options.release.requireSigned,
                     Tr("Flash the image only when its signature (IMAGE.sig) verifies against a trusted key"));
    command.add_option("--trust", options.release.trust, Tr("A public key file to trust besides the trust folders"));
    CLI::Option* order =
        command.add_option("--order", options.orderId, Tr("Work order: its units are counted in the records"));
    CLI::Option* quantity =
        command.add_option("--quantity", options.quantity, Tr("--order: stop taking units once this many have passed"))
            ->check(CLI::Range(uint64_t{1}, uint64_t{1000000000}))
            ->needs(order);
    order->needs(quantity);
    command.add_option("--http", options.http,
                       Tr("Serve the web console, JSON API and metrics on [ADDRESS:]PORT (default address 127.0.0.1)"));
    command.add_option("--http-token-file", options.httpTokenFile,
                       Tr("--http: read the control token from this file instead of making a new one"));
}

}  // namespace

int main(int argc, char** argv) {
    UseUtf8Arguments(argc, argv);
    PrepareConsoleText();
    SetUpLanguage();
    CLI::App app{FormatText(Tr("kavro-cli: downloads firmware images into KAVRO equipment over a serial port.\n"
                               "Exit status: 0 success, 1 usage error, 2 port cannot be opened, 3 device does not "
                               "respond\nproperly, 4 hardware version outside the image's range, 5 image cannot be "
                               "used,\n6 records cannot be kept or read, 130/143 stopped by %s."),
                            {StopRequestNames()})};
    app.require_subcommand(1);
    app.set_help_all_flag("--help-all", Tr("Help of every subcommand"));
    app.set_version_flag("--version", std::string("kavro-cli ") + KAVRO_VERSION, Tr("Print the version and exit"));

    CLI::App* ports = app.add_subcommand("ports", Tr("List the serial ports of this machine, one a line"));
    bool portsJson = false;
    ports->add_flag("--json", portsJson, Tr("One JSON array of the ports instead of lines"));

    std::string infoImage;
    bool infoJson = false;
    CLI::App* info = app.add_subcommand("info", Tr("Show what an image declares, its length and checksum"));
    info->add_option("IMAGE", infoImage, Tr("Image file (.fw); without it, the built-in image"));
    info->add_flag("--json", infoJson, Tr("One JSON object instead of lines"));

    DeviceOptions identifyOptions;
    double identifyTimeout = std::chrono::duration<double>(CLinkSession::kFirstCycleLimit).count();
    bool identifyJson = false;
    CLI::App* identify = app.add_subcommand("identify", Tr("Connect and show what the device reports"));
    AddDeviceOptions(*identify, identifyOptions, identifyTimeout);
    identify->add_flag("--json", identifyJson, Tr("One JSON object instead of lines"));

    DeviceOptions downloadOptions;
    double downloadTimeout = identifyTimeout;
    std::string downloadImage;
    bool force = false;
    bool resetAfter = false;
    CLI::App* download = app.add_subcommand(
        "download", Tr("Connect, check the hardware version against the image's range, download the image"));
    AddDeviceOptions(*download, downloadOptions, downloadTimeout);
    download->add_option("IMAGE", downloadImage, Tr("Image file (.fw); without it, the built-in image"));
    download->add_flag("--force", force, Tr("Download even when the hardware version lies outside the image's range"));
    download->add_flag("--reset", resetAfter, Tr("Reset the device after a successful download"));
    CLI::Option* downloadRecords =
        download->add_option("--records", downloadOptions.records,
                             Tr("Record the unit in this SQLite file, or (postgresql://...) on the line's server through "
                             "the default file"));
    download->add_option("--station-name", downloadOptions.stationName, Tr("The station's name in the record "
                                                                        "(default: the host name)"))
        ->needs(downloadRecords);

    DeviceOptions resetOptions;
    double resetTimeout = identifyTimeout;
    CLI::App* reset = app.add_subcommand("reset", Tr("Connect and reset the device so that it runs its firmware"));
    AddDeviceOptions(*reset, resetOptions, resetTimeout);

    PackOptions packOptions;
    CLI::App* pack = app.add_subcommand("pack", Tr("Build an image file from raw data"));
    pack->add_option("--name", packOptions.name, Tr("Image name, at most 108 characters"))->required();
    pack->add_option("--sw", packOptions.sw, Tr("Software version X.YY (X at most 255)"))->required();
    pack->add_option("--hw-lowest", packOptions.hwLowest, Tr("Lowest hardware version X.YY"))->required();
    pack->add_option("--hw-highest", packOptions.hwHighest, Tr("Highest hardware version X.YY"))->required();
    pack->add_option("DATA", packOptions.data, Tr("Raw data file, at most 65,535 bytes"))->required();
    pack->add_option("-o,--output", packOptions.output, Tr("Image file to write"))->required();
    pack->add_flag("--overwrite", packOptions.overwrite, Tr("Replace an existing output file"));
    pack->add_option("--sign", packOptions.signKey, Tr("Private key file: also write the signature OUTPUT.sig"));

    std::string keygenName, keygenSigner;
    CLI::App* keygen = app.add_subcommand("keygen", Tr("Make a key pair for signing images: NAME.key and NAME.pub"));
    keygen->add_option("--out", keygenName, Tr("The key files' name without .key/.pub"))->required();
    keygen->add_option("--signer", keygenSigner, Tr("Who signs with it (default: NAME)"));
    std::string signImage, signKey;
    bool signOverwrite = false;
    CLI::App* sign = app.add_subcommand("sign", Tr("Sign an image: write IMAGE.sig beside it"));
    sign->add_option("IMAGE", signImage, Tr("Image file (.fw)"))->required();
    sign->add_option("--key", signKey, Tr("Private key file (.key)"))->required();
    sign->add_flag("--overwrite", signOverwrite, Tr("Replace an existing signature"));

    RecordsOptions recordsOptions;
    CLI::App* records = app.add_subcommand("records", Tr("Show or export the unit records, or sum them up"));
    records->add_option("--records", recordsOptions.records,
                        Tr("SQLite file or postgresql://... (default: this machine's records file)"));
    records->add_option("--since", recordsOptions.since,
                        Tr("Only units started at or after this UTC time (2026-12-07, 2026-12-07T06:00) or span "
                        "before now (90min, 8h, 7d)"));
    CLI::Option* recordsCsv = records->add_flag("--csv", recordsOptions.csv, Tr("CSV with a header line"));
    records->add_flag("--json", recordsOptions.json, Tr("JSON Lines: one object per record"))->excludes(recordsCsv);
    CLI::Option* recordsSummary = records->add_flag(
        "--summary", recordsOptions.summary, Tr("Totals and yield per image and per day (and per station on a server)"));
    records->add_flag("--pending", recordsOptions.pending, Tr("How many records wait locally for which server"))
        ->excludes(recordsSummary);
    StationOptions stationOptions;
    double stationTimeout = identifyTimeout;
    double leaveQuiet = 5.0;
    CLI::App* station = app.add_subcommand(
        "station", Tr("Flash units on many bays at once, unit after unit (or one each with --once), recording each"));
    AddStationOptions(*station, stationOptions, stationTimeout, leaveQuiet);

    TranslateHelp(app);
    app.failure_message(&UsageFailure);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        const std::string unknown = UnknownSubcommand(app, argc, argv);
        if (!unknown.empty() && dynamic_cast<const CLI::RequiredError*>(&error) != nullptr) {
            std::fputs(UnknownSubcommandReport(app, unknown).c_str(), stderr);
            return kExitUsage;
        }
        const int status = app.exit(error);
        return status == 0 ? kExitOk : kExitUsage;
    }

    HideRecordsPasswords(argc, argv);
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
    if (keygen->parsed()) return CommandKeygen(keygenName, keygenSigner);
    if (sign->parsed()) return CommandSign(signImage, signKey, signOverwrite);
    if (records->parsed()) {
        recordsOptions.sinceGiven = records->count("--since") > 0;
        return CommandRecords(recordsOptions);
    }
    if (station->parsed()) {
        stationOptions.timeout = Milliseconds(stationTimeout);
        stationOptions.leaveQuiet = Milliseconds(leaveQuiet);
        return CommandStation(stationOptions);
    }
    return kExitUsage;
}
