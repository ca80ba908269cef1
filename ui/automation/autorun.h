#pragma once
// The unattended runs. Download (behind the screenshot and the benchmark):
// connect to the port in the port box, wait for the device, download, wait
// for the end; one line with the main window's place on the screen part way
// through the download ("autorun: downloading X Y W H") and one at the end
// ("autorun: done ..."). Connect (the installed program's check): connect,
// wait for the device, print the port, then close the window as the operator
// would, so the exit step remembers the port. Both print the port box first.
// Station (its screenshot and the Windows test): start every bay of the
// station window, print its place ("autorun: station X Y W H"), then each
// change of the tiles' state words ("autorun: tiles W | W ...") and each new
// row of the records table ("autorun: record CELL | CELL ..."). Boxes are answered OK (No to a
// question) and printed. Window thread.
#include <chrono>
#include <memory>
#include <set>
#include <string>

#include <wx/event.h>
#include <wx/timer.h>

#include "ui/automation/app_automation.h"

class CMainFrame;

class CAutorun final : public wxEvtHandler, public IAppAutomation {
public:
    enum class Goal { Download, Connect, Station };
    explicit CAutorun(Goal goal);
    ~CAutorun() override;

    void Started(CKavApp& app) override;
    int AnswerBox(const wxString& text, const wxString& caption, long style) override;
    void Ending() override;
    bool OpensStation() const override { return m_goal == Goal::Station; }

private:
    enum class Step { Connect, WaitDevice, Download, WaitDone, Finished };
    void StartStation();
    void ReportStation();
    void OnTick(wxTimerEvent& event);
    void Fail(const char* reason);
    void Finish();
    void PrintPlace(CMainFrame* frame, const char* moment);

    Goal m_goal;
    CKavApp* m_app = nullptr;
    std::unique_ptr<wxTimer> m_timer;  // from the start to the end of the run
    Step m_step = Step::Connect;
    std::chrono::steady_clock::time_point m_deadline;
    bool m_downloadDone = false;
    bool m_midwayShown = false;
    std::string m_shownTiles;  // the station's last reported tiles
    std::set<std::string> m_shownRows;  // the table orders rows by their start, not their arrival
};
