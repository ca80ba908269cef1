// The application without a device: start-up, the window's elements, the
// document's loads, the recent-file list and the commands that must not act.
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include <wx/checkbox.h>
#include <wx/combobox.h>
#include <wx/dialog.h>
#include <wx/filehistory.h>
#include <wx/gauge.h>
#include <wx/menu.h>
#include <wx/modalhook.h>
#include <wx/stattext.h>
#include <wx/statusbr.h>
#include <wx/toolbar.h>
#include <wx/dcmemory.h>
#include <wx/dnd.h>
#include <wx/sizer.h>
#include <wx/stockitem.h>
#include <wx/uiaction.h>

#include "gui_fixture.h"
#include "x_display.h"
#include "image/firmware_format.h"
#include "ui/ui_resource_ids.h"
#include "ui/ui_strings.h"
#include "ui/about_dlg.h"
#include "ui/commands.h"
#include "ui/globals.h"
#include "ui/kav_doc.h"
#include "ui/kav_view.h"
#include "ui/lock_keys.h"
#include "ui/main_frame.h"

namespace {
std::vector<uint8_t> MakeImage(const std::string& name, Version lowest, Version highest, size_t size) {
    PackRequest request;
    request.name = name;
    request.sw = Version{1, 7};
    request.hwLowest = lowest;
    request.hwHighest = highest;
    std::vector<uint8_t> data(size);
    for (size_t i = 0; i < size; ++i) data[i] = static_cast<uint8_t>(i * 7 + 3);
    std::vector<uint8_t> image;
    std::string error;
    if (!PackImage(request, data, image, error)) ADD_FAILURE() << error;
    return image;
}

std::string ReadText(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Collects the warnings and errors logged while it lives (the framework's own
// message boxes come from there).
class LoggedErrors : public wxLog {
public:
    LoggedErrors() : m_previous(wxLog::SetActiveTarget(this)) {}
    ~LoggedErrors() override { wxLog::SetActiveTarget(m_previous); }
    const std::string& Text() const { return m_text; }

protected:
    void DoLogTextAtLevel(wxLogLevel level, const wxString& message) override {
        if (level <= wxLOG_Warning) m_text += message.utf8_string() + "\n";
    }

private:
    wxLog* m_previous;
    std::string m_text;
};

// A settings file's 32 bytes: the name, then zeros.
std::vector<uint8_t> SettingsBytes(const std::string& name) {
    std::vector<uint8_t> bytes(32, 0);
    std::copy(name.begin(), name.end(), bytes.begin());
    return bytes;
}

std::vector<char> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<char>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Counts the pixels of one exact colour in a rectangle of a bitmap.
int CountColour(const wxImage& image, const wxRect& rect, const wxColour& colour) {
    int count = 0;
    for (int y = rect.GetTop(); y <= rect.GetBottom() && y < image.GetHeight(); ++y)
        for (int x = rect.GetLeft(); x <= rect.GetRight() && x < image.GetWidth(); ++x)
            if (image.GetRed(x, y) == colour.Red() && image.GetGreen(x, y) == colour.Green() &&
                image.GetBlue(x, y) == colour.Blue())
                ++count;
    return count;
}
}  // namespace

TEST_F(GuiTest, StartUpShowsTheBuiltInImageAndAnEmptyPortBox) {
    ASSERT_TRUE(Start());
    const std::vector<std::string> lines = Lines();
    ASSERT_EQ(lines.size(), 12u);
    EXPECT_EQ(lines[0], "Chip ID : 00 00 00 00");
    EXPECT_EQ(lines[1], "Name : ");
    EXPECT_EQ(lines[6], "Product number : 00000000");
    EXPECT_EQ(lines[7], "File path : ");
    EXPECT_EQ(lines[8], "Name : KAVRO demo firmware");
    EXPECT_EQ(lines[9], "SW current version : 2.09");
    EXPECT_EQ(lines[10], "HW version lowest : 1.00");
    EXPECT_EQ(lines[11], "HW version highest : 3.00");
    EXPECT_TRUE(g_link.HasImageData());

    EXPECT_EQ(Frame().GetTitle(), "Untitled - Firmware Downloader");
    EXPECT_EQ(Frame().GetPortBox()->GetValue(), "");
    EXPECT_FALSE(Frame().IsDownloadProgressShown());
    EXPECT_FALSE(Frame().GetSecondCpuBox()->GetValue());
    EXPECT_TRUE(Frame().GetSecondCpuBox()->IsEnabled()) << "offered while no link runs";
    EXPECT_EQ(Frame().GetStatusBar()->GetStatusText(0), "Ready");
    // The prompt, the link pane, CAP, NUM, SCRL.
    EXPECT_EQ(Frame().GetStatusBar()->GetFieldsCount(), 5);
    EXPECT_EQ(Frame().GetLinkPaneText(), "Not connected");

    // The ports the system reports, each once: no standard name that is not there.
    wxArrayString entries = Frame().GetPortBox()->GetStrings();
    EXPECT_EQ(entries.size(), CMainFrame::ListPorts().size());
    for (size_t i = 0; i < entries.size(); ++i)
        for (size_t j = i + 1; j < entries.size(); ++j) EXPECT_NE(entries[i], entries[j]);

    EXPECT_TRUE(IsEnabled(CMD_DEVICE_CONNECT));
    EXPECT_FALSE(IsEnabled(CMD_DEVICE_DOWNLOAD));
    EXPECT_FALSE(IsEnabled(CMD_DEVICE_RESET));
    EXPECT_FALSE(IsEnabled(CMD_DEVICE_DISCONNECT));
    EXPECT_TRUE(m_boxes.empty());
}

TEST_F(GuiTest, ViewPaintsBothBlocksInTheirColoursAndSkipsLinesBelowTheClientArea) {
    ASSERT_TRUE(Start());
    CKavView* view = View();
    ASSERT_NE(view, nullptr);
    EXPECT_TRUE(view->GetFont().IsOk());
    EXPECT_EQ(view->GetFont().GetWeight(), wxFONTWEIGHT_BOLD);
    EXPECT_EQ(view->GetFont().GetPixelSize().GetHeight(), 14);

    // Paint into a bitmap as large as the view's window.
    const wxSize size = Frame().GetCanvas()->GetClientSize();
    ASSERT_GT(size.GetHeight(), 0);
    // The lines are painted on white whatever the theme's window colour: start
    // from black and see white under the text.
    EXPECT_EQ(Frame().GetCanvas()->GetBackgroundColour(), *wxWHITE);
    wxBitmap bitmap(size);
    wxMemoryDC dc(bitmap);
    dc.SetBackground(*wxBLACK_BRUSH);
    dc.Clear();
    const int lineHeight = view->LineHeight(dc);
    ASSERT_GT(lineHeight, 0);
    view->OnDraw(&dc);
    dc.SelectObject(wxNullBitmap);
    const wxImage image = bitmap.ConvertToImage();
    const int width = size.GetWidth();
    for (int line = 0; line < 12; ++line) {
        const wxRect rect(0, line * lineHeight, width, lineHeight);
        if (rect.GetBottom() >= size.GetHeight()) break;
        const bool device = line < 7;
        // Bold text draws solid pixels of the block's colour, none of the other's.
        EXPECT_GT(CountColour(image, rect, device ? CKavView::kDeviceColour : CKavView::kImageColour), 10)
            << "line " << line + 1;
        EXPECT_EQ(CountColour(image, rect, device ? CKavView::kImageColour : CKavView::kDeviceColour), 0)
            << "line " << line + 1;
        EXPECT_GT(CountColour(image, rect, *wxWHITE), rect.GetWidth() * rect.GetHeight() / 2) << "line " << line + 1;
    }

    // A client area three and a bit lines high paints lines 1 to 4 only.
    CKavCanvas* canvas = Frame().GetCanvas();
    Frame().GetSizer()->Detach(canvas);
    canvas->SetSize(wxSize(width, lineHeight * 3));
    PumpEvents();
    wxBitmap small(wxSize(width, lineHeight * 8));
    wxMemoryDC smallDc(small);
    smallDc.SetBackground(*wxWHITE_BRUSH);
    smallDc.Clear();
    view->OnDraw(&smallDc);
    smallDc.SelectObject(wxNullBitmap);
    const wxImage clipped = small.ConvertToImage();
    EXPECT_GT(CountColour(clipped, wxRect(0, lineHeight * 3, width, lineHeight), CKavView::kDeviceColour), 10);
    EXPECT_EQ(CountColour(clipped, wxRect(0, lineHeight * 4, width, lineHeight * 4), CKavView::kDeviceColour), 0);
    EXPECT_EQ(CountColour(clipped, wxRect(0, lineHeight * 4, width, lineHeight * 4), CKavView::kImageColour), 0);
}

TEST_F(GuiTest, MenusButtonsAndPromptsComeFromTheStringTable) {
    ASSERT_TRUE(Start());
    wxMenuBar* bar = Frame().GetMenuBar();
    ASSERT_NE(bar, nullptr);
    ASSERT_EQ(bar->GetMenuCount(), 4u);
    EXPECT_EQ(bar->GetMenuLabel(0), "&File");
    EXPECT_EQ(bar->GetMenuLabel(1), "&Device");
    EXPECT_EQ(bar->GetMenuLabel(2), "&View");
    EXPECT_EQ(bar->GetMenuLabel(3), "&Help");

    struct Item {
        int id;
        unsigned string;
        const char* accel;
    };
    const Item items[] = {
        {CMD_FILE_NEW, ID_FILE_NEW, "Ctrl+N"},      {CMD_FILE_OPEN, ID_FILE_OPEN, "Ctrl+O"},
        {CMD_FILE_SAVE, ID_FILE_SAVE, "Ctrl+S"},    {CMD_FILE_SAVE_AS, ID_FILE_SAVE_AS, ""},
        {CMD_APP_EXIT, ID_APP_EXIT, ""},            {CMD_DEVICE_CONNECT, ID_DEVICE_CONNECT, "F8"},
        {CMD_DEVICE_DOWNLOAD, ID_DEVICE_DOWNLOAD, "F9"}, {CMD_DEVICE_DISCONNECT, ID_DEVICE_DISCONNECT, ""},
        {CMD_VIEW_TOOLBAR, ID_VIEW_TOOLBAR, ""},    {CMD_VIEW_STATUS_BAR, ID_VIEW_STATUS_BAR, ""},
        {CMD_APP_ABOUT, ID_APP_ABOUT, ""},
    };
    for (const Item& item : items) {
        wxMenuItem* menuItem = bar->FindItem(item.id);
        ASSERT_NE(menuItem, nullptr) << item.id;
        EXPECT_EQ(menuItem->GetHelp(), wxString::FromUTF8(PromptOf(item.string)));
        wxAcceleratorEntry* accel = menuItem->GetAccel();
        if (item.accel[0] == '\0') {
            EXPECT_EQ(accel, nullptr) << item.id;
        } else {
            ASSERT_NE(accel, nullptr) << item.id;
            EXPECT_EQ(accel->ToString(), item.accel);
            delete accel;
        }
    }
    // Exit and Save As carry no stock id, so the toolkit adds no key of its
    // own (Ctrl+Q would end a running download without a question).
    EXPECT_FALSE(wxIsStockID(CMD_APP_EXIT));
    EXPECT_FALSE(wxIsStockID(CMD_FILE_SAVE_AS));
    // Reset has no menu item; force mode neither item nor button.
    EXPECT_EQ(bar->FindItem(CMD_DEVICE_RESET), nullptr);
    EXPECT_EQ(bar->FindItem(CMD_FORCE_MODE), nullptr);

    wxToolBar* tools = Frame().GetToolBar();
    const int buttons[] = {CMD_FILE_NEW,          CMD_FILE_OPEN,   CMD_FILE_SAVE,          CMD_DEVICE_CONNECT,
                           CMD_DEVICE_DOWNLOAD,   CMD_DEVICE_RESET, CMD_DEVICE_DISCONNECT, CMD_APP_ABOUT};
    std::vector<int> found;
    for (size_t i = 0; i < tools->GetToolsCount(); ++i) {
        const wxToolBarToolBase* tool = tools->GetToolByPos(static_cast<int>(i));
        if (tool->IsSeparator()) continue;
        found.push_back(tool->GetId());
        EXPECT_EQ(tool->GetShortHelp(), wxString::FromUTF8(TipOf(PromptStringId(tool->GetId()))));
        EXPECT_EQ(tool->GetLongHelp(), wxString::FromUTF8(PromptOf(PromptStringId(tool->GetId()))));
        EXPECT_TRUE(tool->GetNormalBitmap().IsOk());
    }
    EXPECT_EQ(found, std::vector<int>(std::begin(buttons), std::end(buttons)));
    EXPECT_EQ(tools->GetToolPos(CMD_DEVICE_CONNECT), 4);  // after the first separator
    EXPECT_EQ(tools->GetToolPos(CMD_APP_ABOUT), 9);
    EXPECT_EQ(tools->GetToolShortHelp(CMD_DEVICE_DOWNLOAD), "Download");
    EXPECT_EQ(tools->GetToolLongHelp(CMD_DEVICE_DOWNLOAD), "Download firmware to equpment");

    // The message pane shows a highlighted item's prompt, then "Ready" again.
    wxMenuEvent highlight(wxEVT_MENU_HIGHLIGHT, CMD_DEVICE_CONNECT);
    highlight.SetEventObject(&Frame());
    Frame().ProcessWindowEvent(highlight);
    EXPECT_EQ(Frame().GetStatusBar()->GetStatusText(0), "Connect to device and read its ID");
    wxMenuEvent close(wxEVT_MENU_CLOSE, 0, bar->GetMenu(1));
    close.SetEventObject(&Frame());
    Frame().ProcessWindowEvent(close);
    EXPECT_EQ(Frame().GetStatusBar()->GetStatusText(0), "Ready");
}

TEST_F(GuiTest, SaveCommandsStayVisibleDisabledAndNeverWrite) {
    const std::vector<uint8_t> bytes = MakeImage("Saved image", {1, 0}, {2, 0}, 300);
    const std::string path = WriteFile("keep.fw", bytes);
    StartOptions options;
    options.imagePath = path;
    ASSERT_TRUE(Start(options));
    EXPECT_NE(Frame().GetMenuBar()->FindItem(CMD_FILE_SAVE), nullptr);
    EXPECT_NE(Frame().GetMenuBar()->FindItem(CMD_FILE_SAVE_AS), nullptr);
    EXPECT_FALSE(IsEnabled(CMD_FILE_SAVE));
    EXPECT_FALSE(IsEnabled(CMD_FILE_SAVE_AS));
    EXPECT_FALSE(IsToolEnabled(CMD_FILE_SAVE));
    EXPECT_TRUE(IsToolEnabled(CMD_FILE_OPEN));

    // Even when they arrive, nothing is written and no dialog opens.
    Command(CMD_FILE_SAVE);
    Command(CMD_FILE_SAVE_AS);
    auto* document = App().GetDocManager()->GetCurrentDocument();
    ASSERT_NE(document, nullptr);
    EXPECT_FALSE(document->OnSaveDocument(wxString::FromUTF8(path)));
    EXPECT_FALSE(document->Save());
    EXPECT_FALSE(document->SaveAs());
    std::ifstream in(path, std::ios::binary);
    const std::vector<uint8_t> after((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(after, bytes);
    EXPECT_TRUE(m_boxes.empty());
}

TEST_F(GuiTest, CommandLineImageOpensAsTheDocumentAndThePortOptionFillsTheBox) {
    const std::string path = WriteFile("start.fw", MakeImage("Start image", {1, 0}, {1, 5}, 200));
    StartOptions options;
    options.imagePath = path;
    options.portName = "/dev/ttyUSB7";
    options.portGiven = true;
    ASSERT_TRUE(Start(options));
    EXPECT_EQ(Frame().GetTitle(), "start.fw - Firmware Downloader");
    EXPECT_EQ(Lines()[7], "File path : " + std::filesystem::absolute(path).string());
    EXPECT_EQ(Lines()[8], "Name : Start image");
    EXPECT_EQ(Lines()[11], "HW version highest : 1.05");
    EXPECT_EQ(Frame().GetPortBox()->GetValue(), "/dev/ttyUSB7");
    wxString port;
    Frame().GetPortText(port);
    EXPECT_EQ(port, "/dev/ttyUSB7");
}

TEST_F(GuiTest, CommandLineFileThatCannotBeOpenedEndsStartUp) {
    StartOptions options;
    options.imagePath = TestDirectory() + "/missing.fw";
    EXPECT_FALSE(Start(options));
    PumpEvents();
    EXPECT_EQ(CMainFrame::Get(), nullptr);
    ASSERT_EQ(m_boxes.size(), 1u);
    EXPECT_TRUE(m_boxes[0].text.Contains("missing.fw"));
    EXPECT_EQ(m_boxes[0].caption, "KAVRO");
}

TEST_F(GuiTest, RememberedPortNameAppearsInThePortBox) {
    // The settings file beside the program: 32 bytes, the name and zeros.
    const std::string path = WriteFile("kavro.cfg", SettingsBytes("/dev/ttyS9"));
    ASSERT_TRUE(Start());
    EXPECT_EQ(Frame().GetPortBox()->GetValue(), "/dev/ttyS9");
    // Not there now: still the current choice, and marked in the list.
    EXPECT_NE(Frame().GetPortBox()->FindString("/dev/ttyS9  (absent)"), wxNOT_FOUND);
    wxString chosen;
    Frame().GetPortText(chosen);
    EXPECT_EQ(chosen, "/dev/ttyS9");
    // A name typed into the box is used as typed.
    Frame().GetPortBox()->SetValue("/dev/does-not-exist-42");
    Command(CMD_DEVICE_CONNECT);
    EXPECT_STREQ(g_link.m_portName.Text(), "/dev/does-not-exist-42");
    Stop();
    // At exit the changed name is written back.
    const std::vector<char> saved = ReadBytes(path);
    ASSERT_EQ(saved.size(), 32u);
    EXPECT_STREQ(saved.data(), "/dev/does-not-exist-42");
    std::filesystem::remove(path);
    g_link.SetPortName("");
}

// A settings file holds 31 characters: a longer name leaves it a name that
// fits (the device the name led to) or as it was, never the name cut short;
// the whole name comes back from the user's configuration.
TEST_F(GuiTest, ALongPortNameIsNeverCutIntoTheSettingsFile) {
    const std::string path = WriteFile("kavro.cfg", SettingsBytes("/dev/from-file"));
    const std::string device = WriteFile("ttyFAKE0", {});
    ASSERT_LT(device.size(), 31u) << "the device's own path fits the file";
    const std::string longName = TestDirectory() + "/by-path/pci-0000:00:14.0-usb-0:2.4.1:1.0-port0";
    std::filesystem::create_directories(TestDirectory() + "/by-path");
    std::filesystem::remove(longName);
    std::filesystem::create_symlink(device, longName);
    ASSERT_TRUE(Start());
    Frame().GetPortBox()->SetValue(wxString::FromUTF8(longName));
    Command(CMD_DEVICE_CONNECT);  // no terminal: fails, and is remembered
    Stop();
    std::vector<char> saved = ReadBytes(path);
    ASSERT_EQ(saved.size(), 32u);
    EXPECT_EQ(std::string(saved.data()), device);
    g_link.m_portName.Clear();
    ASSERT_TRUE(Start());
    EXPECT_EQ(Frame().GetPortBox()->GetValue(), wxString::FromUTF8(longName));

    // A long name that leads nowhere: the file keeps what it holds.
    const std::string nowhere = longName + "-gone";
    Frame().GetPortBox()->SetValue(wxString::FromUTF8(nowhere));
    Command(CMD_DEVICE_CONNECT);
    Stop();
    const std::vector<char> after = ReadBytes(path);
    EXPECT_EQ(after, saved);
    g_link.m_portName.Clear();
    ASSERT_TRUE(Start());
    EXPECT_EQ(Frame().GetPortBox()->GetValue(), wxString::FromUTF8(nowhere));
    Stop();
    std::filesystem::remove(path);
    g_link.SetPortName("");
}

// An adapter plugged in and out: the watch's report lists the ports again on
// the window thread, with their descriptions; choosing one uses its name.
TEST_F(GuiTest, PortListFollowsPortsComingAndGoing) {
    std::vector<SerialPortEntry> present;
    const CScopedPortSource source(present);
    ASSERT_TRUE(Start());
    wxComboBox* box = Frame().GetPortBox();
    const wxString label = "/dev/ttyUSB7  0403:6001  FTDI FT232R USB UART";
    EXPECT_EQ(box->FindString(label), wxNOT_FOUND);

    SerialPortEntry adapter;
    adapter.name = adapter.path = "/dev/ttyUSB7";
    adapter.usbId = "0403:6001";
    adapter.description = "FTDI FT232R USB UART";
    present.push_back(adapter);
    // The report comes from the watch's own thread, as the system's would.
    std::thread([] { CMainFrame::Get()->GetPortWatch().ReportChange(); }).join();
    ASSERT_TRUE(PumpUntil([&] { return box->FindString(label) != wxNOT_FOUND; }, 3000));

    // Choosing the entry puts its name, not its description, into the field.
    const int index = box->FindString(label);
    box->SetSelection(index);
    wxCommandEvent chosen(wxEVT_COMBOBOX, box->GetId());
    chosen.SetInt(index);
    chosen.SetEventObject(box);
    box->GetEventHandler()->ProcessEvent(chosen);
    ASSERT_TRUE(PumpUntil([&] { return box->GetValue() == "/dev/ttyUSB7"; }, 2000)) << box->GetValue();
    // A label left in the field still stands for the port's name.
    box->SetValue(label);
    wxString name;
    Frame().GetPortText(name);
    EXPECT_EQ(name, "/dev/ttyUSB7");

    // Unplugged: gone from the list, and the field keeps what it holds.
    present.clear();
    std::thread([] { CMainFrame::Get()->GetPortWatch().ReportChange(); }).join();
    ASSERT_TRUE(PumpUntil([&] { return box->FindString(label) == wxNOT_FOUND; }, 3000));
    EXPECT_EQ(box->GetValue(), label);
}

// An installed program has no settings file beside it: its port name lives in
// the user's configuration and comes back at the next start, unchanged.
TEST_F(GuiTest, WithoutASettingsFileThePortIsRememberedInTheUserConfiguration) {
    const std::string config = TestDirectory() + "/.config/KAVRO.conf";
    ASSERT_TRUE(Start());
    EXPECT_EQ(Frame().GetPortBox()->GetValue(), "");
    Frame().GetPortBox()->SetValue("/dev/does-not-exist-7");
    Command(CMD_DEVICE_CONNECT);
    Stop();
    EXPECT_NE(ReadText(config).find("PortName=/dev/does-not-exist-7"), std::string::npos) << ReadText(config);
    EXPECT_FALSE(std::filesystem::exists(TestDirectory() + "/kavro.cfg"));

    g_link.m_portName.Clear();  // as in a new process
    ASSERT_TRUE(Start());
    EXPECT_EQ(Frame().GetPortBox()->GetValue(), "/dev/does-not-exist-7");
    EXPECT_EQ(g_link.m_settingsDirty, 0);  // read back, not changed
    Stop();
    g_link.SetPortName("");
}

// A settings file beside the program (a portable copy) holds the port name
// whenever it exists: it is read, and written, instead of the configuration.
TEST_F(GuiTest, ASettingsFileBesideTheProgramWinsOverTheUserConfiguration) {
    const std::string config = TestDirectory() + "/.config/KAVRO.conf";
    {
        std::ofstream out(config, std::ios::trunc);
        out << "[Settings]\nPortName=/dev/from-config\n";
    }
    const std::string path = WriteFile("kavro.cfg", SettingsBytes("/dev/from-file"));
    ASSERT_TRUE(Start());
    EXPECT_EQ(Frame().GetPortBox()->GetValue(), "/dev/from-file");
    Frame().GetPortBox()->SetValue("/dev/typed");
    Command(CMD_DEVICE_CONNECT);
    Stop();

    const std::vector<char> saved = ReadBytes(path);
    ASSERT_EQ(saved.size(), 32u);
    EXPECT_STREQ(saved.data(), "/dev/typed");
    EXPECT_NE(ReadText(config).find("PortName=/dev/from-config"), std::string::npos) << ReadText(config);
    std::filesystem::remove(path);
    g_link.SetPortName("");
}

TEST_F(GuiTest, BadImageKeepsTheWindowWorkingAndDownloadIsRefused) {
    ASSERT_TRUE(Start());
    std::vector<uint8_t> broken = MakeImage("Broken image", {1, 0}, {9, 0}, 500);
    broken[IMAGE_HEADER_SIZE + 10] ^= 0xFF;  // the checksum no longer matches
    const std::string path = WriteFile("broken.fw", broken);
    ASSERT_NE(App().GetDocManager()->CreateDocument(wxString::FromUTF8(path), wxDOC_SILENT), nullptr);
    PumpEvents();
    // The document opened; the view shows what the header declared; no data is kept.
    EXPECT_EQ(Frame().GetTitle(), "broken.fw - Firmware Downloader");
    EXPECT_EQ(Lines()[8], "Name : Broken image");
    EXPECT_EQ(Lines()[11], "HW version highest : 9.00");
    EXPECT_FALSE(g_link.HasImageData());
    EXPECT_TRUE(m_boxes.empty());

    // A file that cannot be opened is reported and the document stays.
    EXPECT_EQ(App().GetDocManager()->CreateDocument(wxString::FromUTF8(TestDirectory() + "/none.fw"), wxDOC_SILENT),
              nullptr);
    PumpEvents();
    ASSERT_EQ(m_boxes.size(), 1u);
    EXPECT_TRUE(m_boxes[0].text.Contains("none.fw"));
    EXPECT_EQ(m_boxes[0].caption, "KAVRO");
    EXPECT_EQ(Frame().GetTitle(), "broken.fw - Firmware Downloader");
    EXPECT_EQ(Lines()[8], "Name : Broken image");
    ASSERT_NE(View(), nullptr);

    // File > Default brings the built-in image back.
    Command(CMD_FILE_NEW);
    EXPECT_EQ(Frame().GetTitle(), "Untitled - Firmware Downloader");
    EXPECT_EQ(Lines()[7], "File path : ");
    EXPECT_EQ(Lines()[8], "Name : KAVRO demo firmware");
    EXPECT_TRUE(g_link.HasImageData());
}

TEST_F(GuiTest, DroppedFileOpensAsTheDocument) {
    ASSERT_TRUE(Start());
    const std::string path = WriteFile("dropped.bin", MakeImage("Dropped image", {1, 0}, {2, 0}, 64));
    wxDropTarget* target = Frame().GetDropTarget();
    ASSERT_NE(target, nullptr);
    wxArrayString files;
    files.Add(wxString::FromUTF8(path));
    EXPECT_TRUE(static_cast<wxFileDropTarget*>(target)->OnDropFiles(10, 10, files));
    PumpEvents();
    EXPECT_EQ(Frame().GetTitle(), "dropped.bin - Firmware Downloader");
    EXPECT_EQ(Lines()[8], "Name : Dropped image");
    EXPECT_TRUE(g_link.HasImageData());
}

TEST_F(GuiTest, RecentFileListNeverHoldsMoreThanFour) {
    ASSERT_TRUE(Start());
    wxMenu* file = Frame().GetMenuBar()->GetMenu(0);
    EXPECT_NE(file->FindItem(CMD_RECENT_PLACEHOLDER), nullptr);
    std::vector<std::string> paths;
    for (int i = 1; i <= 6; ++i) {
        paths.push_back(WriteFile("recent" + std::to_string(i) + ".fw",
                                  MakeImage("Recent " + std::to_string(i), {1, 0}, {2, 0}, 32)));
        ASSERT_NE(App().GetDocManager()->CreateDocument(wxString::FromUTF8(paths.back()), wxDOC_SILENT), nullptr);
        PumpEvents();
        EXPECT_LE(App().GetDocManager()->GetHistoryFilesCount(), 4u);
    }
    wxFileHistory* history = App().GetDocManager()->GetFileHistory();
    ASSERT_EQ(history->GetCount(), 4u);
    EXPECT_EQ(history->GetHistoryFile(0), wxString::FromUTF8(paths[5]));
    EXPECT_EQ(history->GetHistoryFile(3), wxString::FromUTF8(paths[2]));
    EXPECT_EQ(file->FindItem(CMD_RECENT_PLACEHOLDER), nullptr);
    for (int i = 0; i < 4; ++i) EXPECT_NE(file->FindItem(CMD_MRU_FIRST + i), nullptr) << i;
    EXPECT_EQ(file->FindItem(CMD_MRU_FIRST + 4), nullptr);
    EXPECT_EQ(file->FindItem(CMD_MRU_FIRST)->GetHelp(), "Open this document");
    // The entries stand before Exit.
    EXPECT_EQ(file->FindItemByPosition(file->GetMenuItemCount() - 1)->GetId(), CMD_APP_EXIT);

    // The list is kept under "KAVRO" in the configuration folder, 4 entries.
    const std::string config = ReadText(TestDirectory() + "/.config/KAVRO.conf");
    EXPECT_NE(config.find(paths[5]), std::string::npos);
    EXPECT_NE(config.find(paths[2]), std::string::npos);
    EXPECT_EQ(config.find(paths[1]), std::string::npos);
    EXPECT_EQ(config.find(paths[0]), std::string::npos);

    // Choosing an entry opens that file; the next run finds the same list.
    Command(CMD_MRU_FIRST + 3);
    EXPECT_EQ(Lines()[8], "Name : Recent 3");
    Stop();
    ASSERT_TRUE(Start());
    EXPECT_EQ(App().GetDocManager()->GetHistoryFilesCount(), 4u);
    EXPECT_EQ(App().GetDocManager()->GetHistoryFile(0), wxString::FromUTF8(paths[2]));
    EXPECT_NE(Frame().GetMenuBar()->GetMenu(0)->FindItem(CMD_MRU_FIRST + 3), nullptr);
}

namespace {
// Closes every modal dialog as soon as it opens, keeping its texts.
class DialogCloser : public wxModalDialogHook {
public:
    std::vector<wxString> texts;
    wxString title;

protected:
    int Enter(wxDialog* dialog) override {
        title = dialog->GetTitle();
        for (wxWindow* child : dialog->GetChildren())
            if (auto* text = dynamic_cast<wxStaticText*>(child)) texts.push_back(text->GetLabel());
        dialog->CallAfter([dialog] { dialog->EndModal(wxID_OK); });
        return wxID_NONE;
    }
    void Exit(wxDialog*) override {}
};
}  // namespace

TEST_F(GuiTest, AboutBoxShowsNameVersionAndNotice) {
    ASSERT_TRUE(Start());
    DialogCloser closer;
    closer.Register();
    Command(CMD_APP_ABOUT);
    closer.Unregister();
    EXPECT_EQ(closer.title, "About KAVRO");
    ASSERT_EQ(closer.texts.size(), 2u);
    EXPECT_EQ(closer.texts[0], "KAVRO Version 2.9.0.14");
    EXPECT_FALSE(closer.texts[1].empty());
    EXPECT_TRUE(IsEnabled(CMD_APP_ABOUT));
}

TEST_F(GuiTest, ToolbarAndStatusBarToggleFromTheViewMenu) {
    ASSERT_TRUE(Start());
    wxUpdateUIEvent check(CMD_VIEW_TOOLBAR);
    Frame().ProcessWindowEvent(check);
    EXPECT_TRUE(check.GetChecked());
    Command(CMD_VIEW_TOOLBAR);
    EXPECT_FALSE(Frame().GetToolBar()->IsShown());
    Command(CMD_VIEW_STATUS_BAR);
    EXPECT_FALSE(Frame().GetStatusBar()->IsShown());
    wxUpdateUIEvent after(CMD_VIEW_STATUS_BAR);
    Frame().ProcessWindowEvent(after);
    EXPECT_FALSE(after.GetChecked());
    Command(CMD_VIEW_TOOLBAR);
    EXPECT_TRUE(Frame().GetToolBar()->IsShown());
}

TEST_F(GuiTest, DownloadControlsFollowTheRequestFlagAtIdle) {
    ASSERT_TRUE(Start());
    EXPECT_FALSE(Frame().IsDownloadProgressShown());
    Frame().ShowDownloadProgress(true);
    EXPECT_TRUE(Frame().IsDownloadProgressShown());
    Frame().ShowDownloadProgress(true);
    EXPECT_TRUE(Frame().IsDownloadProgressShown());
    // The idle step hides them again while no download is pending.
    PumpEvents();
    EXPECT_FALSE(Frame().IsDownloadProgressShown());
    EXPECT_FALSE(Frame().GetDownloadLabel()->IsShown());
    EXPECT_FALSE(Frame().GetProgressBar()->IsShown());
}

TEST_F(GuiTest, ProgressMessagesDriveTheGauge) {
    ASSERT_TRUE(Start());
    IMessageTarget* target = Frame().GetProgressWindow();
    ASSERT_EQ(g_link.m_progressWindow.load(), target);
    // Posted from another thread, carried out on this one in order.
    std::thread worker([target] {
        target->Post(PBM_SETRANGE, 0, static_cast<intptr_t>((uint32_t{24576} & 0xFFFF) << 16));
        target->Post(PBM_SETPOS, 128, 0);
        target->Post(PBM_SETPOS, 12288, 0);
    });
    worker.join();
    ASSERT_TRUE(PumpUntil([&] { return Frame().GetProgressBar()->GetValue() == 12288; }, 2000));
    EXPECT_EQ(Frame().GetProgressBar()->GetRange(), 24576);
    // A position past the end shows a full bar.
    target->Post(PBM_SETPOS, 70000, 0);
    ASSERT_TRUE(PumpUntil([&] { return Frame().GetProgressBar()->GetValue() == 24576; }, 2000));
}

// Ctrl+Q is no key of this application; Exit from the menu still leaves.
TEST_F(GuiTest, CtrlQDoesNothingAndExitCloses) {
    ASSERT_TRUE(Start());
    Frame().Raise();
    Frame().GetCanvas()->SetFocus();
    PumpFor(400);
    wxUIActionSimulator input;
    input.Char('Q', wxMOD_CONTROL);
    PumpFor(500);
    EXPECT_NE(CMainFrame::Get(), nullptr) << "Ctrl+Q closed the window";
    // A key that is in the table does reach its command through the same path.
    input.Char(WXK_F12, wxMOD_CONTROL | wxMOD_SHIFT);
    ASSERT_TRUE(PumpUntil([&] { return App().IsForceMode(); }, 3000));
    Command(CMD_APP_EXIT);
    EXPECT_TRUE(PumpUntil([] { return CMainFrame::Get() == nullptr; }, 3000));
}

// A fresh account has no configuration folder: the application makes it, so
// leaving is quiet and the recent files are kept.
TEST_F(GuiTest, AccountWithoutAConfigurationFolderLeavesQuietlyAndKeepsTheList) {
    const std::string configDir = TestDirectory() + "/.config";
    std::filesystem::remove_all(configDir);
    const std::string path = WriteFile("kept.fw", MakeImage("Kept", {1, 0}, {2, 0}, 100));
    {
        LoggedErrors errors;
        ASSERT_TRUE(Start());
        ASSERT_NE(App().GetDocManager()->CreateDocument(wxString::FromUTF8(path), wxDOC_SILENT), nullptr);
        Stop();
        EXPECT_EQ(errors.Text(), "");
    }
    EXPECT_TRUE(m_boxes.empty());
    EXPECT_NE(ReadText(configDir + "/KAVRO.conf").find("kept.fw"), std::string::npos);
}

// A recent file that cannot be opened gets the application's one box, then
// leaves the list; the framework adds no box of its own.
TEST_F(GuiTest, RecentFileThatCannotBeOpenedGetsOneBoxAndLeavesTheList) {
    const std::string missing = TestDirectory() + "/gone.fw";
    const std::string folder = TestDirectory() + "/folder.fw";
    std::filesystem::create_directories(folder);
    ASSERT_TRUE(Start());
    App().GetDocManager()->AddFileToHistory(wxString::FromUTF8(missing));
    App().GetDocManager()->AddFileToHistory(wxString::FromUTF8(folder));
    LoggedErrors errors;
    Command(wxID_FILE1);  // the folder: it exists but cannot be read as a file
    ASSERT_EQ(m_boxes.size(), 1u);
    EXPECT_EQ(m_boxes[0].caption, "KAVRO");
    EXPECT_TRUE(m_boxes[0].text.Contains(wxString::FromUTF8(folder))) << m_boxes[0].text;
    Command(wxID_FILE1);  // now the missing file
    ASSERT_EQ(m_boxes.size(), 2u);
    EXPECT_EQ(m_boxes[1].caption, "KAVRO");
    EXPECT_TRUE(m_boxes[1].text.Contains(wxString::FromUTF8(missing))) << m_boxes[1].text;
    EXPECT_EQ(errors.Text(), "");
    EXPECT_EQ(App().GetDocManager()->GetHistoryFilesCount(), 0u);
    EXPECT_NE(View(), nullptr) << "the window keeps a document";
}

// The port box shows a whole device path, not only "COM1".
TEST_F(GuiTest, PortBoxIsWideEnoughForADevicePath) {
    ASSERT_TRUE(Start());
    wxComboBox* box = Frame().GetPortBox();
    const int text = box->GetTextExtent(kTypicalPortPath).GetWidth();
    EXPECT_GT(box->GetSize().GetWidth(), text + box->FromDIP(24));
    // A wider window gives the box the room.
    const int before = box->GetSize().GetWidth();
    const wxSize client = Frame().GetClientSize();
    Frame().SetClientSize(client.GetWidth() + 300, client.GetHeight());
    ASSERT_TRUE(PumpUntil([&] { return box->GetSize().GetWidth() >= before + 250; }, 3000)) << box->GetSize().GetWidth();
}

// The window stops at a minimum size that keeps the bar's controls whole; the
// information lines that do not fit are reached by scrolling.
TEST_F(GuiTest, SmallWindowKeepsItsMinimumAndScrollsTheInformation) {
    ASSERT_TRUE(Start());
    const wxSize minimum = Frame().GetMinClientSize();
    ASSERT_TRUE(minimum.IsFullySpecified());
    EXPECT_GE(minimum.GetWidth(), Frame().GetDialogBar()->GetBestSize().GetWidth());
    Frame().SetClientSize(300, 200);
    PumpFor(200);
    EXPECT_GE(Frame().GetClientSize().GetWidth(), minimum.GetWidth());
    EXPECT_GE(Frame().GetClientSize().GetHeight(), minimum.GetHeight());
    CKavCanvas* canvas = Frame().GetCanvas();
    ASSERT_TRUE(PumpUntil([&] { return canvas->GetClientSize().GetHeight() < canvas->GetVirtualSize().GetHeight(); },
                          3000))
        << "the twelve lines are taller than the window";
    // Scrolled to the end, the last line lies within the window.
    canvas->Scroll(0, canvas->GetVirtualSize().GetHeight());
    PumpFor(100);
    int x = 0, y = 0, unitX = 0, unitY = 0;
    canvas->GetScrollPixelsPerUnit(&unitX, &unitY);
    canvas->CalcUnscrolledPosition(0, canvas->GetClientSize().GetHeight(), &x, &y);
    EXPECT_GE(y, canvas->GetVirtualSize().GetHeight() - unitY) << "the last line is reached";
}

// The Open dialog lists .fw files in any case and offers every file.
TEST_F(GuiTest, OpenDialogFilterMatchesAnyCaseAndAllFiles) {
    const wxString filter = CKavDocManager::OpenFilter();
    wxArrayString parts = wxSplit(filter, '|');
    ASSERT_EQ(parts.size(), 4u) << filter;
    EXPECT_EQ(parts[0], "KAVRO Files (*.fw)");
    for (const char* name : {"FIRMWARE.FW", "a.fw", "b.Fw", "c.fW"}) {
        bool matched = false;
        for (const wxString& pattern : wxSplit(parts[1], ';')) matched = matched || wxMatchWild(pattern, name, false);
        EXPECT_TRUE(matched) << name;
    }
    EXPECT_FALSE(wxMatchWild(parts[1], "image.bin", false));
    EXPECT_EQ(parts[2], "All Files (*.*)");
    EXPECT_TRUE(wxMatchWild(parts[3], "README", false));
}

// SCRL shows the Scroll Lock state, which stays after the key is released.
TEST_F(GuiTest, ScrollLockIndicatorFollowsTheLockNotTheKey) {
    ASSERT_TRUE(MakeScrollLockLock());
    ASSERT_TRUE(Start());
    Frame().Raise();
    Frame().GetCanvas()->SetFocus();
    PumpFor(400);
    const bool before = IsKeyLockOn(WXK_SCROLL);
    const int kScrollLockPane = Frame().GetStatusBar()->GetFieldsCount() - 1;  // SCRL is the last pane
    wxUIActionSimulator input;
    input.Char(WXK_SCROLL);  // pressed and released
    ASSERT_TRUE(PumpUntil([&] { return IsKeyLockOn(WXK_SCROLL) != before; }, 3000));
    PumpFor(300);
    Frame().UpdateIndicators();
    EXPECT_EQ(Frame().GetStatusBar()->GetStatusText(kScrollLockPane), before ? "" : "SCRL");
    input.Char(WXK_SCROLL);
    ASSERT_TRUE(PumpUntil([&] { return IsKeyLockOn(WXK_SCROLL) == before; }, 3000));
    Frame().UpdateIndicators();
    EXPECT_EQ(Frame().GetStatusBar()->GetStatusText(kScrollLockPane), before ? "SCRL" : "");
}
