#include "ui/message_boxes.h"

#include <utility>

#include <wx/msgdlg.h>

namespace {
MessageBoxHandler& Handler() {
    static MessageBoxHandler handler;
    return handler;
}
}  // namespace

int ShowMessageBox(const wxString& text, const wxString& caption, long style, wxWindow* owner) {
    if (Handler()) return Handler()(text, caption, style, owner);
    return wxMessageBox(text, caption, style, owner);
}

void SetMessageBoxHandler(MessageBoxHandler handler) { Handler() = std::move(handler); }
