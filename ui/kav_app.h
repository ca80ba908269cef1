#pragma once
// The application: start-up and exit, the device commands with their
// enabling rules, the force mode, the About box, and the idle step that shows
// or hides the download controls. Window thread.
#include <cstdint>
#include <memory>
#include <string>

#include <wx/app.h>
#include <wx/timer.h>

class wxCmdLineParser;
class CKavDocManager;
class CMainFrame;
class IAppAutomation;

struct StartOptions {
    wxString imagePath;   // a file to open instead of the built-in image
    wxString portName;    // fills the port box after start-up
    bool portGiven = false;
    bool station = false;          // --station: the station window opens too, with imagePath as its image
    wxString language;             // a catalogue's name ("de"); "" for KAVRO_LANG or the system's
};

class CKavApp : public wxApp {
public:
    CKavApp();
    ~CKavApp() override;

    bool OnInit() override;
    int OnExit() override;
    int OnRun() override;
    void OnInitCmdLine(wxCmdLineParser& parser) override;
    bool OnCmdLineParsed(wxCmdLineParser& parser) override;

    // Start-up: the document manager and template, the main window with the
    // first document, the link's settings and progress bar, the port box.
    // False when the first document cannot be created (everything made is undone).
    bool InitInstance(const StartOptions& options);
    // Exit: the link's progress bar withdrawn, its settings and the recent-file list saved.
    void ExitInstance();

    void OnAppAbout(wxCommandEvent& event);
    void OnDeviceConnect(wxCommandEvent& event);
    void OnDeviceDownload(wxCommandEvent& event);
    void OnDeviceReset(wxCommandEvent& event);
    void OnDeviceDisconnect(wxCommandEvent& event);
    void OnForceMode(wxCommandEvent& event);
    // The operator ticked or cleared the "Second CPU" box: the choice is saved.
    void OnSecondCpuBox(wxCommandEvent& event);
    void OnUpdateDeviceConnect(wxUpdateUIEvent& event);
    void OnUpdateDeviceDownload(wxUpdateUIEvent& event);
    void OnUpdateDeviceDisconnect(wxUpdateUIEvent& event);

    // The idle step: the download controls follow the link's request flag.
    void OnIdleStep();

    // The process exit code when the run ends (the unattended run's failure).
    void SetExitCode(int code) { m_exitCode = code; }
    bool IsForceMode() const { return m_forceMode != 0; }
    CMainFrame* GetMainFrame() const;
    CKavDocManager* GetDocManager() const { return m_docManager; }

    // The unattended run's hook (ui/automation), null for a person's run: told
    // when the application has started and when it ends, and it answers
    // every message box while set. Set before InitInstance.
    void SetAutomation(std::unique_ptr<IAppAutomation> automation);
    IAppAutomation* Automation() const { return m_automation.get(); }

private:
    void OnIdle(wxIdleEvent& event);
    void OnIdleTimer(wxTimerEvent& event);
    void SaveFileHistory();

    uint8_t m_forceMode = 0;
    int m_exitCode = 0;
    CKavDocManager* m_docManager = nullptr;
    StartOptions m_options;
    // The whole name last given to Connect in this run ("" before): what is
    // remembered at exit, however long.
    std::string m_chosenPort;
    // Wakes the loop now and then, so the idle step also runs while nothing
    // else happens (the worker clears its request flag without a message).
    wxTimer m_idleTimer;
    std::unique_ptr<IAppAutomation> m_automation;

    wxDECLARE_EVENT_TABLE();
};

