#include "ui/autorun.h"

#include <cstdio>
#include <cstring>

#include <wx/gauge.h>

#include "res/resource_ids.h"
#include "ui/commands.h"
#include "ui/globals.h"
#include "ui/kav_app.h"
#include "ui/main_frame.h"
#include "ui/message_boxes.h"
#include "ui/string_text.h"

namespace {
constexpr auto kStepTime = std::chrono::seconds(60);
}

CAutorun::CAutorun(CKavApp& app, Goal goal) : m_app(app), m_goal(goal), m_timer(this) {
    Bind(wxEVT_TIMER, &CAutorun::OnTick, this);
    SetMessageBoxHandler([this](const wxString& text, const wxString& caption, long style, wxWindow*) {
        std::printf("autorun: box \"%s\": %s\n", static_cast<const char*>(caption.utf8_str()),
                    static_cast<const char*>(text.utf8_str()));
        std::fflush(stdout);
        if (text == Text(IDS_DOWNLOAD_DONE)) m_downloadDone = true;
        return (style & wxYES_NO) != 0 ? wxNO : wxOK;
    });
}

CAutorun::~CAutorun() { SetMessageBoxHandler(nullptr); }

void CAutorun::Begin() {
    wxString port;
    if (CMainFrame* frame = CMainFrame::Get()) frame->GetPortText(port);
    std::printf("autorun: port box \"%s\"\n", static_cast<const char*>(port.utf8_str()));
    std::fflush(stdout);
    m_deadline = std::chrono::steady_clock::now() + kStepTime;
    m_timer.Start(100);
}

void CAutorun::Fail(const char* reason) {
    std::printf("autorun: failed: %s\n", reason);
    std::fflush(stdout);
    m_step = Step::Finished;
    m_timer.Stop();
    m_app.SetExitCode(1);
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
            m_app.OnDeviceConnect(command);
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
                m_step = Step::Finished;
                m_timer.Stop();
                std::printf("autorun: connected \"%s\"\n", g_link.m_portName.Text());
                std::fflush(stdout);
                frame->Close(true);
                return;
            }
            m_step = Step::Download;
            break;
        case Step::Download:
            command.SetId(CMD_DEVICE_DOWNLOAD);
            m_app.OnDeviceDownload(command);
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
                m_step = Step::Finished;
                m_timer.Stop();
                PrintPlace(frame, "done");
            }
            break;
        case Step::Finished:
            break;
    }
}
