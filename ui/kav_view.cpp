#include "ui/kav_view.h"

#include <algorithm>

#include <wx/dcclient.h>
#include <wx/settings.h>

#include "link/platform.h"
#include "res/info_lines.h"
#include "ui/ui_resource_ids.h"
#include "ui/ui_strings.h"
#include "ui/string_text.h"
#include "ui/globals.h"
#include "ui/main_frame.h"
#include "ui/message_boxes.h"
#include "ui/port_holder.h"
#include "ui/station_window.h"
#include "ui/ui_texts.h"

wxIMPLEMENT_DYNAMIC_CLASS(CKavView, wxView);

const wxColour CKavView::kDeviceColour(40, 75, 120);
const wxColour CKavView::kImageColour(40, 120, 75);

namespace {
// Device names are bytes from the device: UTF-8 when they are, Latin-1 otherwise.
wxString FromDeviceText(const std::string& text) {
    wxString converted = wxString::FromUTF8(text.c_str(), text.size());
    if (converted.empty() && !text.empty()) converted = wxString(text.c_str(), wxConvISO8859_1, text.size());
    return converted;
}

// The name the link pane shows for the port the link opened: the whole name
// given to Connect where the link opened the device it leads to.
std::string PortShownFor(const std::string& linkPort) {
    const CMainFrame* frame = CMainFrame::Get();
    const std::string shown = frame != nullptr ? frame->LinkPaneConst().Port() : std::string();
    return shown.empty() ? linkPort : shown;
}
}  // namespace

CKavCanvas::CKavCanvas(wxWindow* parent)
    : wxScrolledCanvas(parent, wxID_ANY, wxDefaultPosition, wxDefaultSize,
                       wxFULL_REPAINT_ON_RESIZE | wxBORDER_NONE | wxHSCROLL | wxVSCROLL),
      m_notifyTarget(this, EVT_LINK_NOTIFY_MESSAGE) {
    SetScrollRate(FromDIP(8), FromDIP(8));
    // The information colours were chosen for a white page: paint on white
    // whatever the desktop theme's window colour.
    SetBackgroundColour(*wxWHITE);
    Bind(wxEVT_PAINT, &CKavCanvas::OnPaint, this);
    Bind(EVT_LINK_NOTIFY_MESSAGE, &CKavCanvas::OnLinkMessage, this);
    Bind(wxEVT_SIZE, [this](wxSizeEvent& event) {
        event.Skip();
        FitScrollArea();
    });
}

CKavCanvas::~CKavCanvas() {
    if (g_link.m_notifyWindow.load() == &m_notifyTarget) {
        g_link.Stop();
        g_link.m_notifyWindow = nullptr;
    }
}

void CKavCanvas::OnLinkMessage(wxThreadEvent& event) {
    const LinkMessage message = CPostedMessageTarget::MessageOf(event);
    if (message.message == WM_LINK_NOTIFY && m_view != nullptr) m_view->OnLinkNotify(static_cast<int>(message.wParam));
}

void CKavCanvas::OnPaint(wxPaintEvent&) {
    wxPaintDC dc(this);
    DoPrepareDC(dc);
    if (m_view != nullptr) m_view->OnDraw(&dc);
}

void CKavCanvas::FitScrollArea() {
    // Not laid out yet: GTK's scroll bars take no size below their own (the size event comes back).
    const wxSize client = GetClientSize();
    if (m_view == nullptr || client.GetWidth() < FromDIP(40) || client.GetHeight() < FromDIP(40)) return;
    wxClientDC dc(this);
    const wxSize extent = m_view->LinesExtent(dc);
    if (GetVirtualSize() != extent) SetVirtualSize(extent);
}

CKavView::CKavView() {
    // Bold, a character cell 14 units high, Arial (Liberation Sans where
    // fontconfig stands in for it).
    m_font = wxFont(wxFontInfo(wxSize(0, 14)).Bold().FaceName("Arial"));
}

CKavView::~CKavView() {
    if (m_registered) g_link.Stop();
    if (m_canvas) {
        m_canvas->SetView(nullptr);
        m_canvas->Refresh();
    }
}

bool CKavView::OnCreate(wxDocument* doc, long flags) {
    if (!wxView::OnCreate(doc, flags)) return false;
    CMainFrame* frame = CMainFrame::Get();
    if (frame == nullptr) return false;
    SetFrame(frame);
    m_canvas = frame->GetCanvas();
    m_canvas->SetView(this);
    g_link.m_notifyWindow = m_canvas->NotifyTarget();
    m_registered = true;
    Activate(true);
    m_canvas->FitScrollArea();
    m_canvas->Refresh();
    return true;
}

void CKavView::OnUpdate(wxView*, wxObject*) {
    if (!m_canvas) return;
    m_canvas->FitScrollArea();
    m_canvas->Refresh();
}

void CKavView::OnChangeFilename() {
    wxWindow* frame = GetFrame();
    wxDocument* doc = GetDocument();
    if (frame != nullptr && doc != nullptr) frame->SetLabel(doc->GetDocumentManager()->MakeFrameTitle(doc));
}

