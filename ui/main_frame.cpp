#include "ui/main_frame.h"

#include <algorithm>

#include <wx/accel.h>
#include <wx/checkbox.h>
#include <wx/combobox.h>
#include <wx/dnd.h>
#include <wx/filehistory.h>
#include <wx/gauge.h>
#include <wx/menu.h>
#include <wx/panel.h>
#include <wx/sizer.h>
#include <wx/stattext.h>
#include <wx/statusbr.h>
#include <wx/toolbar.h>
#include <wx/utils.h>

#include "link/port_list.h"
#include "ui/ui_strings.h"
#include "ui/string_text.h"
#include "ui/commands.h"
#include "ui/icons.h"
#include "ui/kav_doc.h"
#include "ui/kav_view.h"
#include "ui/lock_keys.h"
#include "ui/port_box.h"
#include "ui/station_texts.h"
#include "ui/station_window.h"
#include "ui/ui_logic.h"
#include "ui/ui_texts.h"

namespace {
CMainFrame* g_mainFrame = nullptr;
CMainFrame::PortSource g_portSource;

wxString Prompt(int command) { return wxString::FromUTF8(PromptOf(PromptStringId(command))); }
wxString Tip(int command) { return wxString::FromUTF8(TipOf(PromptStringId(command))); }

// A file dropped on the window opens as the document, as with File > Open.
class CFileDropTarget : public wxFileDropTarget {
public:
    explicit CFileDropTarget(wxDocManager* manager) : m_manager(manager) {}
    bool OnDropFiles(wxCoord, wxCoord, const wxArrayString& files) override {
        for (const wxString& file : files) m_manager->CreateDocument(file, wxDOC_SILENT);
        return !files.empty();
    }

private:
    wxDocManager* m_manager;
};


// 80 dialog units fit "COM1"; a device path such as /dev/ttyUSB0 needs more.
int PortBoxWidth(wxWindow* bar) {
    const int dialogUnits = bar->ConvertDialogToPixels(wxSize(80, 0)).x;
    const int path = bar->GetTextExtent(kTypicalPortPath).GetWidth() + bar->FromDIP(48);  // and the drop-down button
    return std::max(dialogUnits, path);
}
}  // namespace

CMainFrame* CMainFrame::Get() { return g_mainFrame; }

CMainFrame::CMainFrame(CKavDocManager* manager, const wxString& title)
    : wxDocParentFrame(manager, nullptr, wxID_ANY, title, wxDefaultPosition, wxSize(880, 420)),
      m_manager(manager),
      m_progressTarget(this, EVT_LINK_PROGRESS_MESSAGE) {
    g_mainFrame = this;
    SetIcon(AppIcon());
    CreateMenuBar();
    CreateToolBarButtons();
    CreateDialogBar();
    CreateStatusBarPanes();

    m_canvas = new CKavCanvas(this);
    // The link pane's whole text where the pane cuts it (the advice on a silent port).
    m_linkAdvice = new wxStaticText(this, wxID_ANY, wxString());
    m_linkAdvice->Hide();
    auto* sizer = new wxBoxSizer(wxVERTICAL);
    sizer->Add(m_wndDlgBar, 0, wxEXPAND);
    sizer->Add(m_linkAdvice, 0, wxEXPAND | wxLEFT | wxRIGHT | wxBOTTOM, FromDIP(6));
    sizer->Add(m_canvas, 1, wxEXPAND);
    SetSizer(sizer);
    FitDialogBar();
    SetMinClientSize(MinimumClientSize());
    Bind(wxEVT_SIZE, [this](wxSizeEvent& event) {
        event.Skip();
        CallAfter([this] { ShowLinkAdvice(m_wndStatusBar != nullptr ? GetLinkPaneText() : wxString()); });
    });

    // Ctrl+Shift+F12 has no menu item: the frame's own key table carries it.
    wxAcceleratorEntry keys[1];
    keys[0].Set(wxACCEL_CTRL | wxACCEL_SHIFT, WXK_F12, CMD_FORCE_MODE);
    SetAcceleratorTable(wxAcceleratorTable(1, keys));

    SetDropTarget(new CFileDropTarget(manager));
    Bind(EVT_LINK_PROGRESS_MESSAGE, &CMainFrame::OnProgressMessage, this);
    Bind(wxEVT_MENU, [this](wxCommandEvent&) { Close(); }, CMD_APP_EXIT);
    Bind(wxEVT_MENU, &CMainFrame::OnViewToolbar, this, CMD_VIEW_TOOLBAR);
    Bind(wxEVT_MENU, &CMainFrame::OnViewStatusBar, this, CMD_VIEW_STATUS_BAR);
    Bind(wxEVT_MENU, [](wxCommandEvent&) { OpenStationWindow(StationWindowRequest()); }, CMD_VIEW_STATION);
    Bind(wxEVT_UPDATE_UI, &CMainFrame::OnUpdateViewToolbar, this, CMD_VIEW_TOOLBAR);
    Bind(wxEVT_UPDATE_UI, &CMainFrame::OnUpdateViewStatusBar, this, CMD_VIEW_STATUS_BAR);
    Bind(wxEVT_UPDATE_UI, [](wxUpdateUIEvent& event) { event.Enable(false); }, CMD_RECENT_PLACEHOLDER);
    RefreshRecentFiles();

    // Plugging an adapter in or out lists the ports again, on the window thread.
    // Without the system's notifications the list is still refreshed when opened.
    const bool watching = m_portWatch.Start([this] { CallAfter(&CMainFrame::RefreshPorts); });
    (void)watching;
}

