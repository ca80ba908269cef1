// The pieces of kavro-cli that need no device: JSON text, progress lines,
// port failure hints, the trace line and its writer, and the Linux port list
// on a made-up sysfs tree.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "allocation_counter.h"
#include "cli/argument_passwords.h"
#include "cli/cli_text.h"
#include "cli/frame_tracer.h"
#include "cli/usage_errors.h"
#include "link/device_info.h"
#include "link/adapter_latency.h"
#include "link/platform.h"
#include "link/port_failure.h"
#include "link/port_list.h"
#include "records/json_text.h"
#include "link/port_watch.h"
#include "res/translation.h"

namespace {
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

TEST(CliJson, EscapesQuotesBackslashesAndControls) {
    EXPECT_EQ(JsonLine(JsonText("")), "\"\"");
    EXPECT_EQ(JsonLine(JsonText("a\"b\\c")), "\"a\\\"b\\\\c\"");
    EXPECT_EQ(JsonLine(JsonText(std::string("\x01\n\x1F", 3))), "\"\\u0001\\n\\u001f\"");
    EXPECT_EQ(JsonLine(JsonText(std::string("a\0b", 3))), "\"a\\u0000b\"");
}

TEST(CliJson, KeepsValidUtf8AndTakesStrayBytesAsLatin1) {
    // é, €, and an emoji pass through unchanged.
    const std::string valid = "\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80";
    EXPECT_EQ(JsonLine(JsonText(valid)), "\"" + valid + "\"");
    // Bytes that start no valid sequence become the Latin-1 character, one by one.
    EXPECT_EQ(ToValidUtf8("\xFF"), "\xC3\xBF");
    EXPECT_EQ(ToValidUtf8("a\xC3"), "a\xC3\x83");                                    // cut short at the end
    EXPECT_EQ(ToValidUtf8("\xC0\xAF"), "\xC3\x80\xC2\xAF");                          // overlong '/'
    EXPECT_EQ(ToValidUtf8("\xED\xA0\x80"), "\xC3\xAD\xC2\xA0\xC2\x80");              // a surrogate
    EXPECT_EQ(ToValidUtf8("\xF4\x90\x80\x80"), "\xC3\xB4\xC2\x90\xC2\x80\xC2\x80");  // above U+10FFFF
    EXPECT_EQ(JsonLine(JsonText("\xC3(x")), "\"\xC3\x83(x\"");
    // Even a stray byte that skipped JsonText never makes the line invalid.
    EXPECT_EQ(JsonLine(Json("a\xFF")), "\"a\xEF\xBF\xBD\"");
}

TEST(CliJson, ObjectKeepsFieldOrderAndTypes) {
    Json object = {{"name", JsonText("A\"B")}, {"length", 65535}, {"ok", true}, {"problem", nullptr}};
    object["text"] = JsonTextOrNull("");
    EXPECT_EQ(JsonLine(object), "{\"name\":\"A\\\"B\",\"length\":65535,\"ok\":true,\"problem\":null,\"text\":null}");
    EXPECT_EQ(JsonLine(Json::object()), "{}");
}

// identify --json: the chip ID as 8 hex digits and the product number as a
// number, as every JSON output and the records give them.
TEST(CliJson, IdentifyGivesChipIdAndProductNumberInTheSharedForm) {
    DeviceInfo device;
    const uint8_t chip[4] = {0x89, 0x02, 0x5C, 0x01};
    std::copy(chip, chip + 4, device.chipId);
    device.productNumber = 258;
    device.swMajor = 2, device.swMinor = 5;
    EXPECT_EQ(IdentifyJson("/dev/ttyUSB0", device, 16),
              "{\"format\":2,\"port\":\"/dev/ttyUSB0\",\"chipId\":\"89025C01\",\"name\":\"\",\"swVersion\":\"2.05\","
              "\"hwLowest\":\"0.00\",\"hwHighest\":\"0.00\",\"hwCurrent\":\"0.00\",\"productNumber\":258,"
              "\"adapterLatencyMs\":16}");
    EXPECT_EQ(ChipIdText(device.chipId), "89025C01");
}

TEST(CliText, InfoLineValueSplitsAtTheFirstSeparator) {
    EXPECT_EQ(InfoLineValue("Name : a : b"), "a : b");
    EXPECT_EQ(InfoLineValue("File path : "), "");
    EXPECT_EQ(InfoLineValue("no separator"), "");
}

TEST(CliText, PortFailureDetailNamesThePortTheErrorAndAHint) {
    const auto denied = PortFailureDetail("/dev/ttyUSB0", EACCES);
    ASSERT_EQ(denied.size(), 2u);
    EXPECT_EQ(denied[0], "Port /dev/ttyUSB0: Permission denied");
    EXPECT_NE(denied[1].find("dialout"), std::string::npos);
    const auto busy = PortFailureDetail("/dev/ttyS0", EBUSY);
    ASSERT_EQ(busy.size(), 2u);
    EXPECT_NE(busy[1].find("another program holds the port"), std::string::npos);
    const auto missing = PortFailureDetail("/dev/ttyUSB9", ENOENT);
    ASSERT_EQ(missing.size(), 2u);
    EXPECT_NE(missing[1].find("kavro-cli ports"), std::string::npos);
    const auto other = PortFailureDetail("/dev/ttyS1", EIO);
    ASSERT_EQ(other.size(), 1u);
    EXPECT_EQ(other[0], "Port /dev/ttyS1: Input/output error");
    EXPECT_EQ(PortFailureDetail("COM1", 0), std::vector<std::string>{"Port COM1"});
}

// A stand-in catalogue that reorders the values of one of CLI11's patterns.
const char* SwappingCatalogue(const char* english) {
    return std::string(english) == "%s requires %s" ? "%2$s <- %1$s" : english;
}

TEST(CliUsageErrors, KnownPatternsAreRewrittenUnknownOnesKept) {
    SetTextTranslator(&SwappingCatalogue);
    EXPECT_EQ(TranslatedUsageError("RequiresError", "--a %s requires --b requires x"), "--b requires x <- --a %s");
    EXPECT_EQ(TranslatedUsageError("ExcludesError", "--a requires --b"), "--a requires --b");  // another kind
    EXPECT_EQ(TranslatedUsageError("RequiresError", "requires"), "requires");                  // fits no pattern
    EXPECT_EQ(TranslatedUsageError("HorribleError", ""), "");
    SetTextTranslator(nullptr);
    EXPECT_EQ(UsageErrorReport("RequiredError", "--port is required", {"--help"}),
              "--port is required\nRun with --help for more information.\n");
    EXPECT_EQ(UsageErrorReport("RequiredError", "A subcommand is required", {}), "A subcommand is required\n");
}

// The passwords of --records values, found to be blanked out of the arguments.
TEST(CliArguments, RecordsPasswordsAreBlankedWhereverTheStringPutsThem) {
    const auto blanked = [](std::vector<std::string> args) {
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        BlankRecordsPasswords(static_cast<int>(argv.size()), argv.data());
        std::string all;
        for (const char* a : argv) all += std::string(a) + " ";
        return all;
    };
    EXPECT_EQ(blanked({"kavro-cli", "station", "--records", "postgresql://kavro:S3cret@db:5432/line?sslmode=require"}),
              "kavro-cli station --records postgresql://kavro:******@db:5432/line?sslmode=require ");
    EXPECT_EQ(blanked({"kavro-cli", "--records=postgres://db/line?user=k&password=S3cret&x=1"}),
              "kavro-cli --records=postgres://db/line?user=k&password=******&x=1 ");
    EXPECT_EQ(blanked({"kavro-cli", "--records", "host=db password = 'S3 c\\'ret' dbname=line"}),
              "kavro-cli --records host=db password = '*********' dbname=line ");
    // A file path, a URI without a password and a password elsewhere stay as they are.
    EXPECT_EQ(blanked({"kavro-cli", "--records", "run=3.sqlite", "--station-name", "password=x"}),
              "kavro-cli --records run=3.sqlite --station-name password=x ");
    EXPECT_EQ(blanked({"kavro-cli", "--records", "postgresql://kavro@db/line"}),
              "kavro-cli --records postgresql://kavro@db/line ");
}

// What the station window shows and keeps of a connection string.
TEST(CliArguments, ConnectionStringsAreShownAndKeptWithoutTheirPasswords) {
    EXPECT_EQ(ShownConnection("postgresql://kavro:S3cret@db:5432/line"), "postgresql://kavro:***@db:5432/line");
    EXPECT_EQ(ConnectionWithoutPassword("postgresql://kavro:S3cret@db:5432/line?sslmode=require"),
              "postgresql://kavro@db:5432/line?sslmode=require");
    EXPECT_EQ(ConnectionWithoutPassword("postgres://db/line?password=S3cret&user=k"), "postgres://db/line?user=k");
    EXPECT_EQ(ConnectionWithoutPassword("postgres://db/line?user=k&password=S3cret&x=1"), "postgres://db/line?user=k&x=1");
    EXPECT_EQ(ConnectionWithoutPassword("postgres://db/line?password=S3cret"), "postgres://db/line");
    EXPECT_EQ(ConnectionWithoutPassword("host=db password = 'S3 c\\'ret' dbname=line"), "host=db dbname=line");
    EXPECT_EQ(ConnectionWithoutPassword("run=3.sqlite"), "run=3.sqlite");
    EXPECT_EQ(ConnectionWithoutPassword("/var/lib/kavro/records.sqlite"), "/var/lib/kavro/records.sqlite");
}

TEST(CliProgress, PlainOutputPrintsOneLinePerTenth) {
    const Clock::time_point t0 = Clock::now();
    CProgressText small(300, false, t0);
    EXPECT_EQ(small.Update(128, t0), "Downloading: 42% (128 of 300 bytes)\n");
    EXPECT_EQ(small.Update(128, t0), "");
    EXPECT_EQ(small.Update(256, t0), "Downloading: 85% (256 of 300 bytes)\n");
    EXPECT_EQ(small.Update(300, t0), "Downloading: 100% (300 of 300 bytes)\n");
    EXPECT_EQ(small.Finish(), "");

    CProgressText steps(1000, false, t0);
    int lines = 0;
    for (uint32_t done = 1; done <= 1000; ++done) {
        const std::string text = steps.Update(done, t0);
        if (text.empty()) continue;
        ++lines;
        EXPECT_EQ(text.find('\r'), std::string::npos);
        EXPECT_EQ(text.back(), '\n');
    }
    EXPECT_EQ(lines, 10);
}

TEST(CliProgress, TerminalBarShowsRateAndTimeLeftAndIsThrottled) {
    const Clock::time_point t0 = Clock::now();
    CProgressText bar(2000, true, t0);
    const std::string half = bar.Update(1000, t0 + std::chrono::seconds(1));
    EXPECT_EQ(half.rfind("\r[", 0), 0u) << half;
    EXPECT_NE(half.find(" 50%  1000/2000 bytes  1.0 kB/s  1 s left"), std::string::npos) << half;
    EXPECT_EQ(half.find('\n'), std::string::npos);
    // Within a tenth of a second nothing is redrawn, except the final state.
    EXPECT_EQ(bar.Update(1100, t0 + std::chrono::milliseconds(1050)), "");
    const std::string done = bar.Update(2000, t0 + std::chrono::milliseconds(1060));
    EXPECT_NE(done.find("100%  2000/2000 bytes"), std::string::npos) << done;
    EXPECT_EQ(done.find("left"), std::string::npos);
    EXPECT_EQ(bar.Finish(), "\n");
    EXPECT_EQ(bar.Finish(), "");
}

TEST(CliProgress, RatesAndDurations) {
    EXPECT_EQ(FormatRate(850), "850 B/s");
    EXPECT_EQ(FormatRate(1920), "1.9 kB/s");
    EXPECT_EQ(FormatRate(12.4e6), "12.4 MB/s");
    EXPECT_EQ(FormatDuration(7.2), "7 s");
    EXPECT_EQ(FormatDuration(125), "2 min 05 s");
    EXPECT_EQ(FormatDuration(3720), "1 h 02 min");
    EXPECT_EQ(FormatDuration(-3), "0 s");
}

TEST(CliTrace, LineShowsDirectionTimeAndHexBytes) {
    char line[256];
    const uint8_t frame[] = {0x05, 0x80, 0x04, 0x00, 0x00, 0x7C, 0x0A};
    size_t n = FormatTraceLine(line, sizeof line, IFrameTrace::Direction::Sent, frame, sizeof frame, 12345);
    EXPECT_EQ(std::string(line, n), "+   12.345 ms -> 05 80 04 00 00 7C 0A\n");
    n = FormatTraceLine(line, sizeof line, IFrameTrace::Direction::Received, frame, 1, 0);
    EXPECT_EQ(std::string(line, n), "+    0.000 ms <- 05\n");
    n = FormatTraceLine(line, sizeof line, IFrameTrace::Direction::Received, frame, 0, 123456789);
    EXPECT_EQ(std::string(line, n), "+123456.789 ms <- \n");

    // A frame longer than the buffer is cut with "..." and stays inside it.
    std::vector<uint8_t> big(100, 0xAB);
    char small[64];
    n = FormatTraceLine(small, sizeof small, IFrameTrace::Direction::Sent, big.data(),
                        static_cast<uint32_t>(big.size()), 1000);
    ASSERT_LE(n, sizeof small);
    const std::string cut(small, n);
    EXPECT_EQ(cut.substr(cut.size() - 4), "...\n") << cut;
    EXPECT_EQ(cut.rfind("+    1.000 ms -> AB AB ", 0), 0u) << cut;
}

TEST(CliTrace, WriterWritesWholeLinesWithoutAllocating) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    CFrameTracer tracer(fds[1]);
    // The longest frame a reply can bring: twice the longest wire frame.
    std::vector<uint8_t> longest(2 * MAX_FRAME_LENGTH, 0x09);
    const uint8_t frame[] = {0x05, 0xC0, 0x0A};
    g_allocations = 0;
    g_countAllocations = true;
    tracer.OnFrame(IFrameTrace::Direction::Sent, frame, sizeof frame);
    tracer.OnFrame(IFrameTrace::Direction::Received, longest.data(), static_cast<uint32_t>(longest.size()));
    g_countAllocations = false;
    EXPECT_EQ(g_allocations.load(), 0);
    ::close(fds[1]);
    std::string text;
    char buffer[4096];
    for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) > 0;) text.append(buffer, static_cast<size_t>(n));
    ::close(fds[0]);
    const size_t firstEnd = text.find('\n');
    ASSERT_NE(firstEnd, std::string::npos);
    EXPECT_NE(text.find(" ms -> 05 C0 0A\n"), std::string::npos) << text;
    const std::string second = text.substr(firstEnd + 1);
    EXPECT_NE(second.find(" ms <- 09 09 "), std::string::npos);
    // Every byte of the longest frame is shown, none cut.
    EXPECT_EQ(second.find("..."), std::string::npos);
    EXPECT_EQ(second.back(), '\n');
}

