// The user interface's decisions without a window system: the information
// lines, the clip rule, the hardware-range check, the enabling table, the
// download decision and the port list.
#include <gtest/gtest.h>

#include <cstring>

#include "link/port_list.h"
#include "res/info_lines.h"
#include "ui/ui_resource_ids.h"
#include "ui/ui_strings.h"
#include "ui/link_pane.h"
#include "ui/ui_logic.h"
#include "ui/ui_texts.h"

namespace {
DeviceInfo Device() { return DeviceInfo{}; }

std::string DeviceLine(int line, const DeviceInfo& device) {
    return FormatInfoLine(line, device, FirmwareInfo{}, "");
}

DeviceInfo WithCurrent(uint32_t major, uint8_t minor) {
    DeviceInfo device;
    device.hwCurrentMajor = major;
    device.hwCurrentMinor = minor;
    return device;
}

FirmwareInfo WithRange(uint32_t lowMajor, uint8_t lowMinor, uint32_t highMajor, uint8_t highMinor) {
    FirmwareInfo image;
    image.hwLowestMajor = lowMajor;
    image.hwLowestMinor = lowMinor;
    image.hwHighestMajor = highMajor;
    image.hwHighestMinor = highMinor;
    return image;
}
}  // namespace

TEST(InfoLines, DeviceBlockBeforeAnyAnswer) {
    const DeviceInfo device = Device();
    EXPECT_EQ(DeviceLine(1, device), "Chip ID : 00 00 00 00");
    EXPECT_EQ(DeviceLine(2, device), "Name : ");
    EXPECT_EQ(DeviceLine(3, device), "SW current version : 0.00");
    EXPECT_EQ(DeviceLine(4, device), "HW version lowest : 0.00");
    EXPECT_EQ(DeviceLine(5, device), "HW version highest : 0.00");
    EXPECT_EQ(DeviceLine(6, device), "HW current version : 0.00");
    EXPECT_EQ(DeviceLine(7, device), "Product number : 00000000");
}

TEST(InfoLines, ValuesFormatAsTheViewPaintsThem) {
    DeviceInfo device;
    const uint8_t chip[4] = {0x0A, 0xB1, 0x00, 0xFF};
    std::memcpy(device.chipId, chip, 4);
    device.swMajor = 3;
    device.swMinor = 5;
    device.hwLowestMajor = 4294967295u;
    device.hwLowestMinor = 123;
    device.productNumber = 42;
    device.name.Assign("Unit A");
    EXPECT_EQ(DeviceLine(1, device), "Chip ID : 0A B1 00 FF");
    EXPECT_EQ(DeviceLine(2, device), "Name : Unit A");
    EXPECT_EQ(DeviceLine(3, device), "SW current version : 3.05");
    EXPECT_EQ(DeviceLine(4, device), "HW version lowest : 4294967295.123");
    EXPECT_EQ(DeviceLine(7, device), "Product number : 00000042");
    device.productNumber = 123456789;
    EXPECT_EQ(DeviceLine(7, device), "Product number : 123456789");
    device.productNumber = 4294967295u;
    EXPECT_EQ(DeviceLine(7, device), "Product number : 4294967295");
}

TEST(InfoLines, ImageBlockRepeatsTheLabelsWithoutCurrentAndProduct) {
    FirmwareInfo image = WithRange(1, 0, 2, 5);
    image.swMajor = 2;
    image.swMinor = 9;
    image.name.Assign("KAVRO demo firmware");
    const DeviceInfo device;
    EXPECT_EQ(FormatInfoLine(8, device, image, ""), "File path : ");
    EXPECT_EQ(FormatInfoLine(8, device, image, "/data/a.fw"), "File path : /data/a.fw");
    EXPECT_EQ(FormatInfoLine(9, device, image, ""), "Name : KAVRO demo firmware");
    EXPECT_EQ(FormatInfoLine(10, device, image, ""), "SW current version : 2.09");
    EXPECT_EQ(FormatInfoLine(11, device, image, ""), "HW version lowest : 1.00");
    EXPECT_EQ(FormatInfoLine(12, device, image, ""), "HW version highest : 2.05");
}