CMainFrame::~CMainFrame() {
    m_portWatch.Stop();
    if (g_mainFrame == this) g_mainFrame = nullptr;
}

void CMainFrame::SetPortSource(PortSource source) { g_portSource = std::move(source); }

std::vector<SerialPortEntry> CMainFrame::ListPorts() { return g_portSource ? g_portSource() : EnumerateSerialPorts(); }

void CMainFrame::CreateMenuBar() {
    auto item = [](wxMenu* menu, int id, const wxString& label) { menu->Append(id, label, Prompt(id)); };

    m_fileMenu = new wxMenu;
    // TRANSLATORS: "&" marks the access key; keep the tab and the key after it.
    item(m_fileMenu, CMD_FILE_NEW, _("&Default\tCtrl+N"));
    item(m_fileMenu, CMD_FILE_OPEN, _("&Open...\tCtrl+O"));
    item(m_fileMenu, CMD_FILE_SAVE, _("&Save\tCtrl+S"));
    item(m_fileMenu, CMD_FILE_SAVE_AS, _("Save &As..."));
    m_fileMenu->AppendSeparator();
    m_fileMenu->Append(CMD_RECENT_PLACEHOLDER, _("Recent File"), Prompt(CMD_MRU_FIRST));
    m_fileMenu->AppendSeparator();
    item(m_fileMenu, CMD_APP_EXIT, _("E&xit"));

    auto* device = new wxMenu;
    item(device, CMD_DEVICE_CONNECT, _("&Connect \tF8"));
    item(device, CMD_DEVICE_DOWNLOAD, _("&Download \tF9"));
    item(device, CMD_DEVICE_DISCONNECT, _("Disconnect"));

    auto* view = new wxMenu;
    view->AppendCheckItem(CMD_VIEW_TOOLBAR, _("&Toolbar"), Prompt(CMD_VIEW_TOOLBAR));
    view->AppendCheckItem(CMD_VIEW_STATUS_BAR, _("&Status Bar"), Prompt(CMD_VIEW_STATUS_BAR));
    view->AppendSeparator();
    view->Append(CMD_VIEW_STATION, wxString::FromUTF8(Tr(stationtext::kMenuItem)),
                 wxString::FromUTF8(Tr(stationtext::kMenuItemHelp)));

    auto* help = new wxMenu;
    item(help, CMD_APP_ABOUT, _("&About KAVRO..."));

    auto* bar = new wxMenuBar;
    bar->Append(m_fileMenu, _("&File"));
    bar->Append(device, _("&Device"));
    bar->Append(view, _("&View"));
    bar->Append(help, _("&Help"));
    SetMenuBar(bar);
}

