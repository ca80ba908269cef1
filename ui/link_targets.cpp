#include "ui/link_targets.h"

wxDEFINE_EVENT(EVT_LINK_NOTIFY_MESSAGE, wxThreadEvent);
wxDEFINE_EVENT(EVT_LINK_PROGRESS_MESSAGE, wxThreadEvent);

void CPostedMessageTarget::Post(uint32_t message, uintptr_t wParam, intptr_t lParam) {
    auto* event = new wxThreadEvent(m_type);
    event->SetPayload(LinkMessage{message, wParam, lParam});
    wxQueueEvent(m_handler, event);
}

LinkMessage CPostedMessageTarget::MessageOf(const wxThreadEvent& event) { return event.GetPayload<LinkMessage>(); }