TEST(ClipRule, FortyTwoUnitsWithFourteenUnitLinesPaintLinesOneToFour) {
    EXPECT_EQ(PaintedLines(LineRect{0, 0, 300, 42}, 14, 12), (std::vector<int>{1, 2, 3, 4}));
    // One unit less and the fourth line starts below the bottom edge.
    EXPECT_EQ(PaintedLines(LineRect{0, 0, 300, 41}, 14, 12), (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(PaintedLines(LineRect{0, 0, 300, 43}, 14, 12), (std::vector<int>{1, 2, 3, 4}));
    EXPECT_EQ(PaintedLines(LineRect{0, 0, 300, 1000}, 14, 12).size(), 12u);
    // An empty client area still paints the line that starts on its edge.
    EXPECT_EQ(PaintedLines(LineRect{0, 0, 300, 0}, 14, 12), (std::vector<int>{1}));
}

TEST(ClipRule, LinesMoveByTheirOwnHeightFromTheClientTop) {
    const LineRect client{5, 10, 205, 40};
    LineRect line = FirstLine(client, 14);
    EXPECT_EQ(line.left, 5);
    EXPECT_EQ(line.right, 205);
    EXPECT_EQ(line.top, 10);
    EXPECT_EQ(line.bottom, 24);
    AdvanceLine(line);
    EXPECT_EQ(line.top, 24);
    EXPECT_EQ(line.bottom, 38);
    AdvanceLine(line);
    EXPECT_TRUE(IsLineVisible(line, client));  // top 38 is above the bottom 40
    AdvanceLine(line);
    EXPECT_FALSE(IsLineVisible(line, client));  // top 52
    // Signed comparison: a client whose bottom lies above zero.
    EXPECT_FALSE(IsLineVisible(LineRect{0, 0, 10, 14}, LineRect{0, -30, 10, -1}));
    EXPECT_TRUE(IsLineVisible(LineRect{0, -5, 10, 9}, LineRect{0, -30, 10, -1}));
}

TEST(RangeCheck, BothEndsAreInclusive) {
    const FirmwareInfo image = WithRange(1, 0, 2, 5);
    EXPECT_TRUE(IsDeviceCompatible(WithCurrent(1, 0), image));
    EXPECT_TRUE(IsDeviceCompatible(WithCurrent(2, 5), image));
    EXPECT_FALSE(IsDeviceCompatible(WithCurrent(0, 99), image));
    EXPECT_FALSE(IsDeviceCompatible(WithCurrent(2, 6), image));
}

TEST(RangeCheck, MajorsFirstThenMinors) {
    const FirmwareInfo image = WithRange(1, 50, 3, 0);
    EXPECT_TRUE(IsDeviceCompatible(WithCurrent(2, 0), image));
    EXPECT_TRUE(IsDeviceCompatible(WithCurrent(2, 99), image));
    EXPECT_TRUE(IsDeviceCompatible(WithCurrent(2, 255), image));
    EXPECT_FALSE(IsDeviceCompatible(WithCurrent(1, 49), image));
    EXPECT_FALSE(IsDeviceCompatible(WithCurrent(3, 1), image));
}

TEST(RangeCheck, InvertedRangeAcceptsNothing) {
    const FirmwareInfo image = WithRange(3, 0, 1, 0);
    for (uint32_t major : {0u, 1u, 2u, 3u, 4u}) EXPECT_FALSE(IsDeviceCompatible(WithCurrent(major, 0), image));
}

TEST(RangeCheck, MajorsCompareUnsigned) {
    // 2^31 is above 1, not a negative number below it.
    EXPECT_FALSE(IsDeviceCompatible(WithCurrent(2147483648u, 0), WithRange(1, 0, 2, 0)));
    EXPECT_TRUE(IsDeviceCompatible(WithCurrent(2147483648u, 0), WithRange(1, 0, 4294967295u, 255)));
    EXPECT_FALSE(IsDeviceCompatible(WithCurrent(1, 0), WithRange(2147483648u, 0, 4294967295u, 255)));
}

TEST(EnablingRules, FollowTheLinkState) {
    struct Row {
        LinkFlags flags;
        bool connect, download, disconnect;
    };
    const Row rows[] = {
        {{false, false, false}, true, false, false},  // not running
        {{true, false, false}, false, true, true},    // running, nothing pending
        {{true, true, false}, false, false, true},    // download pending
        {{true, false, true}, false, false, true},    // reset issued
        {{false, false, true}, true, false, false},   // stopped after a reset
        {{false, true, false}, true, false, false},
    };
    for (const Row& row : rows) {
        const CommandEnabling enabled = EnabledCommands(row.flags);
        EXPECT_EQ(enabled.connect, row.connect);
        EXPECT_EQ(enabled.download, row.download);
        EXPECT_EQ(enabled.disconnect, row.disconnect);
    }
}

TEST(DownloadDecision, GuardsRefusalsAndTheHardwareCheck) {
    const LinkFlags idle{false, false, false};
    const LinkFlags running{true, false, false};
    const LinkFlags pending{true, true, false};
    EXPECT_EQ(DecideDownload(idle, nullptr, true, false), DownloadDecision::Ignore);
    EXPECT_EQ(DecideDownload(pending, nullptr, true, false), DownloadDecision::Ignore);
    EXPECT_EQ(DecideDownload(running, nullptr, true, false), DownloadDecision::Request);
    // Force mode does not skip the check: a compatible device is not asked about.
    EXPECT_EQ(DecideDownload(running, nullptr, true, true), DownloadDecision::Request);
    EXPECT_EQ(DecideDownload(running, nullptr, false, false), DownloadDecision::RefuseHardware);
    EXPECT_EQ(DecideDownload(running, nullptr, false, true), DownloadDecision::AskHardware);
    // An image that cannot be sent is refused before anything else is asked.
    EXPECT_EQ(DecideDownload(running, "no image data is loaded", true, false), DownloadDecision::Refuse);
    EXPECT_EQ(DecideDownload(running, "no image data is loaded", false, true), DownloadDecision::Refuse);
    EXPECT_EQ(DecideDownload(idle, "no image data is loaded", true, false), DownloadDecision::Ignore);
}

TEST(PortBox, StandardNamesFirstThenReportedOnes) {
    EXPECT_EQ(PortBoxEntries({"COM1", "COM2", "COM3", "COM4"}, {"COM3", "COM7", "", "COM7", "COM12"}),
              (std::vector<std::string>{"COM3", "COM7", "COM12"}));
    EXPECT_EQ(PortBoxEntries({"/dev/ttyS0", "/dev/ttyS1"}, {"/dev/ttyUSB0", "/dev/ttyS1"}),
              (std::vector<std::string>{"/dev/ttyS1", "/dev/ttyUSB0"}))
        << "a standard port that exists comes first; one that does not is not offered";
    EXPECT_EQ(PortBoxEntries({}, {"/dev/ttyUSB0"}), (std::vector<std::string>{"/dev/ttyUSB0"}));
}

TEST(Texts, DocumentStringFields) {
    const std::vector<std::string> fields = DocumentStringFields(LoadUiStringText(IDR_MAINFRAME));
    ASSERT_EQ(fields.size(), 7u);
    EXPECT_EQ(fields[DOCSTRING_WINDOW_TITLE], "Firmware Downloader");
    EXPECT_EQ(fields[DOCSTRING_DOC_NAME], "");
    EXPECT_EQ(fields[DOCSTRING_FILE_NEW_NAME], "KAVRO");
    EXPECT_EQ(fields[DOCSTRING_FILTER_NAME], "KAVRO Files (*.fw)");
    EXPECT_EQ(fields[DOCSTRING_FILTER_EXT], ".fw");
    EXPECT_EQ(fields[DOCSTRING_REG_FILE_TYPE_NAME], "KAVRO Document");
    EXPECT_EQ(DocumentStringFields("a\nb"), (std::vector<std::string>{"a", "b", "", "", "", "", ""}));
}

TEST(Texts, PortFailureKeepsItsTextFirst) {
    const char* base = LoadUiStringText(IDS_PORT_FAILED);
    EXPECT_EQ(PortFailedText(base, "/dev/ttyUSB0", "Permission denied"),
              "COM port can not be open\n\n/dev/ttyUSB0: Permission denied");
    EXPECT_EQ(PortFailedText(base, "", ""), "COM port can not be open");
    EXPECT_EQ(DownloadRefusalText("no image data is loaded"),
              "The firmware cannot be downloaded: no image data is loaded.");
}

TEST(LinkPane, TextFollowsTheLinkFromOpenToDisconnect) {
    using Clock = CLinkPane::Clock;
    const Clock::time_point t0 = Clock::now();
    CLinkPane pane;
    LinkSnapshot link;
    EXPECT_EQ(pane.Text(link, t0), "Not connected");
    pane.Opening("/dev/ttyUSB0");
    EXPECT_EQ(pane.Text(link, t0), "Opening port /dev/ttyUSB0...");
    pane.Started(t0);
    link.running = true;
    link.phase = LinkPhase::Waking;
    EXPECT_EQ(pane.Text(link, t0), "Waking the device on /dev/ttyUSB0...");
    link.phase = LinkPhase::Polling;
    EXPECT_EQ(pane.Text(link, t0), "Waiting for an answer on /dev/ttyUSB0...");
    // An attempt ran out: silent (not a byte) and noisy lines are told apart.
    link.attemptRanOut = true;
    link.silent = true;
    EXPECT_EQ(pane.Text(link, t0 + std::chrono::milliseconds(3400)),
              "No answer yet on /dev/ttyUSB0 after 3 s: check the device's power, the cable and the port");
    link.silent = false;
    EXPECT_TRUE(pane.Text(link, t0 + std::chrono::seconds(9)).rfind("No valid answer yet on /dev/ttyUSB0 after 9 s", 0) == 0);
    link.answers = 2;
    link.deviceName = "Bench unit";
    link.productNumber = 42;
    EXPECT_EQ(pane.Text(link, t0), "Connected: Bench unit, product number 42");

    // 1000 of 4000 bytes in 2 s: 25 %, 6 s left.
    link.phase = LinkPhase::Downloading;
    pane.ProgressRange(4000, t0);
    EXPECT_EQ(pane.ProgressText(t0), "0 %");
    pane.ProgressPosition(1000);
    EXPECT_EQ(pane.Text(link, t0 + std::chrono::seconds(2)), "Downloading: 25 %, 0:06 left");
    EXPECT_EQ(pane.ProgressText(t0 + std::chrono::seconds(2)), "25 %  0:06 left");
    link.phase = LinkPhase::Polling;
    link.lastDownload = DownloadOutcome::Confirmed;
    EXPECT_EQ(pane.Text(link, t0), "Download finished and confirmed by the device");
    link.lastDownload = DownloadOutcome::Failed;
    EXPECT_EQ(pane.Text(link, t0), "Download not confirmed: the device stopped answering");

    // Stopped by an image load, or by Disconnect: disconnected either way.
    link.running = false;
    EXPECT_EQ(pane.Text(link, t0), "Disconnected");
    pane.Disconnected();
    EXPECT_EQ(pane.Text(link, t0), "Disconnected");
    pane.Opening("COM9");
    pane.Failed("The system cannot find the file specified.");
    EXPECT_EQ(pane.Text(link, t0), "Port COM9 failed: The system cannot find the file specified.");
    EXPECT_EQ(uitext::TimeLeft(3725), "1:02:05");
}

// The pane's tool tip tells the running link's adapter latency; the fix is
// given there every time and as a warning only once for the port.
TEST(LinkPane, TooltipTellsTheAdapterLatencyAndWarnsOncePerPort) {
    CLinkPane pane;
    LinkSnapshot link;
    link.adapter.timerMs = 16;
    EXPECT_EQ(pane.LatencyTooltip(link), "") << "nothing while not connected";
    pane.Opening("/dev/ttyUSB5");
    pane.Started(CLinkPane::Clock::now());
    link.running = true;
    const std::string tip = pane.LatencyTooltip(link);
    EXPECT_EQ(tip.rfind("Adapter latency: 16 ms\nThe adapter on /dev/ttyUSB5 holds", 0), 0u) << tip;
    EXPECT_EQ(pane.FirstLatencyWarningText(link), AdapterLatencyAdvice("/dev/ttyUSB5", 16));
    EXPECT_EQ(pane.FirstLatencyWarningText(link), "");
    link.adapter.timerMs = 1;
    EXPECT_EQ(pane.LatencyTooltip(link), "Adapter latency: 1 ms");
}

TEST(PortBox, ItemsAreDescribedAndAnAbsentRememberedPortIsMarked) {
    SerialPortEntry usb;
    usb.name = "COM7";
    usb.usbId = "0403:6001";
    usb.description = "FTDI FT232R USB UART";
    SerialPortEntry plain;
    plain.name = "COM2";
    const std::vector<PortBoxItem> items = PortBoxItems({"COM1", "COM2"}, {plain, usb}, "COM12", false);
    EXPECT_EQ(items, (std::vector<PortBoxItem>{{"COM2", "COM2"},
                                               {"COM7  0403:6001  FTDI FT232R USB UART", "COM7"},
                                               {"COM12  (absent)", "COM12"}}));
    EXPECT_EQ(PortNameOf(items, "COM7  0403:6001  FTDI FT232R USB UART"), "COM7");
    EXPECT_EQ(PortNameOf(items, "COM12  (absent)"), "COM12");
    EXPECT_EQ(PortNameOf(items, "/dev/typed"), "/dev/typed");
    // Listed, or present though unlisted (a pseudo-terminal): not marked.
    EXPECT_EQ(PortBoxItems({"COM1"}, {plain}, "COM2", false).size(), 1u);
    EXPECT_EQ(PortBoxItems({"COM1"}, {plain}, "/dev/pts/3", true).size(), 1u);
}

TEST(Commands, DownloadBeforeAnyAnswerSaysNoDevice) {
    LinkFlags silent;
    silent.running = true;
    silent.deviceAnswered = false;
    EXPECT_EQ(DecideDownload(silent, nullptr, false, false), DownloadDecision::NoDevice);
    EXPECT_EQ(DecideDownload(silent, nullptr, false, true), DownloadDecision::NoDevice) << "not even in force mode";
    EXPECT_EQ(DecideDownload(silent, "no image data is loaded", false, false), DownloadDecision::Refuse);
    silent.running = false;
    EXPECT_EQ(DecideDownload(silent, nullptr, false, false), DownloadDecision::Ignore);
}