void CMainFrame::CreateToolBarButtons() {
    m_wndToolBar = CreateToolBar(wxTB_FLAT | wxTB_HORIZONTAL | wxNO_BORDER);
    m_wndToolBar->SetToolBitmapSize(wxSize(16, 15));
    auto button = [this](int id) {
        m_wndToolBar->AddTool(id, Tip(id), ToolBarImage(id), Tip(id), wxITEM_NORMAL);
        m_wndToolBar->SetToolLongHelp(id, Prompt(id));
    };
    button(CMD_FILE_NEW);
    button(CMD_FILE_OPEN);
    button(CMD_FILE_SAVE);
    m_wndToolBar->AddSeparator();
    button(CMD_DEVICE_CONNECT);
    button(CMD_DEVICE_DOWNLOAD);
    button(CMD_DEVICE_RESET);
    button(CMD_DEVICE_DISCONNECT);
    m_wndToolBar->AddSeparator();
    button(CMD_APP_ABOUT);
    m_wndToolBar->Realize();
}

void CMainFrame::CreateDialogBar() {
    m_wndDlgBar = new wxPanel(this, wxID_ANY);
    wxPanel* bar = m_wndDlgBar;
    // Created in the bar's tab order; laid out left to right below.
    m_portBox = new wxComboBox(bar, IDC_PORT, wxString(), wxDefaultPosition, wxSize(PortBoxWidth(bar), -1), 0, nullptr,
                               wxCB_DROPDOWN);
    m_portBox->SetMinSize(wxSize(PortBoxWidth(bar), -1));
    auto* portLabel = new wxStaticText(bar, wxID_ANY, _("Used Port : "), wxDefaultPosition, wxDefaultSize, wxALIGN_RIGHT);
    m_downloadLabel = new wxStaticText(bar, IDC_DOWNLOAD_LABEL, _("Download : "), wxDefaultPosition, wxDefaultSize,
                                       wxALIGN_RIGHT);
    m_progress = new wxGauge(bar, IDC_PROGRESS, 100, wxDefaultPosition,
                             wxSize(bar->ConvertDialogToPixels(wxSize(111, 0)).x, -1), wxGA_HORIZONTAL | wxGA_SMOOTH);
    m_secondCpu = new wxCheckBox(bar, IDC_SECOND_CPU, _("Second CPU"));
    // A fixed width, so that the changing text never moves the controls.
    m_progressText = new wxStaticText(bar, wxID_ANY, wxString(), wxDefaultPosition, wxDefaultSize,
                                      wxST_NO_AUTORESIZE);
    const wxString widest = wxString::FromUTF8(uitext::Progress(100, 35999));
    m_progressText->SetMinSize(wxSize(m_progressText->GetTextExtent(widest).x + bar->FromDIP(8), -1));

    auto* sizer = new wxBoxSizer(wxHORIZONTAL);
    const int gap = bar->FromDIP(6);
    sizer->Add(portLabel, 0, wxALIGN_CENTER_VERTICAL | wxLEFT, gap);
    // The box takes the width the window gives: long port names show whole.
    sizer->Add(m_portBox, 1, wxALIGN_CENTER_VERTICAL | wxALL, bar->FromDIP(3));
    sizer->Add(m_secondCpu, 0, wxALIGN_CENTER_VERTICAL | wxLEFT, gap);
    sizer->Add(m_downloadLabel, 0, wxALIGN_CENTER_VERTICAL | wxLEFT, gap * 2);
    sizer->Add(m_progress, 0, wxALIGN_CENTER_VERTICAL | wxLEFT | wxRIGHT, gap);
    sizer->Add(m_progressText, 0, wxALIGN_CENTER_VERTICAL | wxRIGHT, gap);
    bar->SetSizer(sizer);

    RefreshPorts();
    m_portBox->Bind(wxEVT_COMBOBOX_DROPDOWN, [this](wxCommandEvent& event) {
        RefreshPorts();
        event.Skip();
    });
    m_portBox->Bind(wxEVT_COMBOBOX, &CMainFrame::OnPortChosen, this);
    // While the download controls take the bar's room, a long name shows whole in the tip.
    m_portBox->Bind(wxEVT_TEXT, [this](wxCommandEvent& event) {
        event.Skip();
        const wxString name = m_portBox->GetValue();
        if (m_portBox->GetToolTipText() != name) m_portBox->SetToolTip(name);
    });

    // Unticked until the application restores the operator's last choice;
    // the application enables it while no link runs.
    m_secondCpu->SetValue(false);
}

