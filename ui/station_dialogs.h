#pragma once
// The station window's small setting dialogs: where the records go (with the
// server's password in a masked field of its own) and the work order.
// Window thread.
#include <cstdint>
#include <string>

#include <wx/dialog.h>

class wxSpinCtrl;
class wxTextCtrl;

class CRecordsDialog : public wxDialog {
public:
    // locator is shown as it is (it holds no password).
    CRecordsDialog(wxWindow* parent, const std::string& locator);
    std::string Locator() const;
    std::string Password() const;

private:
    wxTextCtrl* m_locator = nullptr;
    wxTextCtrl* m_password = nullptr;
};

class COrderDialog : public wxDialog {
public:
    COrderDialog(wxWindow* parent, const std::string& orderId, uint64_t quantity);
    std::string OrderId() const;
    uint64_t Quantity() const;

private:
    wxTextCtrl* m_order = nullptr;
    wxSpinCtrl* m_quantity = nullptr;
};
