#include "gui_fixture.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include <wx/app.h>
#include <wx/evtloop.h>
#include <wx/gauge.h>
#include <wx/init.h>
#include <wx/log.h>
#include <wx/toolbar.h>
#include <wx/utils.h>

#include "ui/globals.h"
#include "ui/kav_view.h"
#include "ui/main_frame.h"
#include "ui/automation/app_automation.h"
#include "x_display.h"

namespace {
std::string g_testDirectory;

// A failed wx assertion would otherwise open a dialog and wait for a person.
void AssertToTestFailure(const wxString& file, int line, const wxString& func, const wxString& cond,
                         const wxString& msg) {
    ADD_FAILURE() << "wx assertion " << cond.utf8_string() << " (" << msg.utf8_string() << ") in "
                  << func.utf8_string() << " at " << file.utf8_string() << ":" << line;
}
}  // namespace

// Answers the application's boxes in place of a person and keeps them for the test.
class CRecordedBoxes final : public IAppAutomation {
public:
    explicit CRecordedBoxes(GuiTest& test) : m_test(test) {}
    void Started(CKavApp&) override {}
    int AnswerBox(const wxString& text, const wxString& caption, long style) override {
        return m_test.RecordBox(text, caption, style);
    }

private:
    GuiTest& m_test;
};

const std::string& TestDirectory() { return g_testDirectory; }

CScopedPortSource::CScopedPortSource(const std::vector<SerialPortEntry>& present) {
    CMainFrame::SetPortSource([&present] { return present; });
}
CScopedPortSource::~CScopedPortSource() { CMainFrame::SetPortSource(nullptr); }

void PumpEvents() {
    if (wxEventLoopBase* loop = wxEventLoopBase::GetActive()) loop->YieldFor(wxEVT_CATEGORY_ALL);
    wxTheApp->ProcessPendingEvents();
    wxTheApp->ProcessIdle();
}

