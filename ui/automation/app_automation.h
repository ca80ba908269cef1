#pragma once
// ui/automation/: the unattended runs behind the desktop application's hidden
// switches: the screenshots (--autorun-download, --autorun-station), the
// benchmark (--autorun-download) and the installed program's check
// (--autorun-connect). The application knows only this hook: it calls it once
// started and at its exit, and every message box is answered through it
// while one is set (the GUI tests set one that records the boxes).
// Window thread.
#include <memory>

#include <wx/string.h>

class CKavApp;
class wxCmdLineParser;

class IAppAutomation {
public:
    virtual ~IAppAutomation() = default;
    // The application has started: the main window is shown with the port
    // box filled (and the station window open when asked for).
    virtual void Started(CKavApp& app) = 0;
    // A message box no person will see: the button pressed (wxOK, wxYES,
    // wxNO, ...), as wxMessageBox returns it.
    virtual int AnswerBox(const wxString& text, const wxString& caption, long style) = 0;
    // The application's exit step begins: nothing may run after it.
    virtual void Ending() {}
    // True when the run needs the station window.
    virtual bool OpensStation() const { return false; }
};

// The hidden switches, for the application's command line (never shown).
void AddAutomationSwitches(wxCmdLineParser& parser);
// The run the switches ask for; null when none does.
std::unique_ptr<IAppAutomation> AutomationFromSwitches(const wxCmdLineParser& parser);
