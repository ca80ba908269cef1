#include "ui/station_tile.h"

#include <algorithm>

#include <wx/control.h>
#include <wx/dcbuffer.h>
#include <wx/settings.h>

namespace {
bool SameContent(const TileContent& a, const TileContent& b) {
    return a.title == b.title && a.port == b.port && a.place == b.place && a.state == b.state && a.icon == b.icon &&
           a.tone == b.tone && a.percent == b.percent && a.unit == b.unit && a.reason == b.reason &&
           a.counts == b.counts && a.tooltip == b.tooltip;
}

wxFont SizedFont(int pixels, bool bold) {
    wxFont font = wxSystemSettings::GetFont(wxSYS_DEFAULT_GUI_FONT);
    font.SetPixelSize(wxSize(0, pixels));
    if (bold) font.SetWeight(wxFONTWEIGHT_BOLD);
    return font;
}

// One line of text, cut with an ellipsis to the width; the height it took.
int DrawLine(wxDC& dc, const std::string& text, int x, int y, int width, wxEllipsizeMode mode = wxELLIPSIZE_END) {
    const wxString line = wxControl::Ellipsize(wxString::FromUTF8(text), dc, mode, width);
    dc.DrawText(line, x, y);
    return dc.GetCharHeight();
}
}  // namespace

CBayTile::CBayTile(wxWindow* parent, size_t bay)
    : wxPanel(parent, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxFULL_REPAINT_ON_RESIZE | wxBORDER_NONE),
      m_bay(bay) {
    SetBackgroundStyle(wxBG_STYLE_PAINT);
    SetMinSize(FromDIP(wxSize(200, 110)));
    Bind(wxEVT_PAINT, &CBayTile::OnPaint, this);
    Bind(wxEVT_LEFT_DOWN, [this](wxMouseEvent&) {
        if (m_clicked) m_clicked(m_bay);
    });
}

void CBayTile::SetContent(const TileContent& content) {
    if (SameContent(content, m_content)) return;
    if (content.tooltip != m_content.tooltip) SetToolTip(wxString::FromUTF8(content.tooltip));
    m_content = content;
    Refresh(false);
}

void CBayTile::SetSelected(bool selected) {
    if (selected == m_selected) return;
    m_selected = selected;
    Refresh(false);
}

wxColour CBayTile::ToneColour(TileTone tone) {
    switch (tone) {
        case TileTone::Neutral: return wxColour(232, 232, 232);
        case TileTone::Busy: return wxColour(255, 226, 150);
        case TileTone::Good: return wxColour(170, 225, 170);
        case TileTone::Bad: return wxColour(245, 165, 160);
        case TileTone::Off: return wxColour(190, 190, 190);
    }
    return *wxWHITE;
}

void CBayTile::OnPaint(wxPaintEvent&) {
    wxAutoBufferedPaintDC dc(this);
    const wxSize size = GetClientSize();
    dc.SetBackground(wxBrush(ToneColour(m_content.tone)));
    dc.Clear();
    dc.SetTextForeground(*wxBLACK);
    // A thick frame marks the bay the bay commands act on.
    dc.SetPen(wxPen(m_selected ? wxColour(20, 60, 160) : wxColour(90, 90, 90), m_selected ? FromDIP(4) : 1));
    dc.SetBrush(*wxTRANSPARENT_BRUSH);
    dc.DrawRectangle(0, 0, size.x, size.y);

    const int margin = FromDIP(8);
    const int width = size.x - 2 * margin;
    int y = margin;
    dc.SetFont(SizedFont(std::clamp(size.y / 12, 11, 18), true));
    // A long port name keeps its end (bay0, port0): the part that differs.
    y += DrawLine(dc, m_content.title + "   " + m_content.port, margin, y, width, wxELLIPSIZE_MIDDLE);
    dc.SetFont(SizedFont(std::clamp(size.y / 14, 10, 16), false));
    if (!m_content.place.empty()) y += DrawLine(dc, m_content.place, margin, y, width);

    // The state: icon and word, large and bold, readable from a metre away.
    const int stateHeight = std::clamp(size.y / 5, 18, 56);
    y += margin / 2;
    DrawIcon(dc, wxRect(margin, y, stateHeight, stateHeight));
    // The whole state word at the largest size that fits beside the icon.
    const int wordWidth = width - stateHeight - margin;
    int pixels = stateHeight * 4 / 5;
    dc.SetFont(SizedFont(pixels, true));
    while (pixels > 12 && dc.GetTextExtent(wxString::FromUTF8(m_content.state)).x > wordWidth)
        dc.SetFont(SizedFont(pixels -= 2, true));
    DrawLine(dc, m_content.state, margin * 2 + stateHeight, y + (stateHeight - dc.GetCharHeight()) / 2,
             width - stateHeight - margin);
    y += stateHeight + margin / 2;

    dc.SetFont(SizedFont(std::clamp(size.y / 12, 11, 20), true));
    y += DrawLine(dc, m_content.unit, margin, y, width);
    dc.SetFont(SizedFont(std::clamp(size.y / 14, 10, 16), false));
    if (!m_content.reason.empty()) y += DrawLine(dc, m_content.reason, margin, y, width);
    if (m_content.percent >= 0) DrawProgress(dc, wxRect(margin, y + 2, width, FromDIP(10)));
    const int countY = size.y - margin - dc.GetCharHeight();
    if (countY > y) DrawLine(dc, m_content.counts, margin, countY, width);
}

