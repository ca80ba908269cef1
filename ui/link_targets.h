#pragma once
// The link's message targets in the window system: Post() queues a
// wxThreadEvent carrying the message to a window-thread event handler, so the
// worker never waits and the handler runs on the window thread in posting order.
#include <wx/event.h>

#include "link/message_target.h"

wxDECLARE_EVENT(EVT_LINK_MESSAGE, wxThreadEvent);

class CPostedMessageTarget final : public IMessageTarget {
public:
    // handler must outlive every Post (the link is stopped, or the target
    // withdrawn from it, before the handler goes away).
    explicit CPostedMessageTarget(wxEvtHandler* handler) : m_handler(handler) {}

    // Any thread; never blocks on the window thread.
    void Post(uint32_t message, uintptr_t wParam, intptr_t lParam) override;

    // The message an EVT_LINK_MESSAGE event carries.
    static LinkMessage MessageOf(const wxThreadEvent& event);

private:
    wxEvtHandler* m_handler;
};
