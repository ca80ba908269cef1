// kavro-sim: a simulated device on a pseudo-terminal or a serial device, for
// people and scripts. Prints "Simulated device on PATH" and serves until
// SIGINT or SIGTERM (exit 0), until the hang-up fault closes the line (exit 0)
// or until the line fails (exit 1).
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "image/firmware_format.h"
#include "sim/device_simulator.h"
#include "sim/sim_bays.h"

namespace {
bool IsHex(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
uint8_t HexValue(char c) {
    if (c <= '9') return static_cast<uint8_t>(c - '0');
    return static_cast<uint8_t>((c | 0x20) - 'a' + 10);
}

bool ParseChip(const std::string& text, uint8_t chip[4]) {
    if (text.size() != 8) return false;
    for (char c : text) {
        if (!IsHex(c)) return false;
    }
    for (int i = 0; i < 4; ++i) chip[i] = static_cast<uint8_t>(HexValue(text[2 * i]) << 4 | HexValue(text[2 * i + 1]));
    return true;
}

// A command code in hexadecimal, with or without 0x: "86", "0x86".
bool ParseCode(const std::string& text, uint8_t& code) {
    std::string digits = text;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) digits = digits.substr(2);
    if (digits.empty() || digits.size() > 2) return false;
    for (char c : digits) {
        if (!IsHex(c)) return false;
    }
    code = static_cast<uint8_t>(digits.size() == 1 ? HexValue(digits[0])
                                                   : HexValue(digits[0]) << 4 | HexValue(digits[1]));
    return true;
}

bool ParseDecimal32(const std::string& text, uint32_t& value) {
    if (text.empty() || text.size() > 10) return false;
    uint64_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + static_cast<uint64_t>(c - '0');
    }
    if (v > UINT32_MAX) return false;
    value = static_cast<uint32_t>(v);
    return true;
}

CLI::Validator Checked(const std::string& what, bool (*valid)(const std::string&)) {
    return CLI::Validator(
        [what, valid](std::string& text) { return valid(text) ? std::string() : "expected " + what + ", got '" + text + "'"; },
        "", what);
}

bool ValidVersion(const std::string& text) {
    Version v;
    return ParseVersion(text, v);
}
bool ValidSoftwareVersion(const std::string& text) {
    Version v;
    return ParseVersion(text, v) && v.major <= 255;
}
bool ValidChip(const std::string& text) {
    uint8_t chip[4];
    return ParseChip(text, chip);
}
bool ValidCode(const std::string& text) {
    uint8_t code;
    return ParseCode(text, code);
}
bool ValidBaud(const std::string& text) {
    uint32_t value;
    if (!ParseDecimal32(text, value)) return false;
    for (uint32_t rate : {1200u, 2400u, 4800u, 9600u, 19200u, 38400u, 57600u, 115200u, 230400u, 460800u, 921600u}) {
        if (rate == value) return true;
    }
    return false;
}
bool ValidProduct(const std::string& text) {
    uint32_t value;
    return ParseDecimal32(text, value);
}

// Removes the link at exit only when it still points at our device.
struct LinkGuard {
    std::string path;
    std::string target;
    ~LinkGuard() { RemoveSimLinkIfOurs(path, target); }
};

// Waits for a stop signal in steps of tick; true when one came. SIGUSR1
// (when asked for) is reported through usr1 instead.
bool StopSignalled(const sigset_t& signals, bool* usr1) {
    const timespec tick{0, 100'000'000};
    const int signo = sigtimedwait(&signals, nullptr, &tick);
    if (signo == SIGUSR1) {
        if (usr1 != nullptr) *usr1 = true;
        return false;
    }
    if (signo > 0) return true;
    return signo < 0 && errno != EAGAIN && errno != EINTR;
}

// Swaps the bays whose request file DIR/bayK.swap exists, removing the file
// once the old unit is unplugged; every bay on SIGUSR1.
bool SwapRequested(SimBays& bays, bool all, std::string& error) {
    for (int i = 0; i < bays.Count(); ++i) {
        const std::string request = bays.LinkPath(i) + ".swap";
        const bool asked = access(request.c_str(), F_OK) == 0;
        if (!all && !asked) continue;
        if (!bays.Unplug(i, error)) return false;
        if (asked) unlink(request.c_str());
    }
    return true;
}