void CMainFrame::FitDialogBar() {
    // The bar is at its longest now (the download controls are still shown):
    // where a language's labels make it wider than the window, the window
    // widens rather than clip them.
    const int barWidth = m_wndDlgBar->GetBestSize().GetWidth();
    const wxSize client = GetClientSize();
    if (client.GetWidth() < barWidth) SetClientSize(wxSize(barWidth, client.GetHeight()));
}

wxSize CMainFrame::MinimumClientSize() const {
    // The bar's controls whole, and a few information lines (the rest scroll).
    const wxSize bar = m_wndDlgBar->GetBestSize();
    const int lines = m_canvas->GetCharHeight() * 4;
    return wxSize(bar.GetWidth(), bar.GetHeight() + lines);
}

bool CMainFrame::LinkPaneCutsText(const wxString& text) const {
    wxRect pane;
    if (m_wndStatusBar == nullptr || !m_wndStatusBar->GetFieldRect(kLinkPane, pane)) return false;
    return m_wndStatusBar->GetTextExtent(text).GetWidth() + m_wndStatusBar->FromDIP(8) > pane.GetWidth();
}

void CMainFrame::ShowLinkAdvice(const wxString& text) {
    if (m_linkAdvice == nullptr) return;
    const bool show = !text.empty() && LinkPaneCutsText(text);
    const int width = GetClientSize().GetWidth() - FromDIP(12);
    const bool changed = show != m_linkAdvice->IsShown() || (show && (m_linkAdviceText != text || m_linkAdviceWidth != width));
    if (!changed) return;
    m_linkAdviceText = show ? text : wxString();
    m_linkAdviceWidth = width;
    if (show) {
        m_linkAdvice->SetLabel(text);
        m_linkAdvice->Wrap(std::max(width, 1));
    }
    m_linkAdvice->Show(show);
    Layout();
}

void CMainFrame::CreateStatusBarPanes() {
    // The prompt, the link pane, then CAP, NUM and SCRL.
    m_wndStatusBar = CreateStatusBar(5);
    int widths[5] = {-2, -3, 0, 0, 0};
    const unsigned indicators[3] = {ID_INDICATOR_CAPS, ID_INDICATOR_NUM, ID_INDICATOR_SCRL};
    for (int i = 0; i < 3; ++i)
        widths[i + 2] = m_wndStatusBar->GetTextExtent(Text(indicators[i])).GetWidth() + m_wndStatusBar->FromDIP(16);
    m_wndStatusBar->SetStatusWidths(5, widths);
    SetStatusText(Text(AFX_IDS_IDLEMESSAGE), 0);
    m_wndStatusBar->Bind(wxEVT_MOTION, &CMainFrame::OnStatusBarMotion, this);
    UpdateLinkPane(LinkSnapshot());
}

void CMainFrame::UpdateLinkPane(const LinkSnapshot& link) {
    const CLinkPane::Clock::time_point now = CLinkPane::Clock::now();
    const wxString text = wxString::FromUTF8(m_linkPane.Text(link, now));
    // A text the pane cuts short shows whole in the status bar's own tool tip.
    if (m_wndStatusBar != nullptr && m_wndStatusBar->GetStatusText(kLinkPane) != text)
        m_wndStatusBar->SetStatusText(text, kLinkPane);
    const wxString progress = wxString::FromUTF8(m_linkPane.ProgressText(now));
    if (m_progressText != nullptr && m_progressText->GetLabel() != progress) m_progressText->SetLabel(progress);
    const std::string latency = m_linkPane.LatencyTooltip(link);
    m_linkTooltip = latency.empty() ? wxString() : text + "\n" + wxString::FromUTF8(latency);
    // A tip on show follows the seconds, rather than keep what the pointer found.
    if (m_linkTooltipShown && m_wndStatusBar->GetToolTipText() != m_linkTooltip) {
        if (m_linkTooltip.empty()) {
            m_wndStatusBar->UnsetToolTip();
            m_linkTooltipShown = false;
        } else {
            m_wndStatusBar->SetToolTip(m_linkTooltip);
        }
    }
    ShowLinkAdvice(text);
    // Once per port, the fix where the prompt is read.
    const std::string warning = m_linkPane.FirstLatencyWarningText(link);
    if (!warning.empty()) SetStatusText(wxString::FromUTF8(warning), 0);
}

