// The application in the technician's language: the menus, the status bar,
// the boxes and the painted lines come from the catalogue, and the longer
// German texts and the CJK ones fit where they are shown.
#include <cstdlib>

#include <wx/dialog.h>
#include <wx/menu.h>
#include <wx/modalhook.h>
#include <wx/panel.h>
#include <wx/statusbr.h>
#include <wx/toolbar.h>

#include "gui_fixture.h"
#include "ui/ui_resource_ids.h"
#include "ui/ui_strings.h"
#include "ui/commands.h"
#include "ui/main_frame.h"

namespace {
struct Language {
    const char* code;
    const char* fileMenu;
    const char* deviceMenu;
    const char* connectItem;    // its label, the accelerator stripped
    const char* connectPrompt;  // the status bar's prompt and the menu's help
    const char* downloadTip;
    const char* ready;
    const char* notConnected;   // the link pane before Connect
    const char* title;
    const char* firstLabel;     // the first painted line's
    const char* portFailed;     // the box's first line
    const char* linkCaption;
    const char* aboutTitle;
};

const Language kGerman = {"de",
                          "&Datei",
                          "&Gerät",
                          "&Verbinden ",
                          "Mit dem Gerät verbinden und seine ID lesen",
                          "Herunterladen",
                          "Bereit",
                          "Nicht verbunden",
                          "Unbenannt - Firmware-Downloader",
                          "Chip-ID : ",
                          "COM-Anschluss kann nicht geöffnet werden",
                          "Firmware-Downloader",
                          "Über KAVRO"};
const Language kChinese = {"zh_CN",
                           "文件(&F)",
                           "设备(&D)",
                           "连接(&C) ",
                           "连接设备并读取其 ID",
                           "下载",
                           "就绪",
                           "未连接",
                           "无标题 - 固件下载器",
                           "芯片 ID : ",
                           "无法打开 COM 端口",
                           "固件下载器",
                           "关于 KAVRO"};

void PrintTo(const Language& language, std::ostream* out) { *out << language.code; }

// Every shown control lies inside its window, and every text is shown whole.
void ExpectNothingClipped(wxWindow* window) {
    const wxSize client = window->GetClientSize();
    for (wxWindow* child : window->GetChildren()) {
        if (!child->IsShown()) continue;
        const wxRect rect = child->GetRect();
        const wxSize best = child->GetBestSize();
        const std::string name(child->GetLabel().utf8_str());
        EXPECT_GE(rect.GetLeft(), 0) << name;
        EXPECT_LE(rect.GetRight(), client.GetWidth() - 1) << name << " in " << client.GetWidth();
        EXPECT_LE(rect.GetBottom(), client.GetHeight() - 1) << name;
        // A control with a text of its own shows all of it (a port box may
        // be narrower than its longest entry: its list opens wider).
        if (!name.empty()) {
            EXPECT_GE(rect.GetWidth(), best.GetWidth()) << name;
        }
    }
}

// Keeps a dialog's title, checks its layout, and closes it.
class DialogInspector : public wxModalDialogHook {
public:
    wxString title;

protected:
    int Enter(wxDialog* dialog) override {
        title = dialog->GetTitle();
        ExpectNothingClipped(dialog);
        dialog->CallAfter([dialog] { dialog->EndModal(wxID_OK); });
        return wxID_NONE;
    }
    void Exit(wxDialog*) override {}
};

class GuiLanguageTest : public GuiTest, public ::testing::WithParamInterface<Language> {};
}  // namespace

