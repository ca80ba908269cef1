// kavro-cli end to end: the built binary against the device simulator on a
// pseudo-terminal (in this process, so the test sees every request and the
// stored image), and once against the kavro-sim executable as the demo runs it.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "child_process.h"
#include "image/firmware_format.h"
#include "link/device_link.h"
#include "link/frame_codec.h"
#include "sim/device_simulator.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_data.h"

namespace {
using testdata::Pattern;
using testdata::ReadFile;
using Bytes = std::vector<uint8_t>;
namespace fs = std::filesystem;

const std::string kCli = KAVRO_CLI_EXECUTABLE;
const std::string kSim = KAVRO_SIM_EXECUTABLE;
const std::string kBuiltInImage = KAVRO_BUILTIN_IMAGE;
const std::string kGui = KAVRO_GUI_EXECUTABLE;

void WriteFile(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// A fresh folder for the files of one test.
class TempDir : public testdata::TempDir {
public:
    TempDir() : testdata::TempDir("kavro-e2e") {}
};

// An image packed in this process with the library's own packer.
Bytes MakeImage(const Bytes& data, Version lowest, Version highest, const std::string& name = "E2E") {
    PackRequest request;
    request.name = name;
    request.sw = {1, 2};
    request.hwLowest = lowest;
    request.hwHighest = highest;
    Bytes image;
    std::string error;
    EXPECT_TRUE(PackImage(request, data, image, error)) << error;
    return image;
}

// The command codes of the frames a --trace shows as sent, in order.
Bytes SentCodes(const std::string& trace) {
    Bytes codes;
    uint8_t body[MAX_MESSAGE_LENGTH];
    FrameDecoder decoder(body);
    size_t at = 0;
    while ((at = trace.find(" ms -> ", at)) != std::string::npos) {
        const size_t end = trace.find('\n', at);
        for (size_t i = at + 7; i + 1 < end && i + 1 < trace.size(); i += 3) {
            const auto byte = static_cast<uint8_t>(std::stoul(trace.substr(i, 2), nullptr, 16));
            if (decoder.Feed(byte) == FrameDecoder::Status::Frame) codes.push_back(body[1]);
        }
        at = end;
    }
    return codes;
}

bool Has(const Bytes& codes, uint8_t code) { return std::find(codes.begin(), codes.end(), code) != codes.end(); }

class CliOnSimulator : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(sim.CreatePty(error)) << error;
    }

    void StartSim() { ASSERT_TRUE(sim.Start()); }

    std::vector<std::string> Cli(std::vector<std::string> args) const {
        args.insert(args.begin(), kCli);
        return args;
    }

    RunResult Run(std::vector<std::string> args, int timeoutMs = 60000) const {
        return RunProgram(Cli(std::move(args)), timeoutMs);
    }

    DeviceSimulator sim;
    TempDir dir;
};

}  // namespace

// The device block exactly as the view paints it, as lines and as JSON; the
// trace shows the frames of both directions.
TEST_F(CliOnSimulator, IdentifyPrintsTheConfiguredDeviceByteExact) {
    SimIdentity identity;
    identity.name = "AB";
    identity.sw = {2, 5};
    identity.hwLowest = {1, 0};
    identity.hwHighest = {2, 9};
    identity.hwCurrent = {3, 1};
    identity.productNumber = 258;
    sim.SetIdentity(identity);
    StartSim();

    const RunResult text = Run({"identify", "--port", sim.PortPath()});
    EXPECT_EQ(text.status, 0) << text.err;
    EXPECT_EQ(text.out,
              "Chip ID : 12 34 56 78\n"
              "Name : AB\n"
              "SW current version : 2.05\n"
              "HW version lowest : 1.00\n"
              "HW version highest : 2.09\n"
              "HW current version : 3.01\n"
              "Product number : 00000258\n");
    EXPECT_EQ(text.err, "");

    identity.name = "Tab\there \"quoted\" back\\slash";
    sim.SetIdentity(identity);
    const RunResult json = Run({"identify", "--port", sim.PortPath(), "--json", "--trace"});
    EXPECT_EQ(json.status, 0) << json.err;
    EXPECT_EQ(json.out, "{\"format\":2,\"port\":\"" + sim.PortPath() +
                            "\",\"chipId\":\"12345678\",\"name\":\"Tab\\there \\\"quoted\\\" back\\\\slash\","
                            "\"swVersion\":\"2.05\",\"hwLowest\":\"1.00\",\"hwHighest\":\"2.09\","
                            "\"hwCurrent\":\"3.01\",\"productNumber\":258,\"adapterLatencyMs\":null}\n");
    // Seven sync frames and the two poll requests went out; the replies came back.
    EXPECT_TRUE(Contains(json.err, " ms -> 05 80 86 ")) << json.err;
    EXPECT_TRUE(Contains(json.err, " ms <- 05 C0 ")) << json.err;
}

