// The application against the device simulator on a pseudo-terminal: connect,
// download with the progress bar, reset, the hardware check and force mode,
// the second CPU, port failures, and the link's end with the view.
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <filesystem>

#include <wx/checkbox.h>
#include <wx/combobox.h>
#include <wx/gauge.h>
#include <wx/regex.h>
#include <wx/stattext.h>
#include <wx/toolbar.h>
#include <wx/uiaction.h>

#include "gui_fixture.h"
#include "image/firmware_format.h"
#include "link/device_link.h"
#include "ui/ui_resource_ids.h"
#include "res/resources.h"
#include "ui/ui_strings.h"
#include "sim/device_simulator.h"
#include "ui/commands.h"
#include "ui/globals.h"
#include "ui/kav_doc.h"
#include "ui/kav_view.h"
#include "ui/main_frame.h"
#include "ui/port_holder.h"
#include "ui/station_frame.h"

namespace {
wxString Text(unsigned id) { return wxString::FromUTF8(LoadUiStringText(id)); }

constexpr int kDeviceTimeoutMs = 15000;

class DeviceTest : public GuiTest {
protected:
    void SetUp() override {
        GuiTest::SetUp();
        std::string error;
        ASSERT_TRUE(m_sim.CreatePty(error)) << error;
    }
    void TearDown() override {
        GuiTest::TearDown();
        m_sim.Stop();
    }

    // Starts the simulator with an identity, the application, and connects.
    void ConnectTo(const SimIdentity& identity) {
        m_sim.SetIdentity(identity);
        ASSERT_TRUE(m_sim.Start());
        ASSERT_TRUE(Start());
        Frame().SetPortText(wxString::FromUTF8(m_sim.PortPath()));
        Command(CMD_DEVICE_CONNECT);
        ASSERT_TRUE(g_link.m_running);
        ASSERT_TRUE(PumpUntil([&] { return Lines()[1] == "Name : " + identity.name && Lines()[5] != "HW current version : 0.00"; },
                              kDeviceTimeoutMs))
            << Lines()[1];
    }

    // Ticks or clears the box as the operator's click does.
    void ClickSecondCpuBox(bool tick) {
        wxCheckBox* box = Frame().GetSecondCpuBox();
        box->SetValue(tick);
        wxCommandEvent event(wxEVT_CHECKBOX, IDC_SECOND_CPU);
        event.SetInt(tick ? 1 : 0);
        event.SetEventObject(box);
        box->ProcessWindowEvent(event);
        PumpEvents();
    }

    static std::vector<uint8_t> BuiltInData() {
        const unsigned char* data = nullptr;
        size_t size = 0;
        EXPECT_TRUE(FindEmbeddedResource("FWFILE", "FW", data, size));
        return std::vector<uint8_t>(data + IMAGE_HEADER_SIZE, data + size);
    }

    DeviceSimulator m_sim;
};

SimIdentity Identity() {
    SimIdentity identity;
    identity.chip[0] = 0x0A;
    identity.chip[1] = 0xB1;
    identity.chip[2] = 0x00;
    identity.chip[3] = 0xFF;
    identity.name = "Bench unit";
    identity.sw = Version{3, 5};
    identity.hwLowest = Version{1, 0};
    identity.hwHighest = Version{4, 0};
    identity.hwCurrent = Version{2, 50};
    identity.productNumber = 123456789;
    return identity;
}
}  // namespace

TEST_F(DeviceTest, ConnectFillsTheDeviceBlock) {
    ConnectTo(Identity());
    const std::vector<std::string> lines = Lines();
    EXPECT_EQ(lines[0], "Chip ID : 0A B1 00 FF");
    EXPECT_EQ(lines[1], "Name : Bench unit");
    EXPECT_EQ(lines[2], "SW current version : 3.05");
    EXPECT_EQ(lines[3], "HW version lowest : 1.00");
    EXPECT_EQ(lines[4], "HW version highest : 4.00");
    EXPECT_EQ(lines[5], "HW current version : 2.50");
    EXPECT_EQ(lines[6], "Product number : 123456789");
    // The image block is untouched.
    EXPECT_EQ(lines[8], "Name : KAVRO demo firmware");
    // The view repainted for the new data.
    const unsigned long paints = View()->PaintCount();
    View()->OnLinkNotify(LN_INFO_CHANGED);
    EXPECT_TRUE(PumpUntil([&] { return View()->PaintCount() > paints; }, 3000));

    EXPECT_FALSE(IsEnabled(CMD_DEVICE_CONNECT));
    EXPECT_TRUE(IsEnabled(CMD_DEVICE_DOWNLOAD));
    EXPECT_TRUE(IsEnabled(CMD_DEVICE_RESET));
    EXPECT_TRUE(IsEnabled(CMD_DEVICE_DISCONNECT));
    EXPECT_TRUE(IsToolEnabled(CMD_DEVICE_DISCONNECT));
    EXPECT_FALSE(IsToolEnabled(CMD_DEVICE_CONNECT));

    // Connect while connected does nothing; the port box is read only by Connect.
    Frame().SetPortText("/dev/elsewhere");
    Command(CMD_DEVICE_CONNECT);
    EXPECT_TRUE(g_link.m_running);
    EXPECT_EQ(std::string(g_link.m_portName.Text()), m_sim.PortPath());

    // After Disconnect the device block keeps its last values.
    Command(CMD_DEVICE_DISCONNECT);
    EXPECT_FALSE(g_link.m_running);
    PumpFor(200);
    EXPECT_EQ(Lines()[1], "Name : Bench unit");
    EXPECT_TRUE(IsEnabled(CMD_DEVICE_CONNECT));
    EXPECT_FALSE(IsEnabled(CMD_DEVICE_DOWNLOAD));
    EXPECT_TRUE(m_boxes.empty());
}