void CMainFrame::ShowDownloadFinished(const LinkSnapshot& link) {
    if (m_progress != nullptr) m_progress->SetValue(m_progress->GetRange());
    m_linkPane.DownloadFinished();
    UpdateLinkPane(link);
    // Each control paints itself: on Windows a parent's repaint leaves its children's for later.
    for (wxWindow* shown : {static_cast<wxWindow*>(m_progress), static_cast<wxWindow*>(m_progressText),
                            static_cast<wxWindow*>(m_wndStatusBar)})
        if (shown != nullptr) shown->Update();
}

// Over the link pane the status bar's tool tip is the pane's; elsewhere one the
// pane had set is taken away, so the bar's own tips stay as they were.
void CMainFrame::OnStatusBarMotion(wxMouseEvent& event) {
    event.Skip();
    if (m_wndStatusBar == nullptr) return;
    wxRect pane;
    const bool over = !m_linkTooltip.empty() && m_wndStatusBar->GetFieldRect(kLinkPane, pane) &&
                      pane.Contains(event.GetPosition());
    if (over && m_wndStatusBar->GetToolTipText() != m_linkTooltip) {
        m_wndStatusBar->SetToolTip(m_linkTooltip);
        m_linkTooltipShown = true;
    } else if (!over && m_linkTooltipShown) {
        m_wndStatusBar->UnsetToolTip();
        m_linkTooltipShown = false;
    }
}

wxString CMainFrame::GetLinkPaneText() const {
    return m_wndStatusBar != nullptr ? m_wndStatusBar->GetStatusText(kLinkPane) : wxString();
}

void CMainFrame::RefreshPorts() {
    if (m_portBox == nullptr) return;
    const std::vector<SerialPortEntry> reported = ListPorts();
    const bool present = m_rememberedPort.empty() || PortExists(m_rememberedPort);
    ShowPortItems(*m_portBox, m_portItems, PortBoxItems(StandardPortNames(), reported, m_rememberedPort, present));
}

void CMainFrame::OnPortChosen(wxCommandEvent& event) {
    // The field keeps the port's name only, not its description.
    const int index = event.GetSelection();
    if (index >= 0 && static_cast<size_t>(index) < m_portItems.size()) {
        const wxString name = wxString::FromUTF8(m_portItems[static_cast<size_t>(index)].name);
        CallAfter([this, name] { m_portBox->ChangeValue(name); });
    }
    event.Skip();
}

void CMainFrame::UpdateIndicators() {
    if (m_wndStatusBar == nullptr) return;
    const struct {
        int pane;
        wxKeyCode key;
        unsigned text;
    } indicators[3] = {{2, WXK_CAPITAL, ID_INDICATOR_CAPS}, {3, WXK_NUMLOCK, ID_INDICATOR_NUM},
                       {4, WXK_SCROLL, ID_INDICATOR_SCRL}};
    for (const auto& indicator : indicators) {
        const wxString text = IsKeyLockOn(indicator.key) ? Text(indicator.text) : wxString();
        if (m_wndStatusBar->GetStatusText(indicator.pane) != text) m_wndStatusBar->SetStatusText(text, indicator.pane);
    }
}

void CMainFrame::ShowDownloadProgress(bool show) {
    bool changed = false;
    for (wxWindow* control : {static_cast<wxWindow*>(m_downloadLabel), static_cast<wxWindow*>(m_progress),
                              static_cast<wxWindow*>(m_progressText)}) {
        if (control == nullptr || control->IsShown() == show) continue;
        control->Show(show);
        changed = true;
    }
    if (changed) m_wndDlgBar->Layout();
}

bool CMainFrame::IsDownloadProgressShown() const {
    return m_downloadLabel != nullptr && m_downloadLabel->IsShown() && m_progress->IsShown();
}

