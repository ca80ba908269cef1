#include "ui/message_boxes.h"

#include <wx/msgdlg.h>

// GTK's own message dialog sizes itself to its text.
int ShowSystemMessageBox(const wxString& text, const wxString& caption, long style, wxWindow* owner) {
    return wxMessageBox(text, caption, style, owner);
}