// A port name longer than the link keeps (a /dev/serial/by-path/... link) is
// connected through the device it leads to, never opened cut short; the window
// shows it whole and remembers it whole for the next start.
TEST_F(DeviceTest, LongPortNameConnectsThroughTheDeviceItLeadsToAndIsRememberedWhole) {
    const std::string folder = TestDirectory() + "/serial/by-path";
    const std::string link = folder + "/pci-0000:00:14.0-usb-0:2.4.1:1.0-port0";
    ASSERT_GE(link.size(), 58u);
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    std::filesystem::remove(link, error);
    std::filesystem::create_symlink(m_sim.PortPath(), link, error);
    ASSERT_FALSE(error) << error.message();
    m_sim.SetIdentity(Identity());
    ASSERT_TRUE(m_sim.Start());
    ASSERT_TRUE(Start());
    Frame().SetPortText(wxString::FromUTF8(link));
    Command(CMD_DEVICE_CONNECT);
    ASSERT_TRUE(g_link.m_running);
    EXPECT_EQ(std::string(g_link.m_portName.Text()), m_sim.PortPath());
    // Named whole until the device answers.
    EXPECT_TRUE(Frame().GetLinkPaneText().Contains(wxString::FromUTF8(link))) << Frame().GetLinkPaneText();
    EXPECT_TRUE(PumpUntil([&] { return Lines()[1] == "Name : " + Identity().name; }, kDeviceTimeoutMs)) << Lines()[1];
    EXPECT_EQ(Frame().GetPortBox()->GetValue(), wxString::FromUTF8(link));
    EXPECT_EQ(Frame().GetPortBox()->GetToolTipText(), wxString::FromUTF8(link)) << "whole where the box is narrow";
    Command(CMD_DEVICE_DISCONNECT);
    Stop();

    g_link.m_portName.Clear();  // as in a new process
    ASSERT_TRUE(Start());
    EXPECT_EQ(Frame().GetPortBox()->GetValue(), wxString::FromUTF8(link));
    Command(CMD_DEVICE_CONNECT);
    EXPECT_TRUE(g_link.m_running);
    Command(CMD_DEVICE_DISCONNECT);

    // Unplugged: the long name leads nowhere and fails whole, never cut short.
    std::filesystem::remove(link, error);
    Command(CMD_DEVICE_CONNECT);
    EXPECT_FALSE(g_link.m_running);
    ASSERT_FALSE(m_boxes.empty());
    EXPECT_TRUE(m_boxes.back().text.Contains(wxString::FromUTF8(link) + ": No such file or directory"))
        << m_boxes.back().text;
    g_link.SetPortName("");
}