// A made-up sysfs tty class folder and /dev, with the shapes Linux gives them.
class FakeSysfs : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/kavro-ports-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        root = pattern;
        fs::create_directories(root / "class/tty");
        fs::create_directories(root / "dev");
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(root, ec);
    }

    static void Write(const fs::path& path, const std::string& text) {
        fs::create_directories(path.parent_path());
        std::ofstream(path) << text << "\n";
    }
    // A tty class entry whose device link points at devicePath (relative to root).
    void Tty(const std::string& name, const std::string& devicePath) {
        const fs::path entry = root / "class/tty" / name;
        fs::create_directories(entry);
        if (!devicePath.empty()) {
            fs::create_directories(root / devicePath);
            fs::create_directory_symlink(root / devicePath, entry / "device");
        }
    }
    // A device node: a link to /dev/null, which is a character device.
    void Node(const std::string& name) { fs::create_symlink("/dev/null", root / "dev" / name); }

    std::vector<SerialPortEntry> List() const {
        return EnumerateSerialPortsIn((root / "class/tty").string(), (root / "dev").string());
    }

    fs::path root;
};

TEST_F(FakeSysfs, ListsRealPortsWithUsbDetailsInNaturalOrder) {
    // A UART, a registered line without one, a console, and USB adapters.
    Tty("ttyS0", "devices/platform/serial8250/tty/ttyS0");
    Write(root / "class/tty/ttyS0/type", "4");
    Node("ttyS0");
    Tty("ttyS1", "devices/platform/serial8250/tty/ttyS1");
    Write(root / "class/tty/ttyS1/type", "0");
    Node("ttyS1");
    Tty("tty0", "");
    Node("tty0");
    const std::string usb = "devices/pci0000:00/usb1/1-1";
    Write(root / usb / "idVendor", "0403");
    Write(root / usb / "idProduct", "6001");
    Write(root / usb / "manufacturer", "FTDI");
    Write(root / usb / "product", "FT232R USB UART");
    Write(root / usb / "serial", "A10K1234");
    Tty("ttyUSB0", usb + "/1-1:1.0/ttyUSB0");
    Write(root / usb / "1-1:1.0/ttyUSB0/latency_timer", "16");
    Node("ttyUSB0");
    const std::string acm = "devices/pci0000:00/usb1/1-2";
    Write(root / acm / "idVendor", "2341");
    Write(root / acm / "idProduct", "0043");
    Write(root / acm / "product", "Arduino Uno");
    Tty("ttyACM10", acm + "/1-2:1.0");
    Node("ttyACM10");
    Tty("ttyACM2", acm + "/1-2:1.2");
    Node("ttyACM2");
    // Registered but without a device node, and with a plain file for one.
    Tty("ttyUSB1", usb + "/1-1:1.1/ttyUSB1");
    Tty("ttyACM3", acm + "/1-2:1.3");
    Write(root / "dev/ttyACM3", "not a device");

    const std::vector<SerialPortEntry> ports = List();
    const std::string dev = (root / "dev").string();
    ASSERT_EQ(ports.size(), 4u);
    EXPECT_EQ(ports[0].name, dev + "/ttyACM2");
    EXPECT_EQ(ports[1].name, dev + "/ttyACM10");
    EXPECT_EQ(ports[2].name, dev + "/ttyS0");
    EXPECT_EQ(ports[3].name, dev + "/ttyUSB0");
    EXPECT_EQ(ports[0].usbId, "2341:0043");
    EXPECT_EQ(ports[0].description, "Arduino Uno");
    EXPECT_EQ(ports[2].usbId, "");
    EXPECT_EQ(ports[2].description, "");
    EXPECT_EQ(ports[3].usbId, "0403:6001");
    EXPECT_EQ(ports[3].description, "FTDI FT232R USB UART");
    EXPECT_EQ(ports[3].vendorId, "0403");
    EXPECT_EQ(ports[3].productId, "6001");
    EXPECT_EQ(ports[3].serial, "A10K1234");
    EXPECT_EQ(ports[3].path, ports[3].name);
    EXPECT_EQ(ports[0].serial, "");
    EXPECT_EQ(ports[3].latencyMs, 16);
    EXPECT_EQ(ports[0].latencyMs, -1) << "CDC ACM has no latency timer";

    // As `ports --json` prints them: unknown fields are null, never "".
    const std::string json = PortsJson({ports[2], ports[3]});
    EXPECT_EQ(json, "[{\"name\":\"" + dev + "/ttyS0\",\"path\":\"" + dev +
                        "/ttyS0\",\"description\":null,\"vendorId\":null,\"productId\":null,"
                        "\"serialNumber\":null,\"byPath\":null,\"adapterLatencyMs\":null},"
                        "{\"name\":\"" + dev + "/ttyUSB0\",\"path\":\"" + dev +
                        "/ttyUSB0\",\"description\":\"FTDI FT232R USB UART\",\"vendorId\":\"0403\","
                        "\"productId\":\"6001\",\"serialNumber\":\"A10K1234\",\"byPath\":null,"
                        "\"adapterLatencyMs\":16}]");
    EXPECT_EQ(PortsJson({}), "[]");
    EXPECT_EQ(PortDetail(ports[3]), "0403:6001  FTDI FT232R USB UART");
    EXPECT_EQ(PortDetail(ports[2]), "");
}

