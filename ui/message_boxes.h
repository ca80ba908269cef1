#pragma once
// Every message box of the application goes through ShowMessageBox, so that
// an unattended run (the application's automation hook, ui/automation; the
// GUI tests set one too) answers the boxes no person will see. Window thread.
#include <wx/string.h>

class wxWindow;

// Shows a modal box and returns the button pressed (wxOK, wxYES, wxNO, ...),
// as wxMessageBox does. style holds the buttons and the icon.
int ShowMessageBox(const wxString& text, const wxString& caption, long style, wxWindow* owner);
// The box itself, as each system shows it best (posix/, win32/system_message_box.cpp);
// ShowMessageBox calls it when no automation answers.
int ShowSystemMessageBox(const wxString& text, const wxString& caption, long style, wxWindow* owner);