// A port a station bay holds: the message says which bay, not only "busy".
TEST_F(DeviceTest, BusyPortNamesTheStationBayThatHoldsIt) {
    m_sim.SetIdentity(Identity());
    ASSERT_TRUE(m_sim.Start());
    ASSERT_TRUE(Start());
    StationFrameOptions options;
    options.settingsGiven = true;
    options.settings.bays.push_back({m_sim.PortPath(), false});
    options.settings.records = TestDirectory() + "/busy-port.sqlite";
    options.settings.builtInImage = true;
    auto* station = new CStationFrame(options);
    station->Show();
    ASSERT_TRUE(station->StartAll());
    // The bay has the port once the unit hears from it.
    ASSERT_TRUE(PumpUntil([&] { return m_sim.CountRequests(CMD_READ_IDENT) > 0; }, kDeviceTimeoutMs));
    Frame().SetPortText(wxString::FromUTF8(m_sim.PortPath()));
    Command(CMD_DEVICE_CONNECT);
    EXPECT_FALSE(g_link.m_running);
    ASSERT_TRUE(PumpUntil([&] { return !m_boxes.empty(); }, 3000));
    EXPECT_TRUE(m_boxes.back().text.Contains("Bay 1 of the station window holds it")) << m_boxes.back().text;
    EXPECT_TRUE(Frame().GetLinkPaneText().Contains("Bay 1 of the station window holds it")) << Frame().GetLinkPaneText();
    station->Close(true);
    ASSERT_TRUE(PumpUntil([] { return CStationFrame::Get() == nullptr; }, 10000));
}

