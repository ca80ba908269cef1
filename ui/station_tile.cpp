#include "ui/station_tile.h"

#include <algorithm>
#include <vector>

#include <wx/control.h>
#include <wx/dcbuffer.h>
#include <wx/dcclient.h>
#include <wx/settings.h>

#include "ui/station_texts.h"

namespace {
bool SameContent(const TileContent& a, const TileContent& b) {
    return a.title == b.title && a.port == b.port && a.place == b.place && a.state == b.state && a.icon == b.icon &&
           a.tone == b.tone && a.percent == b.percent && a.unit == b.unit && a.reason == b.reason &&
           a.counts == b.counts && a.tooltip == b.tooltip;
}

// Sizes against the window's font, so the tile grows with the screen's scale:
// the state word stays larger than the header's totals (kTotalsScale).
constexpr double kStateLeast = kTotalsScale + 0.15;
constexpr double kStateMost = 3.5;
constexpr double kUnitScale = 1.15;
// A long state or count goes onto a second line before anything is cut.
constexpr int kStateLines = 2;
constexpr int kCountLines = 2;

wxFont StateFont(const wxFont& base, double scale) { return base.Bold().Scaled(static_cast<float>(scale)); }

// Every state word this language shows, for the tile's least width.
std::vector<std::string> StateWords() {
    std::vector<std::string> words;
    for (const char* word : {stationtext::kStateIdle, stationtext::kStateWaiting, stationtext::kStatePassed,
                             stationtext::kStateFailed, stationtext::kStatePaused, stationtext::kStateOutOfService,
                             stationtext::kStateStopped, stationtext::kStateNoReply})
        words.emplace_back(Tr(word));
    words.emplace_back(wxString::Format(wxString::FromUTF8(Tr(stationtext::kStateFlashing)), 100u).utf8_string());
    return words;
}

// The widest word of text (a line may break between words).
int WidestWord(wxDC& dc, const std::string& text) {
    int widest = 0;
    for (const wxString& word : wxSplit(wxString::FromUTF8(text), ' ', '\0'))
        widest = std::max(widest, dc.GetTextExtent(word).x);
    return widest;
}

// The text broken into lines no wider than width, at spaces where there are
// some (Chinese has none: it breaks anywhere).
std::vector<wxString> Wrap(wxDC& dc, const wxString& text, int width) {
    std::vector<wxString> lines;
    wxString rest = text;
    while (!rest.empty()) {
        size_t fit = 1;
        for (size_t high = rest.size(); fit < high;) {
            const size_t middle = (fit + high + 1) / 2;
            if (dc.GetTextExtent(rest.Left(middle)).x <= width)
                fit = middle;
            else
                high = middle - 1;
        }
        if (fit < rest.size()) {
            const size_t space = rest.Left(fit + 1).rfind(' ');
            if (space != wxString::npos && space > 0) fit = space;
        }
        lines.push_back(rest.Left(fit));
        rest = rest.Mid(fit).Trim(false);
    }
    return lines;
}
}  // namespace

CBayTile::CBayTile(wxWindow* parent, size_t bay)
    : wxPanel(parent, wxID_ANY, wxDefaultPosition, wxDefaultSize,
              wxFULL_REPAINT_ON_RESIZE | wxBORDER_NONE | wxTAB_TRAVERSAL),
      m_bay(bay) {
    SetBackgroundStyle(wxBG_STYLE_PAINT);
    SetMinSize(SmallestSize(this));
    Bind(wxEVT_PAINT, [this](wxPaintEvent&) {
        wxAutoBufferedPaintDC dc(this);
        Draw(dc, HasFocus());
    });
    Bind(wxEVT_LEFT_DOWN, [this](wxMouseEvent& event) {
        SetFocus();
        if (m_clicked) m_clicked(m_bay);
        event.Skip();
    });
    // The focus frame follows the keyboard; the bay commands follow the focus.
    Bind(wxEVT_SET_FOCUS, [this](wxFocusEvent& event) {
        if (m_clicked) m_clicked(m_bay);
        Refresh(false);
        event.Skip();
    });
    Bind(wxEVT_KILL_FOCUS, [this](wxFocusEvent& event) {
        Refresh(false);
        event.Skip();
    });
}