bool PumpUntil(const std::function<bool()>& done, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        PumpEvents();
        if (done()) return true;
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

void PumpFor(int milliseconds) {
    PumpUntil([] { return false; }, milliseconds);
}

void GuiTest::SetUp() {
    // Every test starts without a recent-file list.
    std::error_code ignored;
    std::filesystem::remove(g_testDirectory + "/.config/KAVRO.conf", ignored);
    m_boxes.clear();
    App().SetAutomation(std::make_unique<CRecordedBoxes>(*this));
}

int GuiTest::RecordBox(const wxString& text, const wxString& caption, long style) {
    RecordedBox box{text, caption, style, wxString(), -1};
    if (const CMainFrame* frame = CMainFrame::Get()) {
        box.linkPane = frame->GetLinkPaneText();
        box.progress = frame->GetProgressBar()->GetValue();
    }
    m_boxes.push_back(box);
    if (style & wxYES_NO) return m_answer != 0 ? m_answer : wxNO;
    return wxOK;
}

void GuiTest::TearDown() {
    if (m_started) Stop();
    App().SetAutomation(nullptr);
}

bool GuiTest::Start(const StartOptions& options) {
    m_started = App().InitInstance(options);
    if (m_started) PumpEvents();
    return m_started;
}

void GuiTest::Stop() {
    if (!m_started) return;
    m_started = false;
    if (CMainFrame* frame = CMainFrame::Get()) frame->Close(true);
    PumpUntil([] { return CMainFrame::Get() == nullptr; }, 5000);
    App().ExitInstance();
    PumpEvents();
}

CKavApp& GuiTest::App() { return *static_cast<CKavApp*>(wxTheApp); }

CMainFrame& GuiTest::Frame() {
    CMainFrame* frame = CMainFrame::Get();
    if (frame == nullptr) throw std::runtime_error("no main frame");
    return *frame;
}

CKavView* GuiTest::View() { return Frame().GetCanvas()->GetView(); }

std::vector<std::string> GuiTest::Lines() {
    CKavView* view = View();
    return view != nullptr ? view->InfoLines() : std::vector<std::string>();
}

void GuiTest::Command(int id) {
    wxCommandEvent event(wxEVT_MENU, id);
    event.SetEventObject(&Frame());
    Frame().ProcessWindowEvent(event);
    PumpEvents();
}

bool GuiTest::IsEnabled(int id) {
    wxUpdateUIEvent event(id);
    event.SetEventObject(&Frame());
    Frame().ProcessWindowEvent(event);
    return event.GetSetEnabled() ? event.GetEnabled() : true;
}

bool GuiTest::IsToolEnabled(int id) {
    PumpEvents();
    Frame().GetToolBar()->UpdateWindowUI(wxUPDATE_UI_NONE);
    return Frame().GetToolBar()->GetToolEnabled(id);
}

bool GuiTest::HasBox(const wxString& text) const {
    for (const RecordedBox& box : m_boxes)
        if (box.text == text) return true;
    return false;
}

bool GuiTest::WaitForBox(const wxString& text, int timeoutMs) {
    return PumpUntil([&] { return HasBox(text); }, timeoutMs);
}

std::string GuiTest::WriteFile(const std::string& name, const std::vector<uint8_t>& bytes) {
    const std::string path = g_testDirectory + "/" + name;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return path;
}

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // Listing the tests (at build time) needs no display.
    if (::testing::GTEST_FLAG(list_tests)) return RUN_ALL_TESTS();

    // Each process keeps its recent-file list and files in a folder of its own.
    char pattern[] = "/tmp/kavro-gui-XXXXXX";
    if (mkdtemp(pattern) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    g_testDirectory = pattern;
    setenv("HOME", pattern, 1);
    setenv("XDG_CONFIG_HOME", (g_testDirectory + "/.config").c_str(), 1);
    // No accessibility bus under Xvfb: GTK would wait for it and complain.
    setenv("NO_AT_BRIDGE", "1", 1);
    // English unless a test asks for another language, from the build's catalogues.
    setenv("KAVRO_LANG", "en", 1);
    setenv("KAVRO_LOCALEDIR", KAVRO_TEST_LOCALEDIR, 1);
    std::filesystem::create_directories(g_testDirectory + "/.config");
    // No settings file unless a test writes one beside this program path.
    g_link.SetProgramPath(g_testDirectory + "/kavro");

    // Xvfb resets when its last client leaves and refuses connections while it
    // does; between two test processes that can happen. Wait for the server,
    // then hold a connection so it stays up while this process runs.
    void* held = WaitForDisplay(5000);
    if (held == nullptr) {
        std::fprintf(stderr, "The GUI tests need a display (run them under xvfb-run).\n");
        std::filesystem::remove_all(g_testDirectory);
        return 1;
    }

    delete wxLog::SetActiveTarget(new wxLogStderr);
    wxApp::SetInstance(new CKavApp);
    int wxArgc = 1;
    char* wxArgv[] = {argv[0], nullptr};
    if (!wxEntryStart(wxArgc, wxArgv)) {
        wxLog::FlushActive();
        std::fprintf(stderr, "The toolkit could not start on the display %s.\n",
                     std::getenv("DISPLAY") != nullptr ? std::getenv("DISPLAY") : "(unset)");
        CloseDisplay(held);
        std::filesystem::remove_all(g_testDirectory);
        return 1;
    }
    wxSetAssertHandler(AssertToTestFailure);
    wxTheApp->SetExitOnFrameDelete(false);

    int result = 0;
    {
        wxGUIEventLoop loop;
        wxEventLoopActivator activate(&loop);
        result = RUN_ALL_TESTS();
    }
    wxEntryCleanup();
    CloseDisplay(held);
    std::error_code ignored;
    std::filesystem::remove_all(g_testDirectory, ignored);
    return result;
}