// An open port's latency is found from its device node's numbers, as
// /sys/dev/char leads to the tty whose device holds latency_timer.
TEST_F(FakeSysfs, LatencyTimerIsReadThroughTheDeviceNumbers) {
    const std::string sys = root.string();
    EXPECT_EQ(ReadAdapterLatencyMsUnder(sys.c_str(), "/dev/null"), -1) << "no latency_timer";
    Write(root / "dev/char/1:3/device/latency_timer", "16");
    EXPECT_EQ(ReadAdapterLatencyMsUnder(sys.c_str(), "/dev/null"), 16);
    Write(root / "dev/char/1:3/device/latency_timer", "garbage");
    EXPECT_EQ(ReadAdapterLatencyMsUnder(sys.c_str(), "/dev/null"), -1);
    Write(root / "plain", "16");
    EXPECT_EQ(ReadAdapterLatencyMsUnder(sys.c_str(), (root / "plain").c_str()), -1) << "not a device";
    EXPECT_EQ(ReadAdapterLatencyMsUnder(sys.c_str(), (root / "absent").c_str()), -1);
}

// 2 ms is the most a held acknowledgement may cost; above it each port is
// warned about once, with the fix for this system.
TEST(AdapterLatencyText, LineAdviceAndOneWarningPerPort) {
    AdapterLatency adapter;
    adapter.timerMs = 16;
    EXPECT_EQ(AdapterLatencyLine(adapter), "Adapter latency: 16 ms");
    EXPECT_FALSE(AdapterLatencyTooHigh(2));
    EXPECT_TRUE(AdapterLatencyTooHigh(3));
    EXPECT_FALSE(AdapterLatencyTooHigh(-1));
    const std::string advice = AdapterLatencyAdvice("/dev/ttyUSB7", 16);
    EXPECT_NE(advice.find("/dev/ttyUSB7"), std::string::npos) << advice;
    EXPECT_NE(advice.find("71-kavro-latency.rules"), std::string::npos) << advice;
    EXPECT_TRUE(FirstLatencyWarning("/dev/ttyUSB7"));
    EXPECT_FALSE(FirstLatencyWarning("/dev/ttyUSB7"));
    EXPECT_TRUE(FirstLatencyWarning("/dev/ttyUSB8"));
}