// --bays: many devices, each behind DIR/bayK, swapped on request or by time.
int ServeBays(SimBaysOptions options, double swapEvery, bool quiet, const sigset_t& signals) {
    const bool logRequests = !quiet;
    SimBays bays(std::move(options));
    bays.SetLogger([logRequests](bool error, const std::string& text) {
        if (error) {
            std::cerr << "kavro-sim: " << text << std::endl;
        } else if (logRequests || text.rfind("Bay ", 0) == 0) {
            std::cout << text << std::endl;
        }
    });
    std::string error;
    if (!bays.Start(error)) {
        std::cerr << "kavro-sim: " << error << std::endl;
        return 1;
    }
    std::cout << "Simulated bays: " << bays.Count() << std::endl;
    using Clock = std::chrono::steady_clock;
    const auto swapPeriod = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(swapEvery));
    Clock::time_point nextSwap = Clock::now() + swapPeriod;
    for (;;) {
        bool usr1 = false;
        if (StopSignalled(signals, &usr1)) break;
        bool all = usr1;
        if (swapEvery > 0 && Clock::now() >= nextSwap) {
            all = true;
            nextSwap += swapPeriod;
        }
        if (!SwapRequested(bays, all, error) || !bays.Tick(error)) {
            std::cerr << "kavro-sim: " << error << std::endl;
            return 1;
        }
    }
    return 0;
}
}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"kavro-sim: a simulated KAVRO device on a pseudo-terminal or a serial device.\n"
                 "Prints \"Simulated device on PATH\" and serves until interrupted (SIGINT, SIGTERM)."};
    app.set_help_flag("-h,--help", "Show this help and exit");
    app.set_version_flag("--version", std::string("kavro-sim ") + KAVRO_VERSION, "Print the version and exit");

    std::string linkPath, portPath, saveImage;
    uint32_t baud = 19200;
    app.add_option("--link", linkPath, "Also make a symbolic link PATH to the device (removed at exit)")
        ->type_name("PATH");
    app.add_option("--port", portPath,
                   "Use this existing serial device (a socat pty end, an adapter) instead of a new pseudo-terminal")
        ->type_name("DEVICE");
    app.add_option("--baud", baud, "Line speed for --port")->capture_default_str()
        ->type_name("RATE")
        ->check(Checked("a standard line speed (1200 to 921600)", ValidBaud))
        ->needs("--port");
    app.add_option("--save-image", saveImage, "Write the received image to FILE at each end command")
        ->type_name("FILE");
    int cpus = 1;
    std::string secondName, saveSecondImage;
    app.add_option("--cpus", cpus, "CPUs of the device: 1, or 2 to answer the second CPU's codes")
        ->capture_default_str()->check(CLI::Range(1, SIM_MAX_CPUS));
    app.add_option("--save-second-image", saveSecondImage,
                   "Write the second CPU's image to FILE at each of its end commands")
        ->type_name("FILE");

    SimIdentity id;
    std::string chip = "12345678", sw = "2.05", hwLowest = "1.00", hwHighest = "3.00", hwCurrent = "2.00",
                product = "258";
    auto* identity = "Identity";
    app.add_option("--name", id.name, "Device name (at most 234 characters are sent)")->capture_default_str()->group(identity);
    app.add_option("--second-name", secondName, "The second CPU's name (default: the name and \" CPU 2\")")
        ->group(identity);
    app.add_option("--chip", chip, "Chip ID, 8 hex digits")->capture_default_str()
        ->group(identity)->type_name("HEX8")->check(Checked("8 hex digits", ValidChip));
    app.add_option("--sw", sw, "Software version X.YY (X at most 255)")->capture_default_str()
        ->group(identity)->type_name("X.YY")->check(Checked("a version X.YY with X at most 255", ValidSoftwareVersion));
    app.add_option("--hw-lowest", hwLowest, "Lowest hardware version X.YY")->capture_default_str()
        ->group(identity)->type_name("X.YY")->check(Checked("a version X.YY", ValidVersion));
    app.add_option("--hw-highest", hwHighest, "Highest hardware version X.YY")->capture_default_str()
        ->group(identity)->type_name("X.YY")->check(Checked("a version X.YY", ValidVersion));
    app.add_option("--hw-current", hwCurrent, "Current hardware version X.YY")->capture_default_str()
        ->group(identity)->type_name("X.YY")->check(Checked("a version X.YY", ValidVersion));
    app.add_option("--product", product, "Product number (decimal, 32 bits)")->capture_default_str()
        ->group(identity)->type_name("N")->check(Checked("a decimal number below 2^32", ValidProduct));

    SimFaults f;
    std::string refuseCommand, silentCommand;
    auto* faults = "Faults (random ones drawn from --seed, so runs repeat exactly)";
    app.add_option("--seed", f.seed, "Seed of the random fault decisions")->capture_default_str()->group(faults)->type_name("N");
    app.add_option("--foreign", f.foreignFrames, "Send N frames answering another command before every answer")
        ->group(faults)->type_name("N")->check(CLI::Range(0, 1000));
    app.add_option("--refuse", f.refuseFirst, "Refuse (status 1) the first N requests")
        ->group(faults)->type_name("N")->check(CLI::Range(0, INT_MAX));
    app.add_option("--refuse-command", refuseCommand, "Refuse only requests with this code (hex, e.g. 0x05)")
        ->group(faults)->type_name("CODE")->check(Checked("a hex command code", ValidCode));
    app.add_option("--short-ack", f.shortAckFirst, "Answer the first N block requests with a 3-byte ack")
        ->group(faults)->type_name("N")->check(CLI::Range(0, INT_MAX));
    app.add_option("--corrupt", f.corruptRate, "Probability of a wrong checksum in a reply")
        ->group(faults)->type_name("RATE")->check(CLI::Range(0.0, 1.0));
    app.add_option("--drop", f.dropRate, "Probability that a reply is not sent")
        ->group(faults)->type_name("RATE")->check(CLI::Range(0.0, 1.0));
    app.add_flag("--silent", f.silent, "Answer nothing at all")->group(faults);
    app.add_option("--silent-command", silentCommand, "Never answer requests with this code (hex)")
        ->group(faults)->type_name("CODE")->check(Checked("a hex command code", ValidCode));
    app.add_option("--silence-after-blocks", f.silenceAfterBlocks, "Stop answering after N acknowledged blocks")
        ->group(faults)->type_name("N")->check(CLI::Range(0, INT_MAX));
    app.add_option("--hangup-after-blocks", f.hangUpAfterBlocks,
                   "Hang up the line at the block request after N acknowledged blocks, then exit")
        ->group(faults)->type_name("N")->check(CLI::Range(0, INT_MAX));
    app.add_option("--garbage", f.garbageRate, "Probability of 1 to 16 random bytes before a frame")
        ->group(faults)->type_name("RATE")->check(CLI::Range(0.0, 1.0));
    app.add_option("--reply-delay", f.replyDelayMs, "Delay every answer by MS milliseconds")
        ->group(faults)->type_name("MS")->check(CLI::Range(0u, 3'600'000u));
    app.add_option("--line-rate", f.lineRate, "Pace both directions at BAUD bits per second, 10 bits a byte (0: off)")
        ->group(faults)->type_name("BAUD")->check(CLI::Range(0u, 100'000'000u));
    app.add_option("--reply-hold", f.replyHoldMs,
                   "Model a USB adapter's latency timer: a reply shorter than its 62-byte packet reaches the "
                   "host only MS ms after its first byte")
        ->group(faults)->type_name("MS")->check(CLI::Range(0u, 255u));
    app.add_option("--answer-sync-late", f.syncReplyDelayMs, "Answer each sync request with C0 86 00 00 after MS ms")
        ->group(faults)->type_name("MS")->check(CLI::Range(int64_t{0}, int64_t{3'600'000}));

    bool quiet = false;
    app.add_flag("-q,--quiet", quiet, "Print only the device line and errors, not every request");

    SimBaysOptions bayOptions;
    double swapEvery = 0;
    auto* bayGroup = "Bays (many devices at once, as a station's fixtures)";
    auto* baysOption = app.add_option("--bays", bayOptions.bays, "Run N devices, each on its own pseudo-terminal")
        ->group(bayGroup)->type_name("N")->check(CLI::Range(1, 64));
    app.add_option("--link-dir", bayOptions.linkDir, "Link the devices as DIR/bay0 ... DIR/bayN-1; a file DIR/bayK.swap "
                   "unplugs bay K and plugs a new unit in (the file is removed), SIGUSR1 does it for every bay")
        ->group(bayGroup)->type_name("DIR")->check(CLI::ExistingDirectory)->needs(baysOption);
    baysOption->needs("--link-dir");
    app.add_option("--swap-every", swapEvery, "Swap the unit of every bay every SECONDS")
        ->group(bayGroup)->type_name("SECONDS")->check(CLI::Range(0.1, 86400.0))->needs(baysOption);
    app.add_option("--silent-bay", bayOptions.silentBays, "Bay K's units answer nothing (repeatable)")
        ->group(bayGroup)->type_name("K")->check(CLI::Range(0, 63))->needs(baysOption);
    app.add_option("--fault-bay", bayOptions.faultBays, "Apply the faults only to bay K (repeatable; default every bay)")
        ->group(bayGroup)->type_name("K")->check(CLI::Range(0, 63))->needs(baysOption);
    app.add_option("--save-dir", bayOptions.saveDir, "Write each unit's image to DIR/unit-CHIP.bin at its end command")
        ->group(bayGroup)->type_name("DIR")->check(CLI::ExistingDirectory)->needs(baysOption);
    int unplugGapMs = 300;
    app.add_option("--unplug-gap", unplugGapMs, "Milliseconds an unplugged bay stays without its link")
        ->capture_default_str()->group(bayGroup)->type_name("MS")->check(CLI::Range(0, 60000))->needs(baysOption);

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e);
    }

    if (cpus < 2 && (!secondName.empty() || !saveSecondImage.empty())) {
        std::cerr << "kavro-sim: --second-name and --save-second-image need --cpus 2" << std::endl;
        return 1;
    }
    ParseChip(chip, id.chip);
    ParseVersion(sw, id.sw);
    ParseVersion(hwLowest, id.hwLowest);
    ParseVersion(hwHighest, id.hwHighest);
    ParseVersion(hwCurrent, id.hwCurrent);
    ParseDecimal32(product, id.productNumber);
    if (!refuseCommand.empty()) ParseCode(refuseCommand, f.refuseCommand);
    if (!silentCommand.empty()) ParseCode(silentCommand, f.silentCommand);
    if (!quiet && id.name.size() > SIM_MAX_NAME_LENGTH)
        std::cerr << "kavro-sim: the name is cut to " << SIM_MAX_NAME_LENGTH << " characters in replies\n";

    // The signals are taken by sigtimedwait below, so every thread blocks them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGHUP);
    if (bayOptions.bays > 0 && !bayOptions.linkDir.empty()) sigaddset(&stopSignals, SIGUSR1);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    signal(SIGPIPE, SIG_IGN);

    if (!bayOptions.linkDir.empty()) {
        bayOptions.identity = id;
        bayOptions.faults = f;
        bayOptions.seed = f.seed;
        bayOptions.unplugGap = std::chrono::milliseconds(unplugGapMs);
        bayOptions.cpus = cpus;
        return ServeBays(std::move(bayOptions), swapEvery, quiet, stopSignals);
    }

    DeviceSimulator sim;
    sim.SetIdentity(id);
    sim.SetCpuCount(cpus);
    // The second CPU reports the same versions under its own chip ID and name.
    SimIdentity second = id;
    second.chip[3] = static_cast<uint8_t>(id.chip[3] + 1);
    second.name = secondName.empty() ? id.name + " CPU 2" : secondName;
    sim.SetIdentity(second, 1);
    sim.SetFaults(f);
    sim.SetSaveImagePath(saveImage);
    sim.SetSaveImagePath(saveSecondImage, 1);
    sim.SetLogger([quiet](bool error, const std::string& text) {
        if (error) {
            std::cerr << "kavro-sim: " << text << std::endl;
        } else if (!quiet) {
            std::cout << text << std::endl;
        }
    });

    std::string error;
    const bool opened = portPath.empty() ? sim.CreatePty(error) : sim.OpenDevice(portPath, baud, error);
    if (!opened) {
        std::cerr << "kavro-sim: " << error << std::endl;
        return 1;
    }
    LinkGuard link;
    if (!linkPath.empty()) {
        if (!MakeSimLink(linkPath, sim.PortPath(), error)) {
            std::cerr << "kavro-sim: " << error << std::endl;
            return 1;
        }
        link.path = linkPath;
        link.target = sim.PortPath();
    }
    // The device line comes first: scripts read it before anything is logged.
    std::cout << "Simulated device on " << sim.PortPath() << std::endl;
    if (!sim.Start()) {
        std::cerr << "kavro-sim: cannot start the simulator" << std::endl;
        return 1;
    }

    // Serve until a stop signal, or until the line is gone (the hang-up fault).
    while (!StopSignalled(stopSignals, nullptr) && sim.Running()) {
    }
    sim.Stop();
    // The hang-up fault ends the run as asked; a line that failed is an error
    // (the logger has said why).
    if (!sim.Failure().empty()) return 1;
    if (sim.LineClosed() && !quiet) std::cout << "Line closed" << std::endl;
    std::cout.flush();
    return 0;
}
