#include "ui/message_boxes.h"

#include <wx/msgdlg.h>

// Wine measures a box's text narrower than it draws it and cuts the last
// letter ("successfuly" shows as "successful"); a no-break space after the
// text gives that letter its room and shows as nothing.
int ShowSystemMessageBox(const wxString& text, const wxString& caption, long style, wxWindow* owner) {
    return wxMessageBox(text + wxUniChar(0x00A0), caption, style, owner);
}
