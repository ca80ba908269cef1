#include "ui/kav_app.h"

#include <utility>

#include <wx/cmdline.h>
#include <wx/config.h>
#include <wx/filename.h>
#include <wx/menu.h>
#include <wx/statusbr.h>
#include <wx/stdpaths.h>

#include "image/image_loading.h"
#include "lang/wx_language.h"
#include "link/platform.h"
#include "link/port_path.h"
#include "ui/ui_resource_ids.h"
#include "ui/ui_strings.h"
#include "ui/string_text.h"
#include "ui/about_dlg.h"
#include "ui/automation/app_automation.h"
#include "ui/command_line.h"
#include "ui/commands.h"
#include "ui/globals.h"
#include "ui/kav_doc.h"
#include "ui/kav_view.h"
#include "ui/link_pane.h"
#include "ui/main_frame.h"
#include "ui/message_boxes.h"
#include "ui/port_memory.h"
#include "ui/station_window.h"
#include "ui/ui_logic.h"
#include "ui/ui_texts.h"
#include "ui/user_config.h"

// clang-format off
wxBEGIN_EVENT_TABLE(CKavApp, wxApp)
    EVT_MENU(CMD_APP_ABOUT, CKavApp::OnAppAbout)
    EVT_MENU(CMD_DEVICE_CONNECT, CKavApp::OnDeviceConnect)
    EVT_MENU(CMD_DEVICE_DOWNLOAD, CKavApp::OnDeviceDownload)
    EVT_MENU(CMD_DEVICE_DISCONNECT, CKavApp::OnDeviceDisconnect)
    EVT_MENU(CMD_DEVICE_RESET, CKavApp::OnDeviceReset)
    EVT_MENU(CMD_FORCE_MODE, CKavApp::OnForceMode)
    EVT_CHECKBOX(IDC_SECOND_CPU, CKavApp::OnSecondCpuBox)
    EVT_UPDATE_UI(CMD_DEVICE_CONNECT, CKavApp::OnUpdateDeviceConnect)
    EVT_UPDATE_UI(CMD_DEVICE_DOWNLOAD, CKavApp::OnUpdateDeviceDownload)
    EVT_UPDATE_UI(CMD_DEVICE_DISCONNECT, CKavApp::OnUpdateDeviceDisconnect)
    EVT_UPDATE_UI(CMD_DEVICE_RESET, CKavApp::OnUpdateDeviceDownload)
    EVT_IDLE(CKavApp::OnIdle)
wxEND_EVENT_TABLE()
// clang-format on

namespace {

// The "Second CPU" box's state, kept beside the recent-file list.
const char* const kSecondCpuKey = "/Settings/SecondCpu";

LinkFlags CurrentFlags() {
    LinkFlags flags;
    flags.running = g_link.m_running != 0;
    flags.downloadRequested = g_link.m_downloadRequested != 0;
    flags.resetIssued = g_link.m_resetIssued != 0;
    flags.deviceAnswered = g_link.m_answers != 0;
    return flags;
}

// The link keeps port names of at most 31 characters and would open a cut
// one; long names such as /dev/serial/by-path/... are links to a short device
// path, which the link opens instead. False with the system's error when a
// long name leads nowhere: it is never opened cut short.
bool PortNameForLink(const std::string& name, std::string& forLink, uint32_t& error) {
    forLink = name;
    if (name.size() < static_cast<size_t>(g_link.m_portName.Capacity())) return true;
    if (!ResolvePortPath(name, forLink, error)) return false;
    if (forLink.size() < static_cast<size_t>(g_link.m_portName.Capacity())) return true;
    error = 0;  // a device path too long for the link: rare enough to go without a system reason
    return false;
}

// The application's own boxes: captioned with the application title, owned by
// the main window.
int AppMessageBox(const wxString& text, long style) {
    return ShowMessageBox(text, Text(AFX_IDS_APP_TITLE), style | wxCENTRE, CMainFrame::Get());
}
}  // namespace

CKavApp::CKavApp() : m_idleTimer(this) {
    Bind(wxEVT_TIMER, &CKavApp::OnIdleTimer, this);
}

CKavApp::~CKavApp() = default;

void CKavApp::SetAutomation(std::unique_ptr<IAppAutomation> automation) { m_automation = std::move(automation); }

void CKavApp::OnInitCmdLine(wxCmdLineParser& parser) {
    wxApp::OnInitCmdLine(parser);
    AddCommandLineOptions(parser);
}

bool CKavApp::OnCmdLineParsed(wxCmdLineParser& parser) {
    if (!wxApp::OnCmdLineParsed(parser)) return false;
    m_options.portGiven = parser.Found("port", &m_options.portName);
    parser.Found("lang", &m_options.language);
    m_automation = AutomationFromSwitches(parser);
    m_options.station = parser.Found("station") || (m_automation != nullptr && m_automation->OpensStation());
    if (parser.GetParamCount() > 0) m_options.imagePath = parser.GetParam(0);
    return true;
}

