#pragma once
// The unattended run behind the screenshot: connect to the port in the port
// box, wait for the device, download, wait for the end, then print one line
// with the main window's place on the screen. Boxes are answered OK and
// printed. Window thread.
#include <chrono>

#include <wx/event.h>
#include <wx/timer.h>

class CKavApp;

class CAutorun : public wxEvtHandler {
public:
    explicit CAutorun(CKavApp& app);
    ~CAutorun() override;
    void Begin();

private:
    enum class Step { Connect, WaitDevice, Download, WaitDone, Finished };
    void OnTick(wxTimerEvent& event);
    void Fail(const char* reason);

    CKavApp& m_app;
    wxTimer m_timer;
    Step m_step = Step::Connect;
    std::chrono::steady_clock::time_point m_deadline;
    bool m_downloadDone = false;
};
