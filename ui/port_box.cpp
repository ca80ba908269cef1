#include "ui/port_box.h"

#include <wx/combobox.h>

void ShowPortItems(wxComboBox& box, std::vector<PortBoxItem>& shown, std::vector<PortBoxItem> items) {
    if (items == shown) return;
    const wxString text = box.GetValue();
    shown = std::move(items);
    box.Clear();
    for (const PortBoxItem& item : shown) box.Append(wxString::FromUTF8(item.label));
    box.ChangeValue(text);
}