bool CKavApp::OnInit() {
    if (!wxApp::OnInit()) return false;
    return InitInstance(m_options);
}

int CKavApp::OnRun() {
    const int code = wxApp::OnRun();
    return m_exitCode != 0 ? m_exitCode : code;
}

int CKavApp::OnExit() {
    ExitInstance();
    m_automation.reset();  // a wx event handler: gone while the toolkit is still up
    return wxApp::OnExit();
}

bool CKavApp::InitInstance(const StartOptions& options) {
    SetUpLanguage(options.language);
    SetAppName("KAVRO");
    SetAppDisplayName(Text(AFX_IDS_APP_TITLE));
    // The recent-file list lives under "KAVRO": $XDG_CONFIG_HOME/KAVRO.conf
    // here, the user's registry on Windows.
    wxStandardPaths::Get().SetFileLayout(wxStandardPaths::FileLayout_XDG);
    // A new account may have no configuration folder yet; without one the
    // list could not be written and leaving would complain.
    const wxString configDir = wxStandardPaths::Get().GetUserConfigDir();
    if (!wxFileName::DirExists(configDir)) wxFileName::Mkdir(configDir, wxS_DIR_DEFAULT, wxPATH_MKDIR_FULL);
    if (wxConfigBase::Get(false) == nullptr) wxConfigBase::Set(CreateUserConfig("KAVRO"));

    m_docManager = new CKavDocManager;
    m_docManager->FileHistoryLoad(*wxConfigBase::Get());
    CreateDocTemplate(m_docManager);

    auto* frame = new CMainFrame(m_docManager, CKavDocManager::WindowTitle());
    SetTopWindow(frame);
    m_docManager->SetHistoryChanged([this] {
        if (CMainFrame* main = CMainFrame::Get()) main->RefreshRecentFiles();
        SaveFileHistory();
    });
    frame->RefreshRecentFiles();

    // The first document: the file named on the command line, else the built-in image.
    // With --station the image is the station's; the main window starts as usual.
    const bool documentFile = !options.imagePath.empty() && !options.station;
    wxDocument* document = !documentFile
                               ? m_docManager->CreateNewDocument()
                               : m_docManager->CreateDocument(options.imagePath, wxDOC_SILENT);
    if (document == nullptr) {
        m_docManager->Clear(true);
        // Gone at once: the frame routes events through the document manager.
        delete frame;
        delete m_docManager;
        m_docManager = nullptr;
        return false;
    }

    frame->Show(true);
    frame->Update();

    // The link's module stays empty: the program's own executable holds the
    // built-in image and names the settings file.
    const std::string remembered = LoadRememberedPort(g_link, wxConfigBase::Get(false));
    m_chosenPort.clear();
    g_link.m_progressWindow = frame->GetProgressWindow();
    frame->SetPortText(wxString::FromUTF8(remembered));
    if (options.portGiven) frame->SetPortText(options.portName);
    frame->SetSecondCpuChosen(wxConfigBase::Get()->ReadBool(kSecondCpuKey, false));
    m_forceMode = 0;

    m_idleTimer.Start(200);
    if (options.station) {
        StationWindowRequest request;
        request.imageGiven = !options.imagePath.empty();
        request.imagePath = options.imagePath.utf8_string();
        OpenStationWindow(request);
    }
    if (m_automation) m_automation->Started(*this);
    return true;
}

void CKavApp::ExitInstance() {
    m_idleTimer.Stop();
    // Its bays are stopped and joined (and their records kept) before anything else goes.
    CloseStationWindow();
    if (m_automation) m_automation->Ending();
    g_link.m_progressWindow = nullptr;
    SaveRememberedPort(g_link, wxConfigBase::Get(false), m_chosenPort);
    if (m_docManager != nullptr) {
        SaveFileHistory();
        m_docManager->Clear(true);
        delete m_docManager;
        m_docManager = nullptr;
    }
    delete wxConfigBase::Set(nullptr);
    TearDownLanguage();
}

void CKavApp::SaveFileHistory() {
    wxConfigBase* config = wxConfigBase::Get(false);
    if (config == nullptr || m_docManager == nullptr) return;
    m_docManager->FileHistorySave(*config);
    config->Flush();
}

CMainFrame* CKavApp::GetMainFrame() const { return CMainFrame::Get(); }

void CKavApp::OnIdle(wxIdleEvent& event) {
    OnIdleStep();
    event.Skip();
}

void CKavApp::OnIdleTimer(wxTimerEvent&) {}