TEST_F(CliOnSimulator, DownloadsA300ByteImageByteExactAndResets) {
    StartSim();
    const Bytes data = Pattern(300, 7);
    const std::string image = dir.File("small.fw");
    WriteFile(image, MakeImage(data, {1, 0}, {3, 0}));

    // Reached through a link whose name is longer than the 31 characters the
    // link keeps, as /dev/serial/by-id/... names are.
    const std::string port = dir.File("usb-KAVRO_Line_Adapter_0001-if00-port0");
    fs::create_symlink(sim.PortPath(), port);

    const RunResult r = Run({"download", "--port", port, image, "--reset"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Contains(r.out, " to " + sim.PortPath() + "\n")) << r.out;
    EXPECT_EQ(sim.Image(), data);
    EXPECT_EQ(sim.EndCount(), 1u);
    EXPECT_EQ(sim.CountRequests(CMD_RUN), 1u);
    EXPECT_TRUE(Contains(r.out, "Firmware was downloaded successfuly\nDevice was reset.\n")) << r.out;
    // Not a terminal: plain progress lines, the last one complete, no carriage returns.
    EXPECT_TRUE(Contains(r.out, "Downloading: 100% (300 of 300 bytes)\n")) << r.out;
    EXPECT_FALSE(Contains(r.out, "\r"));
}

TEST_F(CliOnSimulator, DownloadsA40KilobyteImageByteExactWithProgressEveryTenth) {
    StartSim();
    const Bytes data = Pattern(40 * 1024, 11);
    const std::string image = dir.File("large.fw");
    WriteFile(image, MakeImage(data, {1, 0}, {3, 0}));

    const RunResult r = Run({"download", "--port", sim.PortPath(), image});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(sim.Image(), data);
    EXPECT_EQ(sim.EndCount(), 1u);
    EXPECT_EQ(sim.CountRequests(CMD_RUN), 0u);  // no --reset
    for (int percent = 10; percent <= 100; percent += 10)
        EXPECT_TRUE(Contains(r.out, "Downloading: " + std::to_string(percent) + "% ")) << percent << "\n" << r.out;
    EXPECT_TRUE(Contains(r.out, "Firmware was downloaded successfuly\n"));
    EXPECT_FALSE(Contains(r.out, "\r"));
}

// The range check of the desktop application: refused with status 4 and
// nothing sent, then downloaded with --force.
TEST_F(CliOnSimulator, IncompatibleDeviceIsRefusedUnlessForced) {
    SimIdentity identity;
    identity.hwCurrent = {3, 1};
    sim.SetIdentity(identity);
    StartSim();
    const Bytes data = Pattern(500, 3);
    const std::string image = dir.File("range.fw");
    WriteFile(image, MakeImage(data, {1, 0}, {3, 0}));

    const RunResult refused = Run({"download", "--port", sim.PortPath(), image});
    EXPECT_EQ(refused.status, 4) << refused.err;
    EXPECT_TRUE(Contains(refused.err, "HW version of a connected unit is incorrect for this FW.\n")) << refused.err;
    EXPECT_TRUE(Contains(refused.err, "3.01")) << refused.err;
    EXPECT_EQ(sim.CountRequests(CMD_BEGIN_DOWNLOAD), 0u);
    EXPECT_EQ(sim.CountRequests(CMD_WRITE_BLOCK), 0u);
    // The device block is shown before the refusal.
    EXPECT_TRUE(Contains(refused.out, "HW current version : 3.01\n")) << refused.out;

    const RunResult forced = Run({"download", "--port", sim.PortPath(), image, "--force"});
    EXPECT_EQ(forced.status, 0) << forced.err;
    EXPECT_EQ(sim.Image(), data);
    EXPECT_TRUE(Contains(forced.out, "Firmware was downloaded successfuly\n"));
}

// On a two-CPU device each CPU is flashed on its own: without --second-cpu only
// the first CPU's codes go out; with it the blocks carry 0x0B, the image lands
// in the second CPU, the first CPU's image stays as it was, and the reset
// sends the second CPU's run command before the run command.
TEST_F(CliOnSimulator, SecondCpuOptionFlashesOnlyTheSecondCpu) {
    sim.SetCpuCount(2);
    StartSim();
    const Bytes first = Pattern(300, 5);
    const Bytes second = Pattern(200, 9);
    const std::string firstImage = dir.File("first.fw");
    const std::string secondImage = dir.File("second.fw");
    WriteFile(firstImage, MakeImage(first, {1, 0}, {3, 0}));
    WriteFile(secondImage, MakeImage(second, {1, 0}, {3, 0}));

    const RunResult plain = Run({"download", "--port", sim.PortPath(), firstImage, "--reset", "--trace"});
    ASSERT_EQ(plain.status, 0) << plain.err;
    EXPECT_TRUE(Contains(plain.out, "Name : KAVRO SIM\n")) << plain.out;
    EXPECT_EQ(sim.Image(0), first);
    EXPECT_TRUE(sim.Image(1).empty());
    Bytes codes = SentCodes(plain.err);
    EXPECT_TRUE(Has(codes, CMD_WRITE_BLOCK));
    for (uint8_t code : {CMD_WRITE_BLOCK_SECOND, CMD_READ_IDENT_SECOND, CMD_BEGIN_DOWNLOAD_SECOND, CMD_RUN_SECOND})
        EXPECT_FALSE(Has(codes, code)) << int(code);
    ASSERT_FALSE(codes.empty());
    EXPECT_EQ(codes.back(), CMD_RUN);

    const RunResult r =
        Run({"download", "--port", sim.PortPath(), secondImage, "--reset", "--trace", "--second-cpu"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Contains(r.out, "Name : KAVRO SIM CPU 2\n")) << r.out;
    EXPECT_TRUE(Contains(r.out, " to " + sim.PortPath() + ", second CPU\n")) << r.out;
    EXPECT_TRUE(Contains(r.out, "Firmware was downloaded successfuly\nDevice was reset.\n")) << r.out;
    EXPECT_EQ(sim.Image(1), second);
    EXPECT_EQ(sim.Image(0), first) << "the first CPU is untouched";
    EXPECT_EQ(sim.EndCount(0), 1u);
    EXPECT_EQ(sim.EndCount(1), 1u);
    codes = SentCodes(r.err);
    EXPECT_TRUE(Has(codes, CMD_WRITE_BLOCK_SECOND)) << r.err;
    for (uint8_t code : {CMD_WRITE_BLOCK, CMD_READ_IDENT, CMD_READ_HWINFO, CMD_BEGIN_DOWNLOAD, CMD_END_DOWNLOAD})
        EXPECT_FALSE(Has(codes, code)) << int(code);
    ASSERT_GE(codes.size(), 2u);
    EXPECT_EQ(Bytes(codes.end() - 2, codes.end()), (Bytes{CMD_RUN_SECOND, CMD_RUN}));
}

// A unit with one CPU does not answer the second CPU's codes: every command
// ends with status 3, saying the second CPU was addressed, and nothing is stored.
TEST_F(CliOnSimulator, SecondCpuOfAOneCpuDeviceGivesStatus3) {
    StartSim();
    for (const char* command : {"identify", "download", "reset"}) {
        const RunResult r = Run({command, "--port", sim.PortPath(), "--second-cpu", "--timeout", "2"});
        EXPECT_EQ(r.status, 3) << command << ": " << r.err;
        EXPECT_TRUE(Contains(r.err, "Equipment do not respond properly\n")) << r.err;
        EXPECT_TRUE(Contains(r.err, "second CPU was addressed")) << r.err;
        EXPECT_EQ(r.out, "") << command;
    }
    // The silent verdict without --timeout says it too.
    for (const char* command : {"identify", "download"}) {
        const RunResult r = Run({command, "--port", sim.PortPath(), "--second-cpu"});
        EXPECT_EQ(r.status, 3) << command << ": " << r.err;
        EXPECT_TRUE(Contains(r.err, "not a single byte. The second CPU was addressed")) << r.err;
    }
    EXPECT_GT(sim.CountRequests(CMD_READ_HWINFO_SECOND), 0u);
    EXPECT_EQ(sim.CountRequests(CMD_BEGIN_DOWNLOAD_SECOND), 0u);
    EXPECT_EQ(sim.CountRequests(CMD_RUN_SECOND), 0u);
    EXPECT_TRUE(sim.Image(1).empty());
    EXPECT_TRUE(sim.Image(0).empty());
}

TEST_F(CliOnSimulator, MissingPortGivesStatus2WithTheSystemsReason) {
    // A short name, and one longer than the 31 characters the link keeps.
    const std::string shortPort = "/dev/ttyKAVRO-none";
    const std::string longPort = dir.File("no-such-port-with-a-long-name");
    for (const char* command : {"identify", "download", "reset"}) {
        const std::string& port = command[0] == 'd' ? longPort : shortPort;
        const RunResult r = Run({command, "--port", port});
        EXPECT_EQ(r.status, 2) << command << ": " << r.err;
        EXPECT_TRUE(Contains(r.err, "COM port can not be open\n")) << r.err;
        EXPECT_TRUE(Contains(r.err, port + ": No such file or directory")) << r.err;
        EXPECT_EQ(r.out, "");
    }
}

// The command line in German (KAVRO_LANG): a port failure, the download's
// progress, the records' table and the station's lines come from the
// catalogue; what programs read (the exit status, the JSON, the records'
// fields) is byte for byte the English run's.
TEST_F(CliOnSimulator, GermanCatalogueTranslatesMessagesButNeverJson) {
    StartSim();
    const Bytes data = Pattern(2000, 5);
    const std::string image = dir.File("de.fw");
    WriteFile(image, MakeImage(data, {1, 0}, {3, 0}, "Prüfling"));
    const RunResult englishIdentify = Run({"identify", "--port", sim.PortPath(), "--json"});
    const RunResult englishInfo = Run({"info", image, "--json"});
    // An image whose data do not match its checksum: the JSON names the problem.
    Bytes damaged = MakeImage(data, {1, 0}, {3, 0});
    damaged.back() ^= 0x5A;
    const std::string damagedImage = dir.File("damaged.fw");
    WriteFile(damagedImage, damaged);
    const RunResult englishDamaged = Run({"info", damagedImage, "--json"});
    ASSERT_EQ(englishIdentify.status, 0) << englishIdentify.err;

    ASSERT_EQ(::setenv("KAVRO_LANG", "de", 1), 0);
    const RunResult identify = Run({"identify", "--port", sim.PortPath(), "--json"});
    const RunResult info = Run({"info", image, "--json"});
    const RunResult damagedInfo = Run({"info", damagedImage, "--json"});
    const RunResult missingImage = Run({"info", dir.File("none.fw")});
    const std::string records = dir.File("de.db");
    const RunResult download = Run({"download", "--port", sim.PortPath(), image, "--records", records});
    const RunResult missing = Run({"identify", "--port", "/dev/ttyKAVRO-none"});
    const RunResult table = Run({"records", "--records", records});
    const RunResult recordsJson = Run({"records", "--records", records, "--json"});
    const std::string stationRecords = dir.File("station.db");
    const RunResult station = Run({"station", image, "--bay", sim.PortPath(), "--once", "--records", stationRecords});
    // The same unit again: flashed again only when asked.
    const RunResult stationJson = Run(
        {"station", image, "--bay", sim.PortPath(), "--once", "--records", stationRecords, "--json", "--reflash"});
    ::unsetenv("KAVRO_LANG");
    const RunResult englishTable = Run({"records", "--records", records});
    const RunResult englishRecordsJson = Run({"records", "--records", records, "--json"});

    EXPECT_EQ(identify.status, englishIdentify.status);
    EXPECT_EQ(identify.out, englishIdentify.out);
    EXPECT_EQ(info.status, englishInfo.status);
    EXPECT_EQ(info.out, englishInfo.out);
    EXPECT_TRUE(Contains(info.out, "\"name\":\"Prüfling\"")) << info.out;
    EXPECT_EQ(damagedInfo.status, 5);
    EXPECT_EQ(damagedInfo.out, englishDamaged.out);
    EXPECT_TRUE(Contains(damagedInfo.out, "\"problem\":\"checksum mismatch: the header says ")) << damagedInfo.out;
    EXPECT_TRUE(Contains(damagedInfo.err, "Abbild nicht verwendbar: Prüfsummenfehler: ")) << damagedInfo.err;
    EXPECT_EQ(missingImage.status, 5);
    EXPECT_TRUE(Contains(missingImage.err, "Abbild nicht verwendbar: " + dir.File("none.fw") +
                                               " kann nicht geöffnet werden: "))
        << missingImage.err;

    EXPECT_EQ(download.status, 0) << download.err;
    EXPECT_EQ(sim.Image(), data);
    EXPECT_TRUE(Contains(download.out, "Aktuelle SW-Version : ")) << download.out;
    EXPECT_GT(download.out.find("Herunterladen: 100 %"), download.out.find("Herunterladen: ")) << download.out;
    EXPECT_TRUE(Contains(download.out, "Herunterladen: 100 % (2000 von 2000 Bytes)\n")) << download.out;
    EXPECT_TRUE(Contains(download.out, "Die Firmware wurde erfolgreich heruntergeladen\n")) << download.out;
    EXPECT_FALSE(Contains(download.out, "Downloading")) << download.out;
    EXPECT_TRUE(Contains(download.out, "Protokolliert als ")) << download.out;

    // The records: headings for people translated, the fields as stored.
    EXPECT_EQ(table.status, 0) << table.err;
    EXPECT_TRUE(Contains(table.out, "Begonnen (UTC)")) << table.out;
    EXPECT_TRUE(Contains(englishTable.out, "Started (UTC)")) << englishTable.out;
    EXPECT_TRUE(Contains(table.out, "  passed  ")) << table.out;
    EXPECT_EQ(recordsJson.status, 0) << recordsJson.err;
    EXPECT_EQ(recordsJson.out, englishRecordsJson.out);
    EXPECT_TRUE(Contains(recordsJson.out, "\"message\":\"Firmware was downloaded successfuly\"")) << recordsJson.out;

    // The station: its lines in German, its JSON Lines and records in English.
    EXPECT_EQ(station.status, 0) << station.err;
    EXPECT_TRUE(Contains(station.out, "  Platz 1  " + sim.PortPath() + "  wartet auf ein Gerät\n")) << station.out;
    EXPECT_TRUE(Contains(station.out, "Platz 1 " + sim.PortPath() + ": passed (Chip ")) << station.out;
    EXPECT_TRUE(Contains(station.out, "Bestanden 1  Fehlgeschlagen 0")) << station.out;
    EXPECT_FALSE(Contains(station.out, "waiting for a unit")) << station.out;
    EXPECT_EQ(stationJson.status, 0) << stationJson.err;
    EXPECT_TRUE(Contains(stationJson.out, "\"event\":\"unit-finished\"")) << stationJson.out;
    EXPECT_TRUE(Contains(stationJson.out, "\"message\":\"Firmware was downloaded successfuly")) << stationJson.out;
    EXPECT_FALSE(Contains(stationJson.out, "Platz")) << stationJson.out;

    EXPECT_EQ(missing.status, 2);
    EXPECT_TRUE(Contains(missing.err, "COM-Anschluss kann nicht geöffnet werden\nAnschluss /dev/ttyKAVRO-none: "))
        << missing.err;
    EXPECT_TRUE(Contains(missing.err, "Hinweis: 'kavro-cli ports' listet")) << missing.err;
}

// A port held by another program: busy, with the hint.
TEST_F(CliOnSimulator, BusyPortGivesStatus2WithAHint) {
    StartSim();
    ChildProcess holder;
    ASSERT_TRUE(holder.Start(Cli({"identify", "--port", sim.PortPath()})));
    // The first run holds the port while it waits for the device's first answer.
    ASSERT_TRUE(sim.WaitForRequests(CMD_BAUD_SYNC, 1, 5000));
    const RunResult second = Run({"identify", "--port", sim.PortPath()});
    EXPECT_EQ(second.status, 2) << second.err;
    EXPECT_TRUE(Contains(second.err, "another program holds the port")) << second.err;
    ASSERT_TRUE(holder.Wait(20000));
    EXPECT_EQ(holder.Status(), 0) << holder.Err();
}

// Nothing answers: status 3 once the wait for the first answer is over. An
// explicit --timeout is waited out in full, even past the point where a
// silent line would otherwise get its early verdict (about 3.2 s).
TEST_F(CliOnSimulator, SilentDeviceGivesStatus3) {
    SimFaults faults;
    faults.silent = true;
    sim.SetFaults(faults);
    StartSim();
    const RunResult r = Run({"identify", "--port", sim.PortPath(), "--timeout", "4.5"});
    EXPECT_EQ(r.status, 3) << r.err;
    EXPECT_TRUE(Contains(r.err, "Equipment do not respond properly\n")) << r.err;
    EXPECT_TRUE(Contains(r.err, "within 4 s") || Contains(r.err, "within 5 s")) << r.err;
    EXPECT_FALSE(Contains(r.err, "Nothing came back")) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_GE(r.seconds, 4.4);
    EXPECT_LT(r.seconds, 10.0);
}

// Half a device is not a device: identity muted (all five attempts time out)
// or hardware information refused gives status 3 naming the missing group,
// and no made-up chip ID on standard output.
TEST_F(CliOnSimulator, HalfAnswerGivesStatus3NamingTheSilentGroup) {
    SimFaults faults;
    faults.silentCommand = CMD_READ_IDENT;
    sim.SetFaults(faults);
    StartSim();
    const RunResult mute = Run({"identify", "--port", sim.PortPath()});
    EXPECT_EQ(mute.status, 3) << mute.err;
    EXPECT_TRUE(Contains(mute.err, "Equipment do not respond properly\n")) << mute.err;
    EXPECT_TRUE(Contains(mute.err, "did not answer the identity request")) << mute.err;
    EXPECT_TRUE(Contains(mute.err, sim.PortPath())) << mute.err;
    EXPECT_EQ(mute.out, "");

    faults = SimFaults{};
    faults.refuseCommand = CMD_READ_HWINFO;
    faults.refuseFirst = 1000;
    sim.SetFaults(faults);
    const RunResult refused = Run({"identify", "--port", sim.PortPath()});
    EXPECT_EQ(refused.status, 3) << refused.err;
    EXPECT_TRUE(Contains(refused.err, "did not answer the hardware information request")) << refused.err;
    EXPECT_EQ(refused.out, "");
}

// Not a byte comes back: identify and download give up once the first
// hardware-information attempt has run out (about 3.2 s), not after the whole
// first cycle, and say what to check.
TEST_F(CliOnSimulator, SilentLineGetsAVerdictInSeconds) {
    SimFaults faults;
    faults.silent = true;
    sim.SetFaults(faults);
    StartSim();
    for (const char* command : {"identify", "download"}) {
        const RunResult r = Run({command, "--port", sim.PortPath()}, 20000);
        EXPECT_EQ(r.status, 3) << command << ": " << r.err;
        EXPECT_TRUE(Contains(r.err, "Equipment do not respond properly\n")) << r.err;
        EXPECT_TRUE(Contains(r.err, "Nothing came back on " + sim.PortPath())) << r.err;
        EXPECT_TRUE(Contains(r.err, "powered")) << r.err;
        EXPECT_GE(r.seconds, 2.5) << "not before the first attempt has run out";
        EXPECT_LT(r.seconds, 8.0) << command;
    }
    EXPECT_EQ(sim.CountRequests(CMD_BEGIN_DOWNLOAD), 0u);
}

// A line that brings bytes without a valid answer (here every reply's checksum
// is wrong) is no silent line: the early verdict must not come, the wait goes on.
TEST_F(CliOnSimulator, NoisyLineKeepsTheFullWait) {
    SimFaults faults;
    faults.corruptRate = 1.0;
    sim.SetFaults(faults);
    StartSim();
    ChildProcess child;
    ASSERT_TRUE(child.Start(Cli({"identify", "--port", sim.PortPath()})));
    EXPECT_FALSE(child.Wait(5500)) << "ended early with " << child.Status() << ": " << child.Err();
    EXPECT_GE(sim.CountRequests(CMD_READ_HWINFO), 2u) << "the first attempt had run out";
}

// The line goes away in the middle of the blocks: the download fails with
// status 3 and says how far it got.
TEST_F(CliOnSimulator, DownloadCutShortGivesStatus3) {
    SimFaults faults;
    faults.hangUpAfterBlocks = 10;
    sim.SetFaults(faults);
    StartSim();
    const RunResult r = Run({"download", "--port", sim.PortPath(), "--reset"});
    EXPECT_EQ(r.status, 3) << r.err;
    EXPECT_TRUE(Contains(r.err, "Equipment do not respond properly\n")) << r.err;
    EXPECT_TRUE(Contains(r.err, "stopped after 1280 of 24576 bytes")) << r.err;
    EXPECT_FALSE(Contains(r.out, "successfuly"));
    EXPECT_FALSE(Contains(r.out, "Device was reset."));
}

// Images that cannot be used: status 5 before the port is even opened.
TEST_F(CliOnSimulator, BadImagesGiveStatus5AndSendNothing) {
    StartSim();
    const Bytes good = MakeImage(Pattern(1000, 5), {1, 0}, {3, 0});
    Bytes mismatch = good;
    mismatch[IMAGE_HEADER_SIZE + 10] ^= 0x01;
    const Bytes truncated(good.begin(), good.end() - 1);
    const Bytes headerOnly(good.begin(), good.begin() + 60);
    // A consistent image one byte longer than a download can address.
    Bytes tooLong = MakeImage({}, {1, 0}, {3, 0});
    const Bytes longData(MAX_DOWNLOAD_LENGTH + 1, 0x01);
    tooLong.insert(tooLong.end(), longData.begin(), longData.end());
    const uint32_t length = MAX_DOWNLOAD_LENGTH + 1;
    const uint16_t sum = ImageChecksum(longData.data(), longData.size());
    tooLong[2] = static_cast<uint8_t>(sum);
    tooLong[3] = static_cast<uint8_t>(sum >> 8);
    for (int i = 0; i < 4; ++i) tooLong[4 + i] = static_cast<uint8_t>(length >> (8 * i));

    struct Case {
        const char* file;
        const Bytes* bytes;
        const char* reason;
    } cases[] = {
        {"mismatch.fw", &mismatch, "checksum mismatch"},
        {"truncated.fw", &truncated, "is shorter than its header"},
        {"header.fw", &headerOnly, "is shorter than its header"},
        {"long.fw", &tooLong, "longer than 65,535 bytes"},
        {"missing.fw", nullptr, "No such file or directory"},
    };
    for (const Case& c : cases) {
        const std::string path = dir.File(c.file);
        if (c.bytes != nullptr) WriteFile(path, *c.bytes);
        const RunResult download = Run({"download", "--port", sim.PortPath(), path});
        EXPECT_EQ(download.status, 5) << c.file << ": " << download.err;
        EXPECT_TRUE(Contains(download.err, c.reason)) << c.file << ": " << download.err;
        EXPECT_EQ(download.out, "") << c.file;
        const RunResult info = Run({"info", path});
        EXPECT_EQ(info.status, 5) << c.file << ": " << info.err;
        EXPECT_TRUE(Contains(info.err, c.reason)) << c.file << ": " << info.err;
        // --json: one object, whether the file is damaged or missing.
        const RunResult json = Run({"info", path, "--json"});
        EXPECT_EQ(json.status, 5) << c.file;
        EXPECT_EQ(json.out.rfind("{\"filePath\":\"" + path + "\"", 0), 0u) << c.file << ": " << json.out;
        EXPECT_TRUE(Contains(json.out, "\"downloadable\":false,\"problem\":\"")) << c.file << ": " << json.out;
        EXPECT_TRUE(Contains(json.out, c.reason)) << c.file << ": " << json.out;
    }
    EXPECT_TRUE(sim.Requests().empty());
}

// SIGINT in the middle of a download ends the process within a second, with
// the port closed: a second run opens it at once. SIGTERM while waiting for
// the device ends with 143.
TEST_F(CliOnSimulator, SignalsStopTheLinkAndFreeThePort) {
    SimFaults faults;
    faults.lineRate = 19200;  // the built-in image then takes about 15 s
    sim.SetFaults(faults);
    StartSim();
    ChildProcess download;
    ASSERT_TRUE(download.Start(Cli({"download", "--port", sim.PortPath()})));
    ASSERT_TRUE(download.WaitForOutput([](const std::string& out) { return Contains(out, "Downloading: 10%"); },
                                       20000))
        << download.Out();
    const auto signalled = ChildProcess::Clock::now();
    download.Signal(SIGINT);
    ASSERT_TRUE(download.Wait(5000));
    EXPECT_EQ(download.Status(), 130) << download.Err();
    EXPECT_LT(std::chrono::duration<double>(download.Ended() - signalled).count(), 1.0);
    EXPECT_TRUE(Contains(download.Err(), "Interrupted")) << download.Err();
    EXPECT_FALSE(Contains(download.Out(), "successfuly"));

    sim.SetFaults(SimFaults{});
    const RunResult again = Run({"identify", "--port", sim.PortPath()});
    EXPECT_EQ(again.status, 0) << again.err;
    EXPECT_TRUE(Contains(again.out, "Chip ID : 12 34 56 78\n"));

    SimFaults silent;
    silent.silent = true;
    sim.SetFaults(silent);
    ChildProcess waiting;
    // An explicit wait, so that the silent line's early verdict cannot come first.
    ASSERT_TRUE(waiting.Start(Cli({"identify", "--port", sim.PortPath(), "--timeout", "30"})));
    ASSERT_TRUE(sim.WaitForRequests(CMD_READ_HWINFO, sim.CountRequests(CMD_READ_HWINFO) + 1, 5000));
    const auto terminated = ChildProcess::Clock::now();
    waiting.Signal(SIGTERM);
    ASSERT_TRUE(waiting.Wait(5000));
    EXPECT_EQ(waiting.Status(), 143) << waiting.Err();
    EXPECT_LT(std::chrono::duration<double>(waiting.Ended() - terminated).count(), 1.0);
}

// pack then info: the image declares what was packed and its data verify.
TEST(CliPack, PackThenInfoRoundTrips) {
    TempDir dir;
    const Bytes data = Pattern(1234, 9);
    const std::string raw = dir.File("data.bin");
    const std::string image = dir.File("out.fw");
    WriteFile(raw, data);
    const RunResult pack = RunProgram({kCli, "pack", "--name", "Line 7 controller", "--sw", "4.07", "--hw-lowest",
                                       "1.50", "--hw-highest", "12.00", raw, "-o", image});
    ASSERT_EQ(pack.status, 0) << pack.err;
    const Bytes packed = ReadFile(image);
    ASSERT_EQ(packed.size(), IMAGE_HEADER_SIZE + data.size());
    EXPECT_EQ(Bytes(packed.begin() + IMAGE_HEADER_SIZE, packed.end()), data);

    const uint16_t sum = ImageChecksum(data.data(), data.size());
    char checksum[8];
    std::snprintf(checksum, sizeof checksum, "0x%04X", sum);
    const RunResult info = RunProgram({kCli, "info", image});
    EXPECT_EQ(info.status, 0) << info.err;
    const std::string absolute = fs::absolute(image).string();
    EXPECT_EQ(info.out, "File path : " + absolute +
                            "\n"
                            "Name : Line 7 controller\n"
                            "SW current version : 4.07\n"
                            "HW version lowest : 1.50\n"
                            "HW version highest : 12.00\n"
                            "Data length : 1234 bytes\n"
                            "Checksum : " +
                            checksum + " (matches)\n");
    const RunResult json = RunProgram({kCli, "info", image, "--json"});
    EXPECT_EQ(json.status, 0);
    EXPECT_EQ(json.out, "{\"filePath\":\"" + absolute +
                            "\",\"name\":\"Line 7 controller\",\"swVersion\":\"4.07\",\"hwLowest\":\"1.50\","
                            "\"hwHighest\":\"12.00\",\"dataLength\":1234,\"checksum\":\"" +
                            checksum + "\",\"dataChecksum\":\"" + checksum +
                            "\",\"checksumMatches\":true,\"downloadable\":true,\"problem\":null}\n");
}

TEST(CliPack, RefusesBadInputAndKeepsExistingFiles) {
    TempDir dir;
    const std::string raw = dir.File("data.bin");
    const std::string big = dir.File("big.bin");
    const std::string image = dir.File("out.fw");
    WriteFile(raw, Pattern(100, 1));
    WriteFile(big, Bytes(MAX_DOWNLOAD_LENGTH + 1, 0));
    auto pack = [&](const std::string& name, const std::string& sw, const std::string& data,
                    std::vector<std::string> extra = {}) {
        std::vector<std::string> args = {kCli,  "pack", "--name", name, "--sw", sw, "--hw-lowest", "1.00",
                                         "--hw-highest", "2.00", data, "-o", image};
        args.insert(args.end(), extra.begin(), extra.end());
        return RunProgram(args);
    };

    EXPECT_EQ(pack("N", "1.00", big).status, 5);
    EXPECT_EQ(pack(std::string(109, 'n'), "1.00", raw).status, 1);
    for (const char* version : {"2.5", "2.005", "x.00", "2,05", "256.00", ".05", "4294967296.00"})
        EXPECT_EQ(pack("N", version, raw).status, 1) << version;
    EXPECT_EQ(pack("N", "1.00", dir.File("absent.bin")).status, 5);
    // No name, or a range no hardware fits, makes no image.
    const RunResult unnamed = pack("", "1.00", raw);
    EXPECT_EQ(unnamed.status, 1);
    EXPECT_TRUE(Contains(unnamed.err, "--name")) << unnamed.err;
    const RunResult inverted = RunProgram({kCli, "pack", "--name", "N", "--sw", "1.00", "--hw-lowest", "3.00",
                                           "--hw-highest", "2.00", raw, "-o", image});
    EXPECT_EQ(inverted.status, 1);
    EXPECT_TRUE(Contains(inverted.err, "--hw-lowest 3.00 lies above --hw-highest 2.00")) << inverted.err;
    EXPECT_FALSE(fs::exists(image));

    // 108 characters fit.
    ASSERT_EQ(pack(std::string(108, 'n'), "1.00", raw).status, 0);
    const Bytes first = ReadFile(image);
    const RunResult again = pack("Other", "1.00", raw);
    EXPECT_EQ(again.status, 1);
    EXPECT_TRUE(Contains(again.err, "--overwrite")) << again.err;
    EXPECT_EQ(ReadFile(image), first);
    EXPECT_EQ(pack("Other", "1.00", raw, {"--overwrite"}).status, 0);
    EXPECT_NE(ReadFile(image), first);
}

// CLI11's complaints: English as CLI11 writes them, German from the
// catalogue with the option names and values kept, status 1 in both.
TEST(CliUsage, UsageErrorsSpeakTheCatalogueLanguageWithTheSameStatus) {
    struct Case {
        std::vector<std::string> args;
        std::string english, german;
    };
    const std::vector<Case> cases = {
        {{}, "A subcommand is required", "Ein Unterbefehl ist erforderlich"},
        {{"ports", "--all"}, "The following argument was not expected: --all",
         "Dieses Argument wurde nicht erwartet: --all"},
        {{"ports", "now", "--all"}, "The following arguments were not expected: --all now",
         "Diese Argumente wurden nicht erwartet: --all now"},
        {{"identify"}, "--port is required", "--port ist erforderlich"},
        {{"identify", "--port"}, "--port: 1 required TEXT missing", "--port: 1 erforderlicher Wert (TEXT) fehlt"},
        {{"identify", "--port", "COM1", "--timeout", "0"}, "--timeout: Value 0 not in range 0.100000 to 3600.000000",
         "--timeout: Der Wert 0 liegt nicht im Bereich 0.100000 bis 3600.000000"},
        {{"download", "--port", "COM1", "--station-name", "A"}, "--station-name requires --records",
         "--station-name erfordert --records"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> command = {kCli};
        command.insert(command.end(), c.args.begin(), c.args.end());
        const RunResult english = RunProgram(command);
        ASSERT_EQ(::setenv("KAVRO_LANG", "de", 1), 0);
        const RunResult german = RunProgram(command);
        ::unsetenv("KAVRO_LANG");
        EXPECT_EQ(english.status, 1) << c.english;
        EXPECT_EQ(german.status, 1) << c.german;
        EXPECT_EQ(english.err, c.english + "\nRun with --help or --help-all for more information.\n");
        EXPECT_EQ(german.err, c.german + "\nMehr dazu mit --help oder --help-all.\n");
    }
}

TEST(CliUsage, UsageErrorsGiveStatus1AndHelpStatus0) {
    EXPECT_EQ(RunProgram({kCli}).status, 1);
    const RunResult misspelt = RunProgram({kCli, "identfy", "--port", "COM1"});
    EXPECT_EQ(misspelt.status, 1);
    EXPECT_EQ(misspelt.err.rfind("'identfy' is not a subcommand; the subcommands are: ports, info, identify,", 0), 0u)
        << misspelt.err;
    EXPECT_TRUE(Contains(misspelt.err, "Run with --help or --help-all")) << misspelt.err;
    const RunResult emptySince = RunProgram({kCli, "records", "--since", ""});
    EXPECT_EQ(emptySince.status, 1);
    EXPECT_TRUE(Contains(emptySince.err, "--since: expected")) << emptySince.err;
    EXPECT_EQ(RunProgram({kCli, "flash"}).status, 1);
    EXPECT_EQ(RunProgram({kCli, "identify"}).status, 1);  // --port is required
    EXPECT_EQ(RunProgram({kCli, "identify", "--port", "/dev/null", "--timeout", "0"}).status, 1);
    for (const char* command : {"ports", "info", "identify", "download", "reset", "pack"}) {
        const RunResult help = RunProgram({kCli, command, "--help"});
        EXPECT_EQ(help.status, 0) << command;
        EXPECT_TRUE(Contains(help.out, "Usage")) << command;
    }
}

// Both front ends name the project's version; the desktop application answers
// --help (in the person's language) and --version without a display (its man
// page is made from them) and keeps its test-only options out of the help.
TEST(CliUsage, VersionsAndTheDesktopHelpNeedNoDisplay) {
    const RunResult cli = RunProgram({kCli, "--version"});
    EXPECT_EQ(cli.status, 0);
    EXPECT_EQ(cli.out, "kavro-cli " KAVRO_VERSION "\n");
    if (kGui.empty()) GTEST_SKIP() << "built without the desktop application";

    const char* display = std::getenv("DISPLAY");
    const std::string saved = display != nullptr ? display : "";
    ::unsetenv("DISPLAY");
    const RunResult version = RunProgram({kGui, "--version"});
    const RunResult help = RunProgram({kGui, "--help"});
    const RunResult unknown = RunProgram({kGui, "--no-such-option"});
    // The help speaks the person's language before the toolkit starts.
    const RunResult german = RunProgram({kGui, "--lang", "de", "--help"});
    if (display != nullptr) ::setenv("DISPLAY", saved.c_str(), 1);

    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "kavro " KAVRO_VERSION "\n");
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(Contains(help.out, "Usage: kavro")) << help.out;
    EXPECT_TRUE(Contains(help.out, "--port=<str>")) << help.out;
    EXPECT_TRUE(Contains(help.out, "[IMAGE.fw]")) << help.out;
    EXPECT_FALSE(Contains(help.out, "autorun")) << help.out;
    EXPECT_EQ(german.status, 0);
    EXPECT_TRUE(Contains(german.out, "Aufruf: kavro [-h]")) << german.out;
    EXPECT_TRUE(Contains(german.out, "Name des Anschlusses, der im Anschlussfeld stehen soll")) << german.out;
    // Anything else goes on to the toolkit, which needs the display it lacks.
    EXPECT_NE(unknown.status, 0);
}

// The demo's way: the kavro-sim executable with --save-image, the built-in
// image downloaded and the device reset; the saved image equals the built-in
// image's data.
TEST(CliWithSimulatorExecutable, DownloadsTheBuiltInImageAsTheDemoDoes) {
    TempDir dir;
    const std::string saved = dir.File("saved.bin");
    ChildProcess sim;
    ASSERT_TRUE(sim.Start({kSim, "--save-image", saved, "--quiet"}));
    std::string port;
    ASSERT_TRUE(sim.WaitForOutput(
        [&port](const std::string& out) {
            const std::string prefix = "Simulated device on ";
            const size_t at = out.find(prefix);
            const size_t end = out.find('\n', at);
            if (at == std::string::npos || end == std::string::npos) return false;
            port = out.substr(at + prefix.size(), end - at - prefix.size());
            return true;
        },
        10000))
        << sim.Out() << sim.Err();

    const RunResult r = RunProgram({kCli, "download", "--port", port, "--reset"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Contains(r.out, "Firmware was downloaded successfuly\nDevice was reset.\n")) << r.out;
    sim.Signal(SIGTERM);
    ASSERT_TRUE(sim.Wait(5000));
    EXPECT_EQ(sim.Status(), 0) << sim.Err();

    const Bytes builtIn = ReadFile(kBuiltInImage);
    ASSERT_GT(builtIn.size(), IMAGE_HEADER_SIZE);
    EXPECT_EQ(ReadFile(saved), Bytes(builtIn.begin() + IMAGE_HEADER_SIZE, builtIn.end()));
}

namespace {

size_t CountLines(const std::string& text) { return static_cast<size_t>(std::count(text.begin(), text.end(), '\n')); }

}  // namespace

// download --records keeps one record per attempt (passed, refused, no
// response) with the device and image; records exports them as a table, CSV
// and JSON Lines and sums them up; --since selects by start time.
TEST_F(CliOnSimulator, DownloadRecordsEveryAttemptAndRecordsExportsAndSumsThem) {
    SimIdentity identity;
    identity.productNumber = 4711;
    sim.SetIdentity(identity);
    StartSim();
    const std::string db = dir.File("line/records.sqlite");
    const RunResult passed = Run({"download", "--port", sim.PortPath(), "--records", db, "--station-name", "st-7"});
    EXPECT_EQ(passed.status, 0) << passed.err;
    EXPECT_TRUE(Contains(passed.out, "Recorded as ")) << passed.out;
    EXPECT_TRUE(Contains(passed.out, " in " + db + "\n")) << passed.out;

    identity.hwCurrent = {3, 1};
    sim.SetIdentity(identity);
    EXPECT_EQ(Run({"download", "--port", sim.PortPath(), "--records", db, "--station-name", "st-7"}).status, 4);
    SimFaults faults;
    faults.silent = true;
    sim.SetFaults(faults);
    EXPECT_EQ(Run({"download", "--port", sim.PortPath(), "--records", db, "--timeout", "2"}).status, 3);

    const RunResult json = Run({"records", "--records", db, "--json"});
    EXPECT_EQ(json.status, 0) << json.err;
    ASSERT_EQ(CountLines(json.out), 3u) << json.out;
    const std::string first = json.out.substr(0, json.out.find('\n'));
    for (const char* field : {"\"station\":\"st-7\"", "\"product_number\":4711", "\"result\":\"passed\"",
                              "\"image_source\":\"built-in\"", "\"image_name\":\"KAVRO demo firmware\"",
                              "\"image_length\":24576", "\"message\":\"Firmware was downloaded successfuly\""})
        EXPECT_TRUE(Contains(first, field)) << field << " in " << first;
    EXPECT_TRUE(Contains(json.out, "\"result\":\"refused\"")) << json.out;
    EXPECT_TRUE(Contains(json.out, "\"result\":\"no-response\"")) << json.out;

    const RunResult csv = Run({"records", "--records", db, "--csv"});
    EXPECT_EQ(CountLines(csv.out), 4u) << csv.out;
    EXPECT_EQ(csv.out.rfind("id,started_utc,ended_utc,duration_ms,station,port,", 0), 0u) << csv.out;

    const RunResult summary = Run({"records", "--records", db, "--summary", "--csv"});
    EXPECT_TRUE(Contains(summary.out, "total,,3,1,2,0,33.3\n")) << summary.out;
    EXPECT_TRUE(Contains(summary.out, "image,KAVRO demo firmware 2.09,3,1,2,0,33.3\n")) << summary.out;

    const RunResult later = Run({"records", "--records", db, "--since", "2999-01-01", "--json"});
    EXPECT_EQ(later.status, 0);
    EXPECT_EQ(later.out, "");
    const RunResult badTime = Run({"records", "--records", db, "--since", "2026-02-30"});
    EXPECT_EQ(badTime.status, 1);
    EXPECT_TRUE(Contains(badTime.err, "'2026-02-30'")) << badTime.err;
}

// A records file that cannot be kept stops the download before the device is
// touched; records never creates the file it is asked to read.
TEST_F(CliOnSimulator, RecordsThatCannotBeKeptSendNothingAndReadingCreatesNothing) {
    StartSim();
    const std::string blocker = dir.File("plain-file");
    WriteFile(blocker, Bytes{1, 2, 3});
    const RunResult r = Run({"download", "--port", sim.PortPath(), "--records", blocker + "/records.sqlite"});
    EXPECT_EQ(r.status, 6) << r.err;
    EXPECT_TRUE(Contains(r.err, blocker)) << r.err;
    EXPECT_TRUE(Contains(r.err, "Nothing was sent.")) << r.err;
    EXPECT_TRUE(sim.Requests().empty());

    const std::string missing = dir.File("none.sqlite");
    const RunResult read = Run({"records", "--records", missing});
    EXPECT_EQ(read.status, 6);
    EXPECT_TRUE(Contains(read.err, missing)) << read.err;
    EXPECT_FALSE(fs::exists(missing));
}

// Ctrl+C in the middle of a recorded download: status 130 and a record that says stopped.
TEST_F(CliOnSimulator, ADownloadStoppedMidwayIsRecordedAsStopped) {
    SimFaults faults;
    faults.lineRate = 19200;
    sim.SetFaults(faults);
    StartSim();
    const std::string db = dir.File("records.sqlite");
    ChildProcess download;
    ASSERT_TRUE(download.Start(Cli({"download", "--port", sim.PortPath(), "--records", db})));
    ASSERT_TRUE(download.WaitForOutput([](const std::string& out) { return Contains(out, "Downloading: 10%"); },
                                       20000))
        << download.Out();
    download.Signal(SIGINT);
    ASSERT_TRUE(download.Wait(5000));
    EXPECT_EQ(download.Status(), 130) << download.Err();
    EXPECT_TRUE(Contains(download.Out(), "Recorded as ")) << download.Out();
    const RunResult json = Run({"records", "--records", db, "--json"});
    EXPECT_EQ(CountLines(json.out), 1u) << json.out;
    EXPECT_TRUE(Contains(json.out, "\"result\":\"stopped\"")) << json.out;
}