void CMainFrame::GetPortText(wxString& text) const {
    // A description shown in the field still stands for its port's name.
    text = m_portBox != nullptr
               ? wxString::FromUTF8(PortNameOf(m_portItems, std::string(m_portBox->GetValue().utf8_str())))
               : wxString();
}

void CMainFrame::SetPortText(const wxString& text) {
    if (m_portBox == nullptr) return;
    m_portBox->SetValue(text);
    // The remembered port: kept in the list, marked when it is not there.
    m_rememberedPort = std::string(text.utf8_str());
    RefreshPorts();
}

bool CMainFrame::IsSecondCpuChosen() const { return m_secondCpu != nullptr && m_secondCpu->GetValue(); }

void CMainFrame::SetSecondCpuChosen(bool chosen) {
    if (m_secondCpu != nullptr) m_secondCpu->SetValue(chosen);
}

void CMainFrame::EnableSecondCpuBox(bool enable) {
    if (m_secondCpu != nullptr && m_secondCpu->IsEnabled() != enable) m_secondCpu->Enable(enable);
}

void CMainFrame::OnProgressMessage(wxThreadEvent& event) {
    const LinkMessage message = CPostedMessageTarget::MessageOf(event);
    if (m_progress == nullptr) return;
    if (message.message == PBM_SETRANGE) {
        // The range runs from 0 to the high word of lParam.
        const int range = static_cast<int>((static_cast<uint32_t>(message.lParam) >> 16) & 0xFFFFu);
        m_progress->SetRange(range);
        m_linkPane.ProgressRange(static_cast<uint32_t>(range), CLinkPane::Clock::now());
    } else if (message.message == PBM_SETPOS) {
        // A position past the end shows a full bar, as the system's control does.
        const uintptr_t limit = static_cast<uintptr_t>(m_progress->GetRange());
        m_progress->SetValue(static_cast<int>(std::min<uintptr_t>(message.wParam, limit)));
        m_linkPane.ProgressPosition(static_cast<uint32_t>(message.wParam));
    }
}

void CMainFrame::RefreshRecentFiles() {
    if (m_fileMenu == nullptr) return;
    wxFileHistory* history = m_manager->GetFileHistory();
    // The entries sit between the two separators after Save As.
    int position = -1;
    for (size_t i = 0; i < m_fileMenu->GetMenuItemCount(); ++i) {
        wxMenuItem* item = m_fileMenu->FindItemByPosition(i);
        const int id = item->GetId();
        if (id == CMD_RECENT_PLACEHOLDER || (id >= CMD_MRU_FIRST && id <= wxID_FILE9)) {
            if (position < 0) position = static_cast<int>(i);
            m_fileMenu->Destroy(item);
            --i;
        }
    }
    if (position < 0) return;
    const size_t count = history != nullptr ? history->GetCount() : 0;
    if (count == 0) {
        m_fileMenu->Insert(position, CMD_RECENT_PLACEHOLDER, _("Recent File"), Prompt(CMD_MRU_FIRST));
        return;
    }
    for (size_t i = 0; i < count; ++i) {
        wxString path = history->GetHistoryFile(i);
        path.Replace("&", "&&");
        m_fileMenu->Insert(position + static_cast<int>(i), CMD_MRU_FIRST + static_cast<int>(i),
                           wxString::Format("&%zu %s", i + 1, path), Prompt(CMD_MRU_FIRST));
    }
}

void CMainFrame::OnViewToolbar(wxCommandEvent&) {
    if (m_wndToolBar == nullptr) return;
    m_wndToolBar->Show(!m_wndToolBar->IsShown());
    SendSizeEvent();
}

void CMainFrame::OnViewStatusBar(wxCommandEvent&) {
    if (m_wndStatusBar == nullptr) return;
    m_wndStatusBar->Show(!m_wndStatusBar->IsShown());
    SendSizeEvent();
}

void CMainFrame::OnUpdateViewToolbar(wxUpdateUIEvent& event) {
    event.Check(m_wndToolBar != nullptr && m_wndToolBar->IsShown());
}

void CMainFrame::OnUpdateViewStatusBar(wxUpdateUIEvent& event) {
    event.Check(m_wndStatusBar != nullptr && m_wndStatusBar->IsShown());
}