void CKavApp::OnIdleStep() {
    CMainFrame* frame = CMainFrame::Get();
    if (frame == nullptr) return;
    frame->ShowDownloadProgress(g_link.m_downloadRequested != 0);
    // The CPU is chosen for a whole connection: the box changes only when Connect may be used.
    frame->EnableSecondCpuBox(EnabledCommands(CurrentFlags()).connect);
    frame->UpdateIndicators();
    frame->UpdateLinkPane(ReadLink(g_link));
    // Menu items follow their enabling rules, so their keys do nothing while disabled.
    if (wxMenuBar* bar = frame->GetMenuBar()) bar->UpdateMenus();
}

void CKavApp::OnAppAbout(wxCommandEvent&) {
    CAboutDlg dialog(CMainFrame::Get());
    dialog.ShowModal();
}

void CKavApp::OnDeviceConnect(wxCommandEvent&) {
    if (g_link.m_running) return;
    g_link.Stop();
    wxString port;
    CMainFrame* frame = CMainFrame::Get();
    if (frame != nullptr) frame->GetPortText(port);
    m_chosenPort = port.utf8_string();
    std::string forLink;
    uint32_t unresolved = 0;
    const bool resolved = PortNameForLink(m_chosenPort, forLink, unresolved);
    if (resolved) g_link.SetPortName(forLink.c_str());
    // Cleared as every link starts, then taken from the box, which stays locked
    // while the link runs: the choice holds for the whole connection.
    g_link.m_secondCpu = 0;
    if (frame != nullptr && frame->IsSecondCpuChosen()) g_link.m_secondCpu = 1;
    if (frame != nullptr) {
        // Shown before the open, which a slow driver may hold up; by the name given.
        frame->LinkPane().Opening(m_chosenPort);
        frame->UpdateLinkPane(ReadLink(g_link));
        if (wxStatusBar* bar = frame->GetStatusBar()) bar->Update();
    }
    if (resolved) g_link.Start();
    if (frame == nullptr) return;
    if (g_link.m_running) {
        frame->LinkPane().Started(CLinkPane::Clock::now());
    } else {
        const uint32_t error = resolved ? g_link.m_port.m_file.m_lastError : unresolved;
        frame->LinkPane().Failed(CKavView::PortFailureReason(m_chosenPort, error));
        // The link's own failure notifies the view; a name that led nowhere is told here.
        if (!resolved && frame->GetCanvas()->GetView() != nullptr)
            frame->GetCanvas()->GetView()->ShowPortFailed(m_chosenPort, error);
    }
    frame->UpdateLinkPane(ReadLink(g_link));
}

void CKavApp::OnDeviceDownload(wxCommandEvent&) {
    const DownloadDecision decision =
        DecideDownload(CurrentFlags(), DownloadRefusal(g_link),
                       IsDeviceCompatible(g_link.SnapshotDevice(), g_link.m_firmware), m_forceMode != 0);
    switch (decision) {
        case DownloadDecision::Ignore:
            break;
        case DownloadDecision::Refuse:
            AppMessageBox(wxString::FromUTF8(DownloadRefusalText(DownloadRefusal(g_link))), wxOK | wxICON_ERROR);
            break;
        case DownloadDecision::Request:
            g_link.RequestDownload();
            break;
        case DownloadDecision::RefuseHardware:
            AppMessageBox(Text(IDS_HW_INCORRECT), wxOK | wxICON_ERROR);
            break;
        case DownloadDecision::NoDevice:
            AppMessageBox(wxString::FromUTF8(uitext::NoDeviceYet(g_link.m_port.m_portName.Text())),
                          wxOK | wxICON_WARNING);
            break;
        case DownloadDecision::AskHardware:
            if (AppMessageBox(Text(IDS_HW_INCORRECT_ASK), wxYES_NO | wxICON_QUESTION) == wxYES)
                g_link.RequestDownload();
            break;
    }
}

void CKavApp::OnDeviceReset(wxCommandEvent&) {
    if (!g_link.m_downloadRequested && g_link.m_running) g_link.RequestReset();
}

void CKavApp::OnDeviceDisconnect(wxCommandEvent&) {
    g_link.Stop();
    if (CMainFrame* frame = CMainFrame::Get()) {
        frame->LinkPane().Disconnected();
        frame->UpdateLinkPane(ReadLink(g_link));
    }
}

void CKavApp::OnForceMode(wxCommandEvent&) { m_forceMode = 1; }

void CKavApp::OnSecondCpuBox(wxCommandEvent& event) {
    wxConfigBase* config = wxConfigBase::Get(false);
    if (config == nullptr) return;
    config->Write(kSecondCpuKey, event.IsChecked());
    config->Flush();
}

void CKavApp::OnUpdateDeviceConnect(wxUpdateUIEvent& event) { event.Enable(EnabledCommands(CurrentFlags()).connect); }

void CKavApp::OnUpdateDeviceDownload(wxUpdateUIEvent& event) {
    event.Enable(EnabledCommands(CurrentFlags()).download);
}

void CKavApp::OnUpdateDeviceDisconnect(wxUpdateUIEvent& event) {
    event.Enable(EnabledCommands(CurrentFlags()).disconnect);
}
