#pragma once
// Asks for a new bay: a port picked from the live port list (labelled as the
// main window's port box labels it, and following adapters plugged in or out
// while the dialog is open) or a path typed as it is, and whether the bay's
// unit is addressed on its second CPU.
//
// Threads: the window thread only; the port watch's reports are posted to it.
#include <vector>

#include <wx/dialog.h>

#include "link/port_watch.h"
#include "station/station.h"
#include "ui/link_pane.h"

class wxCheckBox;
class wxComboBox;

class CAddBayDialog : public wxDialog {
public:
    explicit CAddBayDialog(wxWindow* parent);
    ~CAddBayDialog() override;

    // The bay as chosen: a picked entry stands for its port's name.
    BayConfig Bay() const;
    // Lists the ports again, keeping what the field holds.
    void RefreshPorts();

    wxComboBox* PortBox() const { return m_box; }
    CPortWatch& PortWatch() { return m_watch; }

private:
    std::vector<PortBoxItem> m_items;
    wxComboBox* m_box = nullptr;
    wxCheckBox* m_secondCpu = nullptr;
    CPortWatch m_watch;
};
