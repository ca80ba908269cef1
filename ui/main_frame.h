#pragma once
// The main window: menu bar, tool bar, the dialog bar with the port box and
// the download controls, the information view's window and the status bar.
// Window thread.
#include <functional>
#include <string>
#include <vector>

#include <wx/docview.h>

#include "link/port_list.h"
#include "link/port_watch.h"
#include "ui/link_pane.h"
#include "ui/link_targets.h"

class wxCheckBox;
class wxComboBox;
class wxGauge;
class wxPanel;
class wxStaticText;
class wxStatusBar;
class wxToolBar;
class CKavCanvas;
class CKavDocManager;

// The port box is at least wide enough for this path.
inline constexpr const char* kTypicalPortPath = "/dev/ttyUSB0";

class CMainFrame : public wxDocParentFrame {
public:
    CMainFrame(CKavDocManager* manager, const wxString& title);
    ~CMainFrame() override;

    // The one main frame while it exists, else nullptr.
    static CMainFrame* Get();

    // Shows or hides the download label and the progress bar together; a
    // control already in the wanted state is left alone.
    void ShowDownloadProgress(bool show);
    bool IsDownloadProgressShown() const;
    // Where the link's worker posts the progress bar's range and position.
    IMessageTarget* GetProgressWindow() { return &m_progressTarget; }
    // The port box's edit field: a chosen entry or whatever was typed.
    void GetPortText(wxString& text) const;
    void SetPortText(const wxString& text);
    // The "Second CPU" box: whether it is ticked, and whether the operator may
    // change it (only while no link runs); a box already in the wanted state is
    // left alone.
    bool IsSecondCpuChosen() const;
    void SetSecondCpuChosen(bool chosen);
    void EnableSecondCpuBox(bool enable);
    // The recent-file entries of the File menu, rebuilt from the list.
    void RefreshRecentFiles();
    // CAP, NUM and SCRL from the keyboard's lock states.
    void UpdateIndicators();

    // The link pane (between the prompt and CAP) and the text beside the
    // progress bar, from the link's state now.
    void UpdateLinkPane(const LinkSnapshot& link);
    // The download's end: a full bar and the pane's finished text, painted
    // now (before the box that says so holds the loop).
    void ShowDownloadFinished(const LinkSnapshot& link);
    CLinkPane& LinkPane() { return m_linkPane; }
    const CLinkPane& LinkPaneConst() const { return m_linkPane; }
    wxString GetLinkPaneText() const;
    // What the link pane's tool tip shows while the link runs: its text and the adapter's latency.
    wxString GetLinkPaneTooltip() const { return m_linkTooltip; }
    wxStaticText* GetProgressText() const { return m_progressText; }
    // Below the bar, wrapped to the window's width: the link pane's text while
    // the pane is too narrow for it (hidden otherwise).
    wxStaticText* GetLinkAdvice() const { return m_linkAdvice; }

    // Lists the ports again, keeping the box's text; runs when the list is
    // opened and when a port comes or goes.
    void RefreshPorts();
    CPortWatch& GetPortWatch() { return m_portWatch; }
    // Tests: where the port list comes from (empty: the system's ports).
    using PortSource = std::function<std::vector<SerialPortEntry>()>;
    static void SetPortSource(PortSource source);
    // The ports the system reports, or the tests' source; window thread.
    static std::vector<SerialPortEntry> ListPorts();

    static constexpr int kLinkPane = 1;

    CKavCanvas* GetCanvas() const { return m_canvas; }
    wxComboBox* GetPortBox() const { return m_portBox; }
    wxGauge* GetProgressBar() const { return m_progress; }
    wxStaticText* GetDownloadLabel() const { return m_downloadLabel; }
    wxCheckBox* GetSecondCpuBox() const { return m_secondCpu; }
    wxPanel* GetDialogBar() const { return m_wndDlgBar; }

private:
    void CreateMenuBar();
    void CreateToolBarButtons();
    void CreateDialogBar();
    void FitDialogBar();
    void CreateStatusBarPanes();
    wxSize MinimumClientSize() const;
    bool LinkPaneCutsText(const wxString& text) const;
    void ShowLinkAdvice(const wxString& text);
    void OnProgressMessage(wxThreadEvent& event);
    void OnPortChosen(wxCommandEvent& event);
    void OnStatusBarMotion(wxMouseEvent& event);
    void OnViewToolbar(wxCommandEvent& event);
    void OnViewStatusBar(wxCommandEvent& event);
    void OnUpdateViewToolbar(wxUpdateUIEvent& event);
    void OnUpdateViewStatusBar(wxUpdateUIEvent& event);

    wxStatusBar* m_wndStatusBar = nullptr;
    wxToolBar* m_wndToolBar = nullptr;
    wxPanel* m_wndDlgBar = nullptr;
    wxComboBox* m_portBox = nullptr;
    wxStaticText* m_downloadLabel = nullptr;
    wxGauge* m_progress = nullptr;
    wxStaticText* m_progressText = nullptr;
    wxStaticText* m_linkAdvice = nullptr;
    wxString m_linkAdviceText;
    int m_linkAdviceWidth = 0;
    wxCheckBox* m_secondCpu = nullptr;
    CKavCanvas* m_canvas = nullptr;
    wxMenu* m_fileMenu = nullptr;
    CKavDocManager* m_manager;
    CPostedMessageTarget m_progressTarget;
    CLinkPane m_linkPane;
    wxString m_linkTooltip;
    bool m_linkTooltipShown = false;
    std::vector<PortBoxItem> m_portItems;
    std::string m_rememberedPort;
    // Last member: stopped (its thread joined) before anything it reaches goes.
    CPortWatch m_portWatch;
};