// A port another process's station holds: the message names the process and
// the bay its --bay gives the port.
TEST_F(DeviceTest, BusyPortNamesTheProcessAndBayThatHoldIt) {
    m_sim.SetIdentity(Identity());
    ASSERT_TRUE(m_sim.Start());
    const std::string port = m_sim.PortPath();
    const pid_t holder = ::fork();
    ASSERT_GE(holder, 0);
    if (holder == 0) {
        const char* hold = "import fcntl, os, sys, time\n"
                           "fd = os.open(sys.argv[4], os.O_RDWR | os.O_NOCTTY)\n"
                           "fcntl.flock(fd, fcntl.LOCK_EX)\n"
                           "time.sleep(60)\n";
        ::execl("/usr/bin/python3", "python3", "-c", hold, "--bay", "/dev/null", "--bay", port.c_str(),
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    PortHolder found;
    ASSERT_TRUE(PumpUntil([&] { return FindPortHolder(port, found); }, 10000));
    EXPECT_EQ(found.process, holder);
    ASSERT_TRUE(Start());
    Frame().SetPortText(wxString::FromUTF8(port));
    Command(CMD_DEVICE_CONNECT);
    EXPECT_FALSE(g_link.m_running);
    const wxString expected = wxString::Format("bay 2 of python3 (process %d) holds it", static_cast<int>(holder));
    ASSERT_TRUE(PumpUntil([&] { return !m_boxes.empty(); }, 3000));
    EXPECT_TRUE(m_boxes.back().text.Contains(expected)) << m_boxes.back().text;
    EXPECT_TRUE(Frame().GetLinkPaneText().Contains(expected)) << Frame().GetLinkPaneText();
    ::kill(holder, SIGTERM);
    ::waitpid(holder, nullptr, 0);
}

TEST_F(DeviceTest, DownloadShowsProgressThenReportsSuccessThenResetDisablesUntilReconnect) {
    // Paced like a fast line (about 2 s for the image), so the gauge is seen
    // between its ends however busy the machine is.
    SimFaults paced;
    paced.lineRate = 115200;
    m_sim.SetFaults(paced);
    ConnectTo(Identity());
    EXPECT_FALSE(Frame().IsDownloadProgressShown());
    Command(CMD_DEVICE_DOWNLOAD);
    ASSERT_TRUE(g_link.m_downloadRequested);
    // A second F9 while the download is pending does nothing.
    EXPECT_FALSE(IsEnabled(CMD_DEVICE_DOWNLOAD));
    EXPECT_FALSE(IsEnabled(CMD_DEVICE_RESET));
    Command(CMD_DEVICE_DOWNLOAD);
    Command(CMD_DEVICE_RESET);

    // The controls appear while the download runs, and the gauge moves.
    ASSERT_TRUE(PumpUntil([&] { return Frame().IsDownloadProgressShown(); }, 2000));
    const std::vector<uint8_t> data = BuiltInData();
    EXPECT_TRUE(PumpUntil(
        [&] {
            const int value = Frame().GetProgressBar()->GetValue();
            return value > 0 && value < static_cast<int>(data.size());
        },
        kDeviceTimeoutMs));
    EXPECT_TRUE(Frame().IsDownloadProgressShown());

    ASSERT_TRUE(WaitForBox(Text(IDS_DOWNLOAD_DONE), 60000));
    // The window said so before the box did: a full bar and the finished text.
    EXPECT_EQ(m_boxes[0].progress, static_cast<int>(data.size()));
    EXPECT_EQ(m_boxes[0].linkPane, "Download finished and confirmed by the device");
    ASSERT_TRUE(PumpUntil([&] { return !g_link.m_downloadRequested && !Frame().IsDownloadProgressShown(); }, 10000));
    ASSERT_EQ(m_boxes.size(), 1u);
    EXPECT_EQ(m_boxes[0].caption, "Firmware Downloader");
    EXPECT_EQ(m_boxes[0].style & (wxICON_ERROR | wxICON_WARNING | wxICON_QUESTION | wxICON_INFORMATION), 0);
    EXPECT_TRUE(m_boxes[0].style & wxICON_NONE);
    EXPECT_EQ(Frame().GetProgressBar()->GetRange(), static_cast<int>(data.size() & 0xFFFF));
    EXPECT_EQ(Frame().GetProgressBar()->GetValue(), static_cast<int>(data.size()));
    EXPECT_EQ(m_sim.Image(), data);
    EXPECT_EQ(m_sim.CountRequests(CMD_BEGIN_DOWNLOAD), 1u);

    // Reset: the device runs the firmware, and Download and Reset stay off.
    EXPECT_TRUE(IsToolEnabled(CMD_DEVICE_RESET));
    Command(CMD_DEVICE_RESET);
    ASSERT_TRUE(WaitForBox(Text(IDS_DEVICE_RESET), kDeviceTimeoutMs));
    EXPECT_EQ(m_boxes.back().caption, "Firmware Downloader");
    EXPECT_EQ(m_sim.CountRequests(CMD_RUN), 1u);
    EXPECT_FALSE(IsEnabled(CMD_DEVICE_DOWNLOAD));
    EXPECT_FALSE(IsEnabled(CMD_DEVICE_RESET));
    EXPECT_FALSE(IsToolEnabled(CMD_DEVICE_DOWNLOAD));
    EXPECT_FALSE(IsToolEnabled(CMD_DEVICE_RESET));
    EXPECT_TRUE(IsEnabled(CMD_DEVICE_DISCONNECT));
    Command(CMD_DEVICE_DOWNLOAD);
    Command(CMD_DEVICE_RESET);
    PumpFor(300);
    EXPECT_EQ(m_sim.CountRequests(CMD_BEGIN_DOWNLOAD), 1u);
    EXPECT_EQ(m_sim.CountRequests(CMD_RUN), 1u);

    Command(CMD_DEVICE_DISCONNECT);
    EXPECT_FALSE(IsEnabled(CMD_DEVICE_DOWNLOAD));
    EXPECT_FALSE(IsEnabled(CMD_DEVICE_RESET));
    Command(CMD_DEVICE_CONNECT);
    ASSERT_TRUE(g_link.m_running);
    EXPECT_TRUE(IsEnabled(CMD_DEVICE_DOWNLOAD));
    EXPECT_TRUE(IsEnabled(CMD_DEVICE_RESET));
    EXPECT_TRUE(IsToolEnabled(CMD_DEVICE_RESET));
}

TEST_F(DeviceTest, IncompatibleDeviceIsRefusedThenAskedInForceModeAndNoSendsNothing) {
    SimIdentity identity = Identity();
    identity.hwCurrent = Version{7, 0};  // the built-in image fits 1.00 to 3.00
    ConnectTo(identity);
    Command(CMD_DEVICE_DOWNLOAD);
    ASSERT_EQ(m_boxes.size(), 1u);
    EXPECT_EQ(m_boxes[0].text, "HW version of a connected unit is incorrect for this FW.");
    EXPECT_EQ(m_boxes[0].caption, "KAVRO");
    EXPECT_EQ(m_boxes[0].style & (wxOK | wxYES_NO | wxICON_ERROR), wxOK | wxICON_ERROR);
    EXPECT_FALSE(g_link.m_downloadRequested);
    EXPECT_FALSE(App().IsForceMode());

    // Ctrl+Shift+F12: the same check now asks.
    Command(CMD_FORCE_MODE);
    EXPECT_TRUE(App().IsForceMode());
    m_answer = wxNO;
    Command(CMD_DEVICE_DOWNLOAD);
    ASSERT_EQ(m_boxes.size(), 2u);
    EXPECT_EQ(m_boxes[1].text,
              "HW version of a connected unit is incorrect for this FW. Do you  make download anyway ?");
    EXPECT_EQ(m_boxes[1].caption, "KAVRO");
    EXPECT_EQ(m_boxes[1].style & (wxOK | wxYES_NO | wxICON_QUESTION), wxYES_NO | wxICON_QUESTION);
    EXPECT_FALSE(g_link.m_downloadRequested);
    PumpFor(2500);  // more than a poll cycle: nothing goes out
    EXPECT_EQ(m_sim.CountRequests(CMD_BEGIN_DOWNLOAD), 0u);
    EXPECT_FALSE(Frame().IsDownloadProgressShown());

    // Pressing the key again changes nothing; Yes requests the download.
    Command(CMD_FORCE_MODE);
    EXPECT_TRUE(App().IsForceMode());
    m_answer = wxYES;
    Command(CMD_DEVICE_DOWNLOAD);
    ASSERT_EQ(m_boxes.size(), 3u);
    EXPECT_TRUE(m_sim.WaitForRequests(CMD_BEGIN_DOWNLOAD, 1, kDeviceTimeoutMs));
    Command(CMD_DEVICE_DISCONNECT);
}

TEST_F(DeviceTest, KeysDriveTheCommands) {
    SimIdentity identity = Identity();
    identity.hwCurrent = Version{7, 0};  // outside the built-in image's range
    m_sim.SetIdentity(identity);
    ASSERT_TRUE(m_sim.Start());
    ASSERT_TRUE(Start());
    Frame().SetPortText(wxString::FromUTF8(m_sim.PortPath()));
    Frame().Raise();
    Frame().GetCanvas()->SetFocus();
    PumpFor(400);
    wxUIActionSimulator input;
    auto press = [&](int key, int modifiers) {
        input.Char(key, modifiers);
        PumpFor(300);
    };

    // F9 before Connect does nothing.
    press(WXK_F9, wxMOD_NONE);
    EXPECT_TRUE(m_boxes.empty());
    press(WXK_F8, wxMOD_NONE);
    ASSERT_TRUE(PumpUntil([&] { return g_link.m_running != 0; }, 3000));
    ASSERT_TRUE(PumpUntil([&] { return Lines()[5] == "HW current version : 7.00"; }, kDeviceTimeoutMs));
    press(WXK_F9, wxMOD_NONE);
    ASSERT_TRUE(PumpUntil([&] { return m_boxes.size() == 1; }, 3000));
    EXPECT_EQ(m_boxes[0].text, Text(IDS_HW_INCORRECT));
    press(WXK_F12, wxMOD_CONTROL | wxMOD_SHIFT);
    ASSERT_TRUE(PumpUntil([&] { return App().IsForceMode(); }, 3000));
    m_answer = wxNO;
    press(WXK_F9, wxMOD_NONE);
    ASSERT_TRUE(PumpUntil([&] { return m_boxes.size() == 2; }, 3000));
    EXPECT_EQ(m_boxes[1].text, Text(IDS_HW_INCORRECT_ASK));
    EXPECT_FALSE(g_link.m_downloadRequested);

    // Ctrl+N reloads the built-in image, which stops the link.
    press('N', wxMOD_CONTROL);
    ASSERT_TRUE(PumpUntil([&] { return g_link.m_running == 0; }, 3000));
    EXPECT_EQ(Lines()[8], "Name : KAVRO demo firmware");
    EXPECT_EQ(m_sim.CountRequests(CMD_BEGIN_DOWNLOAD), 0u);
}

TEST_F(DeviceTest, DeviceThatRefusesTheDownloadIsReported) {
    ConnectTo(Identity());
    SimFaults faults;
    faults.refuseCommand = CMD_BEGIN_DOWNLOAD;
    faults.refuseFirst = 100;
    m_sim.SetFaults(faults);
    Command(CMD_DEVICE_DOWNLOAD);
    ASSERT_TRUE(WaitForBox(Text(IDS_NO_RESPONSE), kDeviceTimeoutMs));
    EXPECT_EQ(m_boxes.back().text, "Equipment do not respond properly");
    EXPECT_EQ(m_boxes.back().caption, "Firmware Downloader");
    EXPECT_TRUE(m_boxes.back().style & wxICON_NONE);
    ASSERT_TRUE(PumpUntil([&] { return !g_link.m_downloadRequested && !Frame().IsDownloadProgressShown(); }, 5000));
    EXPECT_FALSE(HasBox(Text(IDS_DOWNLOAD_DONE)));
    // The link goes on; Download is offered again.
    EXPECT_TRUE(g_link.m_running);
    EXPECT_TRUE(IsEnabled(CMD_DEVICE_DOWNLOAD));
}

TEST_F(DeviceTest, BadImageRefusesTheDownloadWithAReason) {
    std::vector<uint8_t> image;
    std::string error;
    PackRequest request;
    request.name = "Damaged";
    request.sw = Version{1, 0};
    request.hwLowest = Version{1, 0};
    request.hwHighest = Version{9, 0};
    ASSERT_TRUE(PackImage(request, std::vector<uint8_t>(1000, 0x5A), image, error)) << error;
    image[IMAGE_HEADER_SIZE + 3] ^= 1;
    const std::string path = WriteFile("damaged.fw", image);
    ConnectTo(Identity());
    // Opening stops the link; the operator connects again.
    ASSERT_NE(App().GetDocManager()->CreateDocument(wxString::FromUTF8(path), wxDOC_SILENT), nullptr);
    EXPECT_FALSE(g_link.m_running);
    Command(CMD_DEVICE_CONNECT);
    ASSERT_TRUE(g_link.m_running);
    ASSERT_TRUE(PumpUntil([&] { return Lines()[1] == "Name : Bench unit"; }, kDeviceTimeoutMs));
    Command(CMD_DEVICE_DOWNLOAD);
    ASSERT_EQ(m_boxes.size(), 1u) << m_boxes[0].text << " / " << m_boxes.back().text;
    EXPECT_EQ(m_boxes[0].caption, "KAVRO");
    EXPECT_TRUE(m_boxes[0].text.Contains("no image data"));
    EXPECT_TRUE(m_boxes[0].style & wxICON_ERROR);
    EXPECT_FALSE(g_link.m_downloadRequested);
    PumpFor(300);
    EXPECT_EQ(m_sim.CountRequests(CMD_BEGIN_DOWNLOAD), 0u);
    // The window still works: File > Default and a download of the built-in image.
    Command(CMD_FILE_NEW);
    EXPECT_EQ(Lines()[8], "Name : KAVRO demo firmware");
}

// The "Second CPU" box is offered only while no link runs; ticked, the next
// connection reads and flashes the second CPU of a two-CPU unit; the choice
// survives a restart, and cleared, the first CPU is addressed again.
TEST_F(DeviceTest, SecondCpuBoxChoosesTheCpuForAWholeConnection) {
    SimIdentity second = Identity();
    second.name = "Second processor";
    m_sim.SetCpuCount(2);
    m_sim.SetIdentity(Identity());
    m_sim.SetIdentity(second, 1);
    ASSERT_TRUE(m_sim.Start());
    ASSERT_TRUE(Start());
    wxCheckBox* box = Frame().GetSecondCpuBox();
    EXPECT_TRUE(box->IsEnabled());
    EXPECT_FALSE(box->GetValue());
    ClickSecondCpuBox(true);
    Frame().SetPortText(wxString::FromUTF8(m_sim.PortPath()));
    Command(CMD_DEVICE_CONNECT);
    ASSERT_TRUE(g_link.m_running);
    EXPECT_EQ(g_link.m_secondCpu.load(), 1);
    ASSERT_TRUE(PumpUntil([&] { return !Frame().GetSecondCpuBox()->IsEnabled(); }, 3000));
    ASSERT_TRUE(PumpUntil([&] { return Lines()[1] == "Name : Second processor"; }, kDeviceTimeoutMs)) << Lines()[1];
    EXPECT_TRUE(PumpUntil([&] { return Frame().GetLinkPaneText().EndsWith(" (Second CPU)"); }, 3000))
        << Frame().GetLinkPaneText();

    Command(CMD_DEVICE_DOWNLOAD);
    ASSERT_TRUE(WaitForBox(Text(IDS_DOWNLOAD_DONE), 60000));
    EXPECT_EQ(m_sim.Image(1), BuiltInData());
    EXPECT_TRUE(m_sim.Image(0).empty()) << "the first CPU is untouched";
    EXPECT_EQ(m_sim.CountRequests(CMD_WRITE_BLOCK), 0u);
    EXPECT_FALSE(Frame().GetSecondCpuBox()->IsEnabled());

    Command(CMD_DEVICE_DISCONNECT);
    ASSERT_TRUE(PumpUntil([&] { return Frame().GetSecondCpuBox()->IsEnabled(); }, 3000));
    Stop();
    ASSERT_TRUE(Start());
    EXPECT_TRUE(Frame().GetSecondCpuBox()->GetValue()) << "remembered with the recent files";

    ClickSecondCpuBox(false);
    Frame().SetPortText(wxString::FromUTF8(m_sim.PortPath()));
    Command(CMD_DEVICE_CONNECT);
    ASSERT_TRUE(g_link.m_running);
    EXPECT_EQ(g_link.m_secondCpu.load(), 0);
    ASSERT_TRUE(PumpUntil([&] { return Lines()[1] == "Name : Bench unit"; }, kDeviceTimeoutMs)) << Lines()[1];
    EXPECT_FALSE(Frame().GetLinkPaneText().Contains("CPU")) << Frame().GetLinkPaneText();
}

TEST_F(DeviceTest, PortThatCannotBeOpenedIsReportedWithItsName) {
    ASSERT_TRUE(Start());
    Frame().SetPortText("/dev/kavro-no-such-port");
    Command(CMD_DEVICE_CONNECT);
    EXPECT_FALSE(g_link.m_running);
    ASSERT_TRUE(PumpUntil([&] { return !m_boxes.empty(); }, 3000));
    EXPECT_EQ(m_boxes[0].caption, "Firmware Downloader");
    EXPECT_TRUE(m_boxes[0].text.StartsWith("COM port can not be open\n\n/dev/kavro-no-such-port: "))
        << m_boxes[0].text;
    EXPECT_EQ(Frame().GetLinkPaneText(), "Port /dev/kavro-no-such-port failed: " +
                                             m_boxes[0].text.AfterLast(':').Trim(false));
    EXPECT_TRUE(IsEnabled(CMD_DEVICE_CONNECT));

    // An empty port box still tries, and is reported the same way.
    Frame().SetPortText("");
    Command(CMD_DEVICE_CONNECT);
    ASSERT_TRUE(PumpUntil([&] { return m_boxes.size() == 2; }, 3000));
    EXPECT_TRUE(m_boxes[1].text.StartsWith("COM port can not be open"));
}

// The link pane says what the link does, step by step, and the progress is
// readable beside the bar.
TEST_F(DeviceTest, LinkPaneFollowsConnectAnswerDownloadAndDisconnect) {
    SimFaults paced;
    paced.lineRate = 115200;  // about 2 s for the image: the percentages are seen
    m_sim.SetFaults(paced);
    m_sim.SetIdentity(Identity());
    ASSERT_TRUE(m_sim.Start());
    ASSERT_TRUE(Start());
    const wxString port = wxString::FromUTF8(m_sim.PortPath());
    Frame().SetPortText(port);
    EXPECT_EQ(Frame().GetLinkPaneText(), "Not connected");
    Command(CMD_DEVICE_CONNECT);
    // The wake-up takes over a second, so it is what the pane says first.
    EXPECT_EQ(Frame().GetLinkPaneText(), "Waking the device on " + port + "...");
    ASSERT_TRUE(PumpUntil(
        [&] { return Frame().GetLinkPaneText() == "Connected: Bench unit, product number 123456789"; },
        kDeviceTimeoutMs))
        << Frame().GetLinkPaneText();
    // The pane's tool tip adds the adapter's latency; a pseudo-terminal has none.
    EXPECT_EQ(Frame().GetLinkPaneTooltip(),
              "Connected: Bench unit, product number 123456789\nAdapter latency: not reported by this port");

    Command(CMD_DEVICE_DOWNLOAD);
    const wxRegEx progress("^[0-9]+ %  [0-9]+:[0-9][0-9] left$");
    wxString seen;
    ASSERT_TRUE(PumpUntil(
        [&] {
            seen = Frame().GetLinkPaneText();
            return seen.StartsWith("Downloading: ") && seen.Contains(" left") &&
                   progress.Matches(Frame().GetProgressText()->GetLabel());
        },
        kDeviceTimeoutMs))
        << seen << " / " << Frame().GetProgressText()->GetLabel();
    EXPECT_TRUE(Frame().GetProgressText()->IsShown());
    ASSERT_TRUE(WaitForBox(Text(IDS_DOWNLOAD_DONE), 60000));
    ASSERT_TRUE(PumpUntil(
        [&] { return Frame().GetLinkPaneText() == "Download finished and confirmed by the device"; }, 10000))
        << Frame().GetLinkPaneText();
    EXPECT_EQ(Frame().GetProgressText()->GetLabel().BeforeFirst(' '), "100");

    Command(CMD_DEVICE_DISCONNECT);
    EXPECT_EQ(Frame().GetLinkPaneText(), "Disconnected");
    EXPECT_EQ(Frame().GetLinkPaneTooltip(), "");
}

// Nothing answers: the pane says so within seconds, with what to check, and
// F9 says that no device has answered instead of the hardware-version message.
TEST_F(DeviceTest, SilentDeviceIsNamedInThePaneAndRefusesTheDownload) {
    SimFaults faults;
    faults.silent = true;
    m_sim.SetFaults(faults);
    ASSERT_TRUE(m_sim.Start());
    ASSERT_TRUE(Start());
    const wxString port = wxString::FromUTF8(m_sim.PortPath());
    Frame().SetPortText(port);
    Command(CMD_DEVICE_CONNECT);
    ASSERT_TRUE(g_link.m_running);
    ASSERT_TRUE(PumpUntil([&] { return Frame().GetLinkPaneText().StartsWith("No answer yet on " + port + " after "); },
                          8000))
        << Frame().GetLinkPaneText();
    EXPECT_TRUE(Frame().GetLinkPaneText().Contains("power")) << Frame().GetLinkPaneText();

    // A window too narrow for the advice: it shows whole below the bar,
    // wrapped within the window's width, and follows the seconds.
    Frame().SetClientSize(Frame().GetMinClientSize());
    wxStaticText* advice = Frame().GetLinkAdvice();
    ASSERT_TRUE(PumpUntil([&] { return advice->IsShown(); }, 3000));
    EXPECT_LE(advice->GetSize().GetWidth(), Frame().GetClientSize().GetWidth());
    wxString unwrapped = advice->GetLabel();
    unwrapped.Replace("\n", " ");
    const wxString first = unwrapped;
    EXPECT_EQ(first, Frame().GetLinkPaneText());
    EXPECT_TRUE(first.EndsWith("the cable and the port")) << first;
    ASSERT_TRUE(PumpUntil([&] { wxString now = advice->GetLabel(); now.Replace("\n", " "); return now != first; }, 3000))
        << "the seconds move on";

    Command(CMD_DEVICE_DOWNLOAD);
    ASSERT_EQ(m_boxes.size(), 1u);
    EXPECT_TRUE(m_boxes[0].text.StartsWith("No device has answered on " + port + " yet")) << m_boxes[0].text;
    EXPECT_NE(m_boxes[0].text, Text(IDS_HW_INCORRECT));
    EXPECT_FALSE(g_link.m_downloadRequested);
    EXPECT_EQ(m_sim.CountRequests(CMD_BEGIN_DOWNLOAD), 0u);
}

TEST_F(DeviceTest, ClosingTheWindowStopsTheLink) {
    ConnectTo(Identity());
    Stop();
    EXPECT_FALSE(g_link.m_running);
    EXPECT_EQ(g_link.m_notifyWindow.load(), nullptr);
    EXPECT_EQ(g_link.m_progressWindow.load(), nullptr);
}

// Changing the image during a download ends it (the loaders stop the link)
// and is told exactly as Disconnect is: the same box, the same state.
TEST_F(DeviceTest, NewDuringADownloadIsToldAsDisconnectIs) {
    SimFaults paced;
    paced.lineRate = 19200;  // about 15 s for the whole image
    m_sim.SetFaults(paced);
    ConnectTo(Identity());
    struct State {
        bool running, requested, connect, download, progressShown;
        bool operator==(const State&) const = default;
    };
    auto state = [&] {
        return State{g_link.m_running != 0, g_link.m_downloadRequested != 0, IsEnabled(CMD_DEVICE_CONNECT),
                     IsEnabled(CMD_DEVICE_DOWNLOAD), Frame().IsDownloadProgressShown()};
    };
    auto downloadThen = [&](int command) {
        const size_t blocks = m_sim.CountRequests(CMD_WRITE_BLOCK);
        Command(CMD_DEVICE_DOWNLOAD);
        ASSERT_TRUE(PumpUntil([&] { return m_sim.CountRequests(CMD_WRITE_BLOCK) >= blocks + 3; }, kDeviceTimeoutMs));
        Command(command);
        ASSERT_TRUE(WaitForBox(Text(IDS_NO_RESPONSE), 5000));
        ASSERT_TRUE(PumpUntil([&] { return !Frame().IsDownloadProgressShown(); }, 3000));
        PumpFor(200);
    };

    downloadThen(CMD_DEVICE_DISCONNECT);
    const State afterDisconnect = state();
    ASSERT_EQ(m_boxes.size(), 1u);
    EXPECT_EQ(m_boxes[0].caption, "Firmware Downloader");

    const size_t identities = m_sim.CountRequests(CMD_READ_IDENT);
    Command(CMD_DEVICE_CONNECT);
    ASSERT_TRUE(PumpUntil([&] { return m_sim.CountRequests(CMD_READ_IDENT) > identities && IsEnabled(CMD_DEVICE_DOWNLOAD); },
                          kDeviceTimeoutMs));
    downloadThen(CMD_FILE_NEW);
    ASSERT_EQ(m_boxes.size(), 2u) << "one box, as for Disconnect";
    EXPECT_EQ(m_boxes[1].text, m_boxes[0].text);
    EXPECT_EQ(m_boxes[1].caption, m_boxes[0].caption);
    EXPECT_EQ(state(), afterDisconnect);
    EXPECT_FALSE(afterDisconnect.running);
    EXPECT_TRUE(afterDisconnect.connect);
    EXPECT_EQ(Lines()[8], "Name : KAVRO demo firmware") << "the new image is loaded";
    EXPECT_EQ(m_sim.CountRequests(CMD_END_DOWNLOAD), 0u);
}
