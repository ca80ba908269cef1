#include "ui/add_bay_dialog.h"

#include <wx/checkbox.h>
#include <wx/combobox.h>
#include <wx/sizer.h>
#include <wx/stattext.h>

#include "res/translation.h"
#include "ui/main_frame.h"
#include "ui/port_box.h"
#include "ui/station_texts.h"

namespace {
wxString T(const char* english) { return wxString::FromUTF8(Tr(english)); }
}  // namespace

CAddBayDialog::CAddBayDialog(wxWindow* parent) : wxDialog(parent, wxID_ANY, T(stationtext::kAddBayTitle)) {
    m_box = new wxComboBox(this, wxID_ANY, wxString(), wxDefaultPosition, FromDIP(wxSize(380, -1)));
    m_secondCpu = new wxCheckBox(this, wxID_ANY, T(stationtext::kSecondCpu));
    auto* sizer = new wxBoxSizer(wxVERTICAL);
    sizer->Add(new wxStaticText(this, wxID_ANY, T(stationtext::kAddBayPrompt)), 0, wxALL, FromDIP(8));
    sizer->Add(m_box, 0, wxEXPAND | wxLEFT | wxRIGHT, FromDIP(8));
    sizer->Add(m_secondCpu, 0, wxALL, FromDIP(8));
    sizer->Add(CreateStdDialogButtonSizer(wxOK | wxCANCEL), 0, wxEXPAND | wxALL, FromDIP(8));
    SetSizerAndFit(sizer);
    m_box->SetFocus();

    RefreshPorts();
    m_box->Bind(wxEVT_COMBOBOX_DROPDOWN, [this](wxCommandEvent& event) {
        RefreshPorts();
        event.Skip();
    });
    // Without the system's notifications the list is still refreshed when opened.
    const bool watching = m_watch.Start([this] { CallAfter(&CAddBayDialog::RefreshPorts); });
    (void)watching;
}

// The watch stops before the controls go; a report still queued is dropped
// with the dialog's pending events.
CAddBayDialog::~CAddBayDialog() { m_watch.Stop(); }

void CAddBayDialog::RefreshPorts() {
    // Only the ports the system reports: a bay's fixture is a real adapter.
    ShowPortItems(*m_box, m_items, PortBoxItems({}, CMainFrame::ListPorts(), std::string(), true));
}

BayConfig CAddBayDialog::Bay() const {
    BayConfig bay;
    const wxString typed = wxString(m_box->GetValue()).Trim().Trim(false);
    bay.port = PortNameOf(m_items, std::string(typed.utf8_str()));
    bay.secondCpu = m_secondCpu->GetValue();
    return bay;
}
