#pragma once
// Every message box of the application goes through ShowMessageBox, so tests
// (and the screenshot run) can answer boxes without a person. Window thread.
#include <functional>

#include <wx/string.h>

class wxWindow;

// Shows a modal box and returns the button pressed (wxOK, wxYES, wxNO, ...),
// as wxMessageBox does. style holds the buttons and the icon.
using MessageBoxHandler =
    std::function<int(const wxString& text, const wxString& caption, long style, wxWindow* owner)>;

int ShowMessageBox(const wxString& text, const wxString& caption, long style, wxWindow* owner);

// Replaces the handler; an empty handler restores the real wxMessageBox.
void SetMessageBoxHandler(MessageBoxHandler handler);
