#pragma once
// The About box: the icon, the program's name and version, a notice line and
// OK. Window thread.
#include <wx/dialog.h>

class CAboutDlg : public wxDialog {
public:
    explicit CAboutDlg(wxWindow* parent);

    static wxString NameLine();
    static wxString NoticeLine();
};