TEST_P(GuiLanguageTest, MenusStatusBarBoxesAndLinesComeFromTheCatalogue) {
    const Language& language = GetParam();
    StartOptions options;
    options.language = language.code;
    ASSERT_TRUE(Start(options));

    wxMenuBar* bar = Frame().GetMenuBar();
    EXPECT_EQ(bar->GetMenuLabel(0), wxString::FromUTF8(language.fileMenu));
    EXPECT_EQ(bar->GetMenuLabel(1), wxString::FromUTF8(language.deviceMenu));
    wxMenuItem* connect = bar->FindItem(CMD_DEVICE_CONNECT);
    ASSERT_NE(connect, nullptr);
    EXPECT_EQ(connect->GetItemLabel().BeforeFirst('\t'), wxString::FromUTF8(language.connectItem));
    EXPECT_EQ(connect->GetHelp(), wxString::FromUTF8(language.connectPrompt));
    // The key stays whatever the language.
    wxAcceleratorEntry* accel = connect->GetAccel();
    ASSERT_NE(accel, nullptr);
    EXPECT_EQ(accel->ToString(), "F8");
    delete accel;
    EXPECT_EQ(Frame().GetToolBar()->GetToolShortHelp(CMD_DEVICE_DOWNLOAD), wxString::FromUTF8(language.downloadTip));

    EXPECT_EQ(Frame().GetStatusBar()->GetStatusText(0), wxString::FromUTF8(language.ready));
    EXPECT_EQ(Frame().GetStatusBar()->GetStatusText(1), wxString::FromUTF8(language.notConnected));
    EXPECT_EQ(Frame().GetTitle(), wxString::FromUTF8(language.title));
    EXPECT_EQ(Lines()[0].rfind(language.firstLabel, 0), 0u) << Lines()[0];

    // The link's box for a port that cannot be opened.
    Frame().SetPortText("/dev/ttyKAVRO-none");
    Command(CMD_DEVICE_CONNECT);
    ASSERT_TRUE(PumpUntil([this] { return !m_boxes.empty(); }, 10000));
    EXPECT_TRUE(m_boxes[0].text.StartsWith(wxString::FromUTF8(language.portFailed) + "\n\n/dev/ttyKAVRO-none"))
        << m_boxes[0].text.utf8_string();
    EXPECT_EQ(m_boxes[0].caption, wxString::FromUTF8(language.linkCaption));

    DialogInspector about;
    about.Register();
    Command(CMD_APP_ABOUT);
    about.Unregister();
    EXPECT_EQ(about.title, wxString::FromUTF8(language.aboutTitle));
}

// The longest state of the bar (the download label and gauge shown) and the
// status bar's indicators fit the window in every language.
TEST_P(GuiLanguageTest, LongerTextsDoNotClip) {
    StartOptions options;
    options.language = GetParam().code;
    ASSERT_TRUE(Start(options));
    // Checked before the next idle pass hides them again (no download runs).
    Frame().ShowDownloadProgress(true);
    ASSERT_TRUE(Frame().IsDownloadProgressShown());
    ExpectNothingClipped(Frame().GetDialogBar());
    EXPECT_GE(Frame().GetClientSize().GetWidth(), Frame().GetDialogBar()->GetBestSize().GetWidth());

    wxStatusBar* status = Frame().GetStatusBar();
    const unsigned indicators[] = {ID_INDICATOR_CAPS, ID_INDICATOR_NUM, ID_INDICATOR_SCRL};
    // The indicators are the last three panes.
    const int first = status->GetFieldsCount() - 3;
    for (int i = 0; i < 3; ++i) {
        wxRect field;
        ASSERT_TRUE(status->GetFieldRect(first + i, field));
        const wxString text = wxString::FromUTF8(LoadUiStringText(indicators[i]));
        EXPECT_GE(field.GetWidth(), status->GetTextExtent(text).GetWidth()) << text.utf8_string();
    }
}

INSTANTIATE_TEST_SUITE_P(Catalogues, GuiLanguageTest, ::testing::Values(kGerman, kChinese),
                         [](const ::testing::TestParamInfo<Language>& info) {
                             return std::string(info.param.code) == "de" ? "German" : "SimplifiedChinese";
                         });

// KAVRO_LANG chooses the language when --lang does not.
TEST_F(GuiTest, EnvironmentChoosesTheLanguageWithoutTheOption) {
    ASSERT_EQ(setenv("KAVRO_LANG", "de", 1), 0);
    ASSERT_TRUE(Start());
    setenv("KAVRO_LANG", "en", 1);
    EXPECT_EQ(Frame().GetStatusBar()->GetStatusText(0), "Bereit");
    Stop();
    // English, the texts' own language, after the exit removed the translator.
    EXPECT_STREQ(LoadUiStringText(AFX_IDS_IDLEMESSAGE), "Ready");
}

// Without --lang and KAVRO_LANG, the system's language (here from LANG, whose
// locale this machine need not have generated).
TEST_F(GuiTest, SystemLanguageIsTheDefault) {
    ASSERT_EQ(unsetenv("KAVRO_LANG"), 0);
    unsetenv("LANGUAGE");
    unsetenv("LC_ALL");
    unsetenv("LC_MESSAGES");
    ASSERT_EQ(setenv("LANG", "zh_CN.UTF-8", 1), 0);
    ASSERT_TRUE(Start());
    EXPECT_EQ(Frame().GetStatusBar()->GetStatusText(0), wxString::FromUTF8("就绪"));
    setenv("KAVRO_LANG", "en", 1);
}