void CBayTile::SetContent(const TileContent& content) {
    if (SameContent(content, m_content)) return;
    // The tool tip holds whatever a small tile has to cut.
    if (content.tooltip != m_content.tooltip || content.unit != m_content.unit || content.reason != m_content.reason) {
        std::string tip = content.tooltip;
        for (const std::string* line : {&content.unit, &content.reason})
            if (!line->empty()) tip += (tip.empty() ? "" : "\n") + *line;
        SetToolTip(wxString::FromUTF8(tip));
    }
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

wxSize CBayTile::SmallestSize(wxWindow* window) {
    wxClientDC dc(window);
    const wxFont base = window->GetFont();
    const int margin = window->FromDIP(8);
    dc.SetFont(StateFont(base, kStateLeast));
    const int stateHeight = dc.GetCharHeight();
    int widest = 0;
    for (const std::string& word : StateWords()) widest = std::max(widest, WidestWord(dc, word));
    dc.SetFont(base);
    const int line = dc.GetCharHeight();
    const std::string counts =
        wxString::Format(wxString::FromUTF8(Tr(stationtext::kCountLine)), 9999u, 999u, 999u).utf8_string();
    const int width = std::max({widest + stateHeight + margin, WidestWord(dc, counts), window->FromDIP(180)});
    dc.SetFont(base.Bold().Scaled(static_cast<float>(kUnitScale)));
    const int unit = dc.GetCharHeight();
    // Title, place, the state, the unit, a line of the reason, the bar, the counts.
    const int lines = 2 * line + kStateLines * stateHeight + unit + line + kCountLines * line;
    return wxSize(width + 2 * margin, lines + window->FromDIP(14) + 3 * margin);
}

void CBayTile::Draw(wxDC& dc, bool focused) {
    m_cutLines = 0;
    const wxSize size = GetClientSize();
    dc.SetBackground(wxBrush(ToneColour(m_content.tone)));
    dc.Clear();
    dc.SetTextForeground(*wxBLACK);
    // A thick frame marks the bay the bay commands act on.
    dc.SetPen(wxPen(m_selected ? wxColour(20, 60, 160) : wxColour(90, 90, 90), m_selected ? FromDIP(4) : 1));
    dc.SetBrush(*wxTRANSPARENT_BRUSH);
    dc.DrawRectangle(0, 0, size.x, size.y);
    // The keyboard focus: a dashed frame inside.
    if (focused) {
        dc.SetPen(wxPen(*wxBLACK, FromDIP(2), wxPENSTYLE_SHORT_DASH));
        const int inset = FromDIP(6);
        dc.DrawRectangle(inset, inset, size.x - 2 * inset, size.y - 2 * inset);
    }

    const wxFont base = GetFont();
    const int margin = FromDIP(8);
    const int width = size.x - 2 * margin;
    int y = margin;
    dc.SetFont(base.Bold());
    // A long port name keeps its end (bay0, port0): the part that differs.
    y += DrawLine(dc, m_content.title + "   " + m_content.port, margin, y, width, false, wxELLIPSIZE_MIDDLE);
    dc.SetFont(base);
    if (!m_content.place.empty()) y += DrawLine(dc, m_content.place, margin, y, width, false);
    y = DrawState(dc, margin, y + margin / 2, width) + margin / 2;
    dc.SetFont(base.Bold().Scaled(static_cast<float>(kUnitScale)));
    y += DrawLine(dc, m_content.unit, margin, y, width, false);
    dc.SetFont(base);
    const int line = dc.GetCharHeight();
    const auto counts = Wrap(dc, wxString::FromUTF8(m_content.counts), width);
    const int countY = size.y - margin - line * static_cast<int>(std::min<size_t>(counts.size(), kCountLines));
    const int bar = m_content.percent >= 0 ? FromDIP(14) : 0;
    if (!m_content.reason.empty())
        y += DrawWrapped(dc, m_content.reason, margin, y, width, std::max(1, (countY - bar - y) / line), false);
    if (m_content.percent >= 0) DrawProgress(dc, wxRect(margin, y + 2, width, FromDIP(10)));
    if (countY >= y)
        DrawWrapped(dc, m_content.counts, margin, countY, width, kCountLines, true);
    else
        ++m_cutLines;
}

// The state: icon and word, large and bold, readable from a metre away; the
// whole word at the largest size that fits beside the icon, on two lines
// when even the least size does not fit on one. The y below it.
int CBayTile::DrawState(wxDC& dc, int margin, int y, int width) {
    const wxFont base = GetFont();
    dc.SetFont(base);
    const double room = 0.2 * GetClientSize().y / std::max(1, dc.GetCharHeight());
    double scale = std::clamp(room, kStateLeast, kStateMost);
    const wxString word = wxString::FromUTF8(m_content.state);
    for (;;) {
        dc.SetFont(StateFont(base, scale));
        const int height = dc.GetCharHeight();
        if (scale <= kStateLeast || dc.GetTextExtent(word).x <= width - height - margin) break;
        scale = std::max(kStateLeast, scale - 0.1);
    }
    m_stateHeight = dc.GetCharHeight();
    DrawIcon(dc, wxRect(margin, y, m_stateHeight, m_stateHeight));
    return y + DrawWrapped(dc, m_content.state, margin * 2 + m_stateHeight, y, width - m_stateHeight - margin,
                           kStateLines, true);
}

// One line of text, cut with an ellipsis to the width; the height it took.
int CBayTile::DrawLine(wxDC& dc, const std::string& text, int x, int y, int width, bool essential,
                       wxEllipsizeMode mode) {
    const wxString whole = wxString::FromUTF8(text);
    const wxString line = wxControl::Ellipsize(whole, dc, mode, width);
    if (essential && line != whole) ++m_cutLines;
    dc.DrawText(line, x, y);
    return dc.GetCharHeight();
}

int CBayTile::DrawWrapped(wxDC& dc, const std::string& text, int x, int y, int width, int lines, bool essential) {
    const std::vector<wxString> wrapped = Wrap(dc, wxString::FromUTF8(text), width);
    const size_t shown = std::min(wrapped.size(), static_cast<size_t>(std::max(1, lines)));
    for (size_t i = 0; i < shown; ++i) {
        // The last line room is left for holds the rest, cut at its end.
        wxString piece = wrapped[i];
        for (size_t j = i + 1; i + 1 == shown && j < wrapped.size(); ++j) piece += ' ' + wrapped[j];
        DrawLine(dc, std::string(piece.utf8_str()), x, y + static_cast<int>(i) * dc.GetCharHeight(), width, essential);
    }
    return static_cast<int>(shown) * dc.GetCharHeight();
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
        case TileIcon::NoReply:  // an exclamation mark
            dc.DrawLine(c.x, box.y + w, c.x, c.y + w);
            dc.SetBrush(*wxBLACK_BRUSH);
            dc.DrawCircle(c.x, box.GetBottom() - w, w / 2 + 1);
            break;
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