TEST_F(FakeSysfs, NoFolderMeansNoPorts) {
    EXPECT_TRUE(EnumerateSerialPortsIn((root / "absent").string(), "/dev").empty());
    EXPECT_TRUE(List().empty());
}

// The watch reports on another thread than its owner's; once stopped, no
// report reaches the receiver, whether the system watch could start here
// (a udev monitor needs the daemon) or not.
TEST(PortWatch, ReportsReachTheReceiverOnlyWhileWatching) {
    std::atomic<int> reports{0};
    CPortWatch watch;
    watch.ReportChange();  // not started: nowhere to go
    const bool system = watch.Start([&reports] { ++reports; });
    EXPECT_EQ(watch.IsWatching(), system);
    std::thread([&watch] { watch.ReportChange(); }).join();
    EXPECT_EQ(reports.load(), 1);
    watch.Stop();
    watch.Stop();
    EXPECT_FALSE(watch.IsWatching());
    std::thread([&watch] { watch.ReportChange(); }).join();
    EXPECT_EQ(reports.load(), 1);
    // Started again, then destroyed while watching: the destructor stops it.
    auto second = std::make_unique<CPortWatch>();
    (void)second->Start([&reports] { ++reports; });
    second.reset();
    EXPECT_EQ(reports.load(), 1);
}

TEST(PortFailure, TheSystemsReasonAndTheCommandLinesHint) {
    EXPECT_EQ(PortFailureText("/dev/x", 0), "Port /dev/x cannot be opened.");
    for (uint32_t code : {uint32_t{EACCES}, uint32_t{EBUSY}}) {
        const std::string text = PortFailureText("/dev/x", code);
        EXPECT_EQ(text.rfind("Port /dev/x cannot be opened: " + SystemErrorText(code) + ". ", 0), 0u) << text;
        ASSERT_NE(PortFailureHint(code), nullptr);
        EXPECT_NE(text.find(PortFailureHint(code)), std::string::npos) << text;
    }
    EXPECT_NE(PortFailureHint(EBUSY), PortFailureHint(EACCES));
}

}  // namespace
