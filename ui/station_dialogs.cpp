#include "ui/station_dialogs.h"

#include <algorithm>
#include <climits>

#include <wx/sizer.h>
#include <wx/spinctrl.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include "res/translation.h"
#include "ui/station_setting_texts.h"
#include "ui/station_texts.h"

namespace {
wxString T(const char* english) { return wxString::FromUTF8(Tr(english)); }

std::string Trimmed(const wxTextCtrl* field) {
    wxString value = field->GetValue();
    return std::string(value.Trim().Trim(false).utf8_str());
}

void Finish(wxDialog* dialog, wxBoxSizer* sizer) {
    sizer->Add(dialog->CreateStdDialogButtonSizer(wxOK | wxCANCEL), 0, wxEXPAND | wxALL, dialog->FromDIP(8));
    dialog->SetSizerAndFit(sizer);
}
}  // namespace

CRecordsDialog::CRecordsDialog(wxWindow* parent, const std::string& locator)
    : wxDialog(parent, wxID_ANY, T(stationtext::kRecordsTitle)) {
    const int gap = FromDIP(8);
    m_locator = new wxTextCtrl(this, wxID_ANY, wxString::FromUTF8(locator), wxDefaultPosition, FromDIP(wxSize(460, -1)));
    m_password = new wxTextCtrl(this, wxID_ANY, wxString(), wxDefaultPosition, wxDefaultSize, wxTE_PASSWORD);
    auto* sizer = new wxBoxSizer(wxVERTICAL);
    sizer->Add(new wxStaticText(this, wxID_ANY, T(stationtext::kRecordsPrompt)), 0, wxALL, gap);
    sizer->Add(m_locator, 0, wxEXPAND | wxLEFT | wxRIGHT, gap);
    sizer->Add(new wxStaticText(this, wxID_ANY, T(stationtext::kRecordsPasswordLabel)), 0, wxALL, gap);
    sizer->Add(m_password, 0, wxEXPAND | wxLEFT | wxRIGHT, gap);
    Finish(this, sizer);
    m_locator->SetFocus();
}

std::string CRecordsDialog::Locator() const { return Trimmed(m_locator); }
std::string CRecordsDialog::Password() const { return std::string(m_password->GetValue().utf8_str()); }

COrderDialog::COrderDialog(wxWindow* parent, const std::string& orderId, uint64_t quantity)
    : wxDialog(parent, wxID_ANY, T(stationtext::kOrderTitle)) {
    const int gap = FromDIP(8);
    m_order = new wxTextCtrl(this, wxID_ANY, wxString::FromUTF8(orderId), wxDefaultPosition, FromDIP(wxSize(260, -1)));
    const int shown = static_cast<int>(std::clamp<uint64_t>(quantity, 1, INT_MAX));
    m_quantity = new wxSpinCtrl(this, wxID_ANY, wxString(), wxDefaultPosition, wxDefaultSize, wxSP_ARROW_KEYS, 1,
                                INT_MAX, shown);
    auto* grid = new wxFlexGridSizer(2, gap, gap);
    grid->Add(new wxStaticText(this, wxID_ANY, T(stationtext::kOrderIdLabel)), 0, wxALIGN_CENTER_VERTICAL);
    grid->Add(m_order, 1, wxEXPAND);
    grid->Add(new wxStaticText(this, wxID_ANY, T(stationtext::kOrderQuantityLabel)), 0, wxALIGN_CENTER_VERTICAL);
    grid->Add(m_quantity, 0);
    auto* sizer = new wxBoxSizer(wxVERTICAL);
    sizer->Add(grid, 0, wxEXPAND | wxALL, gap);
    Finish(this, sizer);
    m_order->SetFocus();
}

std::string COrderDialog::OrderId() const { return Trimmed(m_order); }
uint64_t COrderDialog::Quantity() const { return static_cast<uint64_t>(std::max(1, m_quantity->GetValue())); }
