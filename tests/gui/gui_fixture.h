#pragma once
// In-process GUI tests: the application runs on this thread under Xvfb; the
// tests send commands as wxCommandEvents, pump the event loop until a
// condition holds, and answer message boxes through a recorder.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include <wx/string.h>

#include "ui/kav_app.h"

class CMainFrame;
class CKavView;
struct SerialPortEntry;

// The ports the windows list come from `present` while this lives, as if the
// system reported them; the system's list again afterwards.
class CScopedPortSource {
public:
    explicit CScopedPortSource(const std::vector<SerialPortEntry>& present);
    ~CScopedPortSource();
    CScopedPortSource(const CScopedPortSource&) = delete;
    CScopedPortSource& operator=(const CScopedPortSource&) = delete;
};

struct RecordedBox {
    wxString text;
    wxString caption;
    long style = 0;
    // The main window as the box opened: its link pane and progress bar.
    wxString linkPane;
    int progress = -1;
};

// The directory the test process keeps its configuration and files in.
const std::string& TestDirectory();

// Runs pending events, GTK's events and one idle pass.
void PumpEvents();
// Pumps until done() holds or timeoutMs pass; true when it held.
bool PumpUntil(const std::function<bool()>& done, int timeoutMs);
// Pumps for a while (lets the worker and the event loop move on).
void PumpFor(int milliseconds);

class GuiTest : public ::testing::Test {
public:
    // Records a box the application showed; the button it is answered with.
    int RecordBox(const wxString& text, const wxString& caption, long style);

protected:
    void SetUp() override;
    void TearDown() override;

    // Start-up as the program does it; false when it failed.
    bool Start(const StartOptions& options = StartOptions());
    // Closes the main window as the operator would, then the exit step.
    void Stop();

    CKavApp& App();
    CMainFrame& Frame();
    CKavView* View();
    // The twelve lines the view paints now.
    std::vector<std::string> Lines();

    // Sends a command as the menu, a key or a button does.
    void Command(int id);
    // What the command's enabling rules answer now.
    bool IsEnabled(int id);
    // The tool bar button's state after an idle pass.
    bool IsToolEnabled(int id);

    // Boxes shown so far; every box answers with m_answer (for Yes/No boxes) or OK.
    std::vector<RecordedBox> m_boxes;
    int m_answer = 0;
    bool HasBox(const wxString& text) const;
    bool WaitForBox(const wxString& text, int timeoutMs);

    // Writes a file under the test directory and returns its path.
    std::string WriteFile(const std::string& name, const std::vector<uint8_t>& bytes);

private:
    bool m_started = false;
};