std::vector<std::string> CKavView::InfoLines() const {
    const DeviceInfo device = g_link.SnapshotDevice();
    std::vector<std::string> lines;
    for (int line = 1; line <= INFO_LINE_COUNT; ++line)
        lines.push_back(FormatInfoLine(line, device, g_link.m_firmware, g_link.m_imagePath.Text()));
    return lines;
}

wxSize CKavView::LinesExtent(wxDC& dc) const {
    const int lineHeight = LineHeight(dc);
    int width = 0;
    for (const std::string& line : InfoLines()) width = std::max(width, dc.GetTextExtent(FromDeviceText(line)).GetWidth());
    // The text starts 4 pixels in; as much again after it.
    return wxSize(width + 8, lineHeight * INFO_LINE_COUNT);
}

int CKavView::LineHeight(wxDC& dc) const {
    if (m_font.IsOk()) dc.SetFont(m_font);
    return dc.GetCharHeight();
}

void CKavView::OnDraw(wxDC* dc) {
    ++m_paints;
    // What the window shows of the scrolled area; the rows fill the area's width.
    const wxSize size = m_canvas ? m_canvas->GetClientSize() : dc->GetSize();
    int width = size.GetWidth(), bottom = size.GetHeight();
    if (m_canvas) {
        width = std::max(width, m_canvas->GetVirtualSize().GetWidth());
        int left = 0;
        m_canvas->CalcUnscrolledPosition(0, bottom, &left, &bottom);
    }
    const LineRect client{0, 0, width, bottom};
    const int lineHeight = LineHeight(*dc);
    LineRect line = FirstLine(client, lineHeight);
    const std::vector<std::string> lines = InfoLines();
    for (int i = 0; i < INFO_LINE_COUNT; ++i) {
        if (i == 0) dc->SetTextForeground(kDeviceColour);
        if (i == DEVICE_LINE_COUNT) dc->SetTextForeground(kImageColour);
        DrawInfoLine(dc, FromDeviceText(lines[i]), line, client);
    }
}

bool CKavView::DrawInfoLine(wxDC* dc, const wxString& text, LineRect& line, const LineRect& client) {
    if (!IsLineVisible(line, client)) return false;
    const wxRect rect(line.left, line.top, line.right - line.left, line.bottom - line.top);
    // The whole line, the client's full width, is filled and the text clipped to it.
    const wxColour background = m_canvas ? m_canvas->GetBackgroundColour() : *wxWHITE;
    dc->SetPen(*wxTRANSPARENT_PEN);
    dc->SetBrush(wxBrush(background));
    dc->DrawRectangle(rect);
    {
        wxDCClipper clip(*dc, rect);
        dc->DrawText(text, line.left + 4, line.top);
    }
    AdvanceLine(line);
    return true;
}

void CKavView::OnLinkNotify(int code) {
    switch (code) {
        case LN_INFO_CHANGED:
        case LN_LINK_STARTED:
            if (m_canvas) {
                m_canvas->FitScrollArea();
                m_canvas->Refresh(true);
            }
            break;
        case LN_PORT_FAILED:
            // Which port failed (the name the operator gave), and why.
            ShowPortFailed(PortShownFor(g_link.m_port.m_portName.Text()), g_link.m_port.m_file.m_lastError);
            break;
        case LN_NO_RESPONSE:
            ShowLinkMessage(IDS_NO_RESPONSE);
            break;
        case LN_DOWNLOAD_DONE:
            if (CMainFrame* frame = CMainFrame::Get()) frame->ShowDownloadFinished(ReadLink(g_link));
            ShowLinkMessage(IDS_DOWNLOAD_DONE);
            break;
        case LN_DEVICE_RESET:
            ShowLinkMessage(IDS_DEVICE_RESET);
            break;
        default:  // LN_LINK_ENDED and anything else: nothing
            break;
    }
}

std::string CKavView::PortFailureReason(const std::string& port, uint32_t systemError) {
    if (systemError == 0) return {};
    const std::string reason = SystemErrorText(systemError);
    if (!IsBusyError(systemError)) return reason;
    const std::string bay = StationBayOfPort(port);
    if (!bay.empty()) return uitext::HeldByStationBay(reason, bay);
    PortHolder holder;
    if (FindPortHolder(port, holder)) return uitext::HeldByProcess(reason, holder.program, holder.process, holder.bay);
    return reason;
}

void CKavView::ShowPortFailed(const std::string& port, uint32_t systemError) {
    const std::string reason = PortFailureReason(port, systemError);
    ShowLinkMessage(IDS_PORT_FAILED, wxString::FromUTF8(PortFailedText("", port, reason)));
}

void CKavView::ShowLinkMessage(unsigned stringId, const wxString& detail) {
    ShowMessageBox(Text(stringId) + detail, Text(IDS_LINK_CAPTION), wxOK | wxICON_NONE | wxCENTRE,
                   m_canvas ? static_cast<wxWindow*>(m_canvas.get()) : GetFrame());
}