void CBayTile::DrawIcon(wxDC& dc, const wxRect& box) const {
    const int w = std::max(2, box.width / 8);
    dc.SetPen(wxPen(*wxBLACK, w));
    dc.SetBrush(*wxTRANSPARENT_BRUSH);
    const wxPoint c(box.x + box.width / 2, box.y + box.height / 2);
    const int r = box.width / 2 - w;
    switch (m_content.icon) {
        case TileIcon::Idle:
            dc.DrawLine(c.x - r, c.y, c.x + r, c.y);
            break;
        case TileIcon::Waiting:  // a clock
            dc.DrawCircle(c, r);
            dc.DrawLine(c.x, c.y, c.x, c.y - r * 2 / 3);
            dc.DrawLine(c.x, c.y, c.x + r / 2, c.y);
            break;
        case TileIcon::Flashing: {  // an arrow down into a bar
            dc.DrawLine(c.x, box.y + w, c.x, c.y + r / 2);
            const wxPoint head[3] = {{c.x - r / 2, c.y}, {c.x + r / 2, c.y}, {c.x, c.y + r * 3 / 4}};
            dc.SetBrush(*wxBLACK_BRUSH);
            dc.DrawPolygon(3, head);
            dc.DrawLine(c.x - r, box.GetBottom() - w, c.x + r, box.GetBottom() - w);
            break;
        }
        case TileIcon::Passed:  // a tick
            dc.DrawLine(c.x - r, c.y, c.x - r / 3, c.y + r * 2 / 3);
            dc.DrawLine(c.x - r / 3, c.y + r * 2 / 3, c.x + r, c.y - r * 2 / 3);
            break;
        case TileIcon::Failed:  // a cross
            dc.DrawLine(c.x - r, c.y - r, c.x + r, c.y + r);
            dc.DrawLine(c.x - r, c.y + r, c.x + r, c.y - r);
            break;
        case TileIcon::Paused:  // two bars
            dc.SetBrush(*wxBLACK_BRUSH);
            dc.DrawRectangle(c.x - r * 2 / 3, c.y - r, r / 2, 2 * r);
            dc.DrawRectangle(c.x + r / 6, c.y - r, r / 2, 2 * r);
            break;
        case TileIcon::OutOfService:  // no entry
            dc.DrawCircle(c, r);
            dc.DrawLine(c.x - r * 7 / 10, c.y + r * 7 / 10, c.x + r * 7 / 10, c.y - r * 7 / 10);
            break;
        case TileIcon::Stopped:  // a square
            dc.SetBrush(*wxBLACK_BRUSH);
            dc.DrawRectangle(c.x - r * 2 / 3, c.y - r * 2 / 3, r * 4 / 3, r * 4 / 3);
            break;
    }
}

void CBayTile::DrawProgress(wxDC& dc, const wxRect& bar) const {
    dc.SetPen(wxPen(*wxBLACK, 1));
    dc.SetBrush(*wxWHITE_BRUSH);
    dc.DrawRectangle(bar);
    dc.SetBrush(wxBrush(wxColour(40, 90, 200)));
    dc.DrawRectangle(bar.x, bar.y, bar.width * std::clamp(m_content.percent, 0, 100) / 100, bar.height);
}
