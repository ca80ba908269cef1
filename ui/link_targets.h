#pragma once
// The link's message targets in the window system: Post() queues a
// wxThreadEvent carrying the message to a window-thread event handler, so the
// worker never waits and the handler runs on the window thread in posting order.
#include <wx/event.h>

#include "link/message_target.h"

// Link notifications for the view, progress messages for the frame: two
// event types, so neither handler sees the other's messages on their way
// through the frame and the document manager.
wxDECLARE_EVENT(EVT_LINK_NOTIFY_MESSAGE, wxThreadEvent);
wxDECLARE_EVENT(EVT_LINK_PROGRESS_MESSAGE, wxThreadEvent);

class CPostedMessageTarget final : public IMessageTarget {
public:
    // handler must outlive every Post (the link is stopped, or the target
    // withdrawn from it, before the handler goes away).
    CPostedMessageTarget(wxEvtHandler* handler, wxEventType type) : m_handler(handler), m_type(type) {}

    // Any thread; never blocks on the window thread.
    void Post(uint32_t message, uintptr_t wParam, intptr_t lParam) override;

    // The message one of these events carries.
    static LinkMessage MessageOf(const wxThreadEvent& event);

private:
    wxEvtHandler* m_handler;
    wxEventType m_type;
};
