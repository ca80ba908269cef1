#pragma once
// One bay's tile: its port and place, a large bold state word with an icon
// and a colour, the unit, why it failed, its progress and its count. The
// frame fills it from the station's snapshot. Window thread.
#include <functional>

#include <wx/panel.h>

#include "ui/station_model.h"

class CBayTile : public wxPanel {
public:
    CBayTile(wxWindow* parent, size_t bay);

    size_t BayIndex() const { return m_bay; }
    // Repaints only when something shown changed.
    void SetContent(const TileContent& content);
    const TileContent& Content() const { return m_content; }
    void SetSelected(bool selected);
    bool IsSelected() const { return m_selected; }
    // Called with the bay's index when the operator clicks the tile.
    void OnClicked(std::function<void(size_t)> handler) { m_clicked = std::move(handler); }

    static wxColour ToneColour(TileTone tone);

private:
    void OnPaint(wxPaintEvent& event);
    void DrawIcon(wxDC& dc, const wxRect& box) const;
    void DrawProgress(wxDC& dc, const wxRect& bar) const;

    size_t m_bay;
    TileContent m_content;
    bool m_selected = false;
    std::function<void(size_t)> m_clicked;
};
