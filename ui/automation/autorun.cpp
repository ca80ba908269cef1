#include "ui/automation/autorun.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include <wx/cmdline.h>
#include <wx/gauge.h>

#include "ui/ui_resource_ids.h"
#include "ui/commands.h"
#include "ui/globals.h"
#include "ui/kav_app.h"
#include "ui/main_frame.h"
#include "ui/station_window.h"
#include "ui/string_text.h"

namespace {
constexpr auto kStepTime = std::chrono::seconds(60);
}

CAutorun::CAutorun(Goal goal) : m_goal(goal) { Bind(wxEVT_TIMER, &CAutorun::OnTick, this); }

CAutorun::~CAutorun() = default;

int CAutorun::AnswerBox(const wxString& text, const wxString& caption, long style) {
    std::printf("autorun: box \"%s\": %s\n", static_cast<const char*>(caption.utf8_str()),
                static_cast<const char*>(text.utf8_str()));
    std::fflush(stdout);
    if (text == Text(IDS_DOWNLOAD_DONE)) m_downloadDone = true;
    return (style & wxYES_NO) != 0 ? wxNO : wxOK;
}

void CAutorun::Started(CKavApp& app) {
    m_app = &app;
    if (m_goal == Goal::Station) {
        StartStation();
        return;
    }
    wxString port;
    if (CMainFrame* frame = CMainFrame::Get()) frame->GetPortText(port);
    std::printf("autorun: port box \"%s\"\n", static_cast<const char*>(port.utf8_str()));
    std::fflush(stdout);
    m_deadline = std::chrono::steady_clock::now() + kStepTime;
    m_timer = std::make_unique<wxTimer>(this);
    m_timer->Start(100);
}

void CAutorun::StartStation() {
    wxRect place;
    if (!StartEveryStationBay(place)) std::puts("autorun: failed: the station did not start");
    std::printf("autorun: station %d %d %d %d\n", place.x, place.y, place.width, place.height);
    std::fflush(stdout);
    m_timer = std::make_unique<wxTimer>(this);
    m_timer->Start(200);
}

void CAutorun::ReportStation() {
    std::vector<std::string> states, rows;
    if (!ReadStationWindow(states, rows)) return;
    std::string tiles;
    for (const std::string& state : states) tiles += (tiles.empty() ? "" : " | ") + state;
    if (tiles != m_shownTiles) {
        m_shownTiles = tiles;
        std::printf("autorun: tiles %s\n", tiles.c_str());
    }
    // Rows are printed once each, whichever place in the table they arrive at.
    for (const std::string& row : rows)
        if (m_shownRows.insert(row).second) std::printf("autorun: record %s\n", row.c_str());
    std::fflush(stdout);
}

// The timer goes before the toolkit does.
void CAutorun::Ending() { m_timer.reset(); }

void CAutorun::Finish() {
    m_step = Step::Finished;
    if (m_timer) m_timer->Stop();
}

void CAutorun::Fail(const char* reason) {
    std::printf("autorun: failed: %s\n", reason);
    std::fflush(stdout);
    Finish();
    m_app->SetExitCode(1);
    if (CMainFrame* frame = CMainFrame::Get()) frame->Close(true);
}

void CAutorun::PrintPlace(CMainFrame* frame, const char* moment) {
    frame->Refresh();
    frame->Update();
    const wxRect rect = frame->GetScreenRect();
    std::printf("autorun: %s %d %d %d %d\n", moment, rect.x, rect.y, rect.width, rect.height);
    std::fflush(stdout);
}

void CAutorun::OnTick(wxTimerEvent&) {
    if (m_goal == Goal::Station) {
        ReportStation();
        return;
    }
    CMainFrame* frame = CMainFrame::Get();
    if (frame == nullptr) return;
    if (std::chrono::steady_clock::now() > m_deadline) {
        Fail(m_step == Step::WaitDevice ? "the device did not answer" : "the download did not finish");
        return;
    }
    wxCommandEvent command(wxEVT_MENU);
    switch (m_step) {
        case Step::Connect:
            command.SetId(CMD_DEVICE_CONNECT);
            m_app->OnDeviceConnect(command);
            if (!g_link.m_running) {
                Fail("the port could not be opened");
                return;
            }
            m_step = Step::WaitDevice;
            break;
        case Step::WaitDevice:
            // Identity and hardware information have both arrived.
            if (g_link.SnapshotDevice().name.Text()[0] == '\0' || g_link.SnapshotDevice().hwCurrentMajor == 0) break;
            if (m_goal == Goal::Connect) {
                Finish();
                std::printf("autorun: connected \"%s\"\n", g_link.m_portName.Text());
                std::fflush(stdout);
                frame->Close(true);
                return;
            }
            m_step = Step::Download;
            break;
        case Step::Download:
            command.SetId(CMD_DEVICE_DOWNLOAD);
            m_app->OnDeviceDownload(command);
            if (!g_link.m_downloadRequested) {
                Fail("the download was refused");
                return;
            }
            m_deadline = std::chrono::steady_clock::now() + kStepTime;
            m_step = Step::WaitDone;
            break;
        case Step::WaitDone:
            // Once, part way through: the window while it downloads.
            if (!m_midwayShown && frame->GetProgressBar()->GetRange() > 0 &&
                frame->GetProgressBar()->GetValue() * 100 / frame->GetProgressBar()->GetRange() >= 40 &&
                g_link.m_phase.load() == LinkPhase::Downloading) {
                m_midwayShown = true;
                PrintPlace(frame, "downloading");
            }
            if (m_downloadDone && !g_link.m_downloadRequested && !frame->IsDownloadProgressShown()) {
                Finish();
                PrintPlace(frame, "done");
            }
            break;
        case Step::Finished:
            break;
    }
}

void AddAutomationSwitches(wxCmdLineParser& parser) {
    // Hidden, so never shown: not for the catalogue.
    parser.AddSwitch(wxString(), "autorun-download", "connect, download and report (for screenshots)",
                     wxCMD_LINE_HIDDEN);
    parser.AddSwitch(wxString(), "autorun-station", "open the station, start every bay and report (for screenshots)",
                     wxCMD_LINE_HIDDEN);
    parser.AddSwitch(wxString(), "autorun-connect", "connect, wait for the device, report and quit (for tests)",
                     wxCMD_LINE_HIDDEN);
}

std::unique_ptr<IAppAutomation> AutomationFromSwitches(const wxCmdLineParser& parser) {
    if (parser.Found("autorun-connect")) return std::make_unique<CAutorun>(CAutorun::Goal::Connect);
    if (parser.Found("autorun-download")) return std::make_unique<CAutorun>(CAutorun::Goal::Download);
    if (parser.Found("autorun-station")) return std::make_unique<CAutorun>(CAutorun::Goal::Station);
    return nullptr;
}
