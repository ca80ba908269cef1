#pragma once
// The unattended runs. Download (behind the screenshot): connect to the port
// in the port box, wait for the device, download, wait for the end; one line
// with the main window's place on the screen part way through the download
// ("autorun: downloading X Y W H") and one at the end ("autorun: done ...").
// Connect (the installed program's check): connect, wait for the device, print
// the port, then close the window as the operator would, so the exit step
// remembers the port. Both print the port box first; boxes are answered OK and
// printed. Window thread.
#include <chrono>

#include <wx/event.h>
#include <wx/timer.h>

class CKavApp;
class CMainFrame;

class CAutorun : public wxEvtHandler {
public:
    enum class Goal { Download, Connect };
    CAutorun(CKavApp& app, Goal goal);
    ~CAutorun() override;
    void Begin();

private:
    enum class Step { Connect, WaitDevice, Download, WaitDone, Finished };
    void OnTick(wxTimerEvent& event);
    void Fail(const char* reason);
    void PrintPlace(CMainFrame* frame, const char* moment);

    CKavApp& m_app;
    Goal m_goal;
    wxTimer m_timer;
    Step m_step = Step::Connect;
    std::chrono::steady_clock::time_point m_deadline;
    bool m_downloadDone = false;
    bool m_midwayShown = false;
};
