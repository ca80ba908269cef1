#pragma once
// One bay's tile: its port and place, a large bold state word with an icon
// and a colour, the unit, why it failed, its progress and its count. The
// frame fills it from the station's snapshot. Its text follows the window's
// font (so the screen's scale); a tile takes the keyboard focus and shows it.
// Window thread.
#include <functional>

#include <wx/panel.h>

#include "ui/station_model.h"

// The header's totals, against the window's font; a tile's state word is larger.
inline constexpr double kTotalsScale = 1.4;

class CBayTile : public wxPanel {
public:
    CBayTile(wxWindow* parent, size_t bay);

    size_t BayIndex() const { return m_bay; }
    // Repaints only when something shown changed.
    void SetContent(const TileContent& content);
    const TileContent& Content() const { return m_content; }
    void SetSelected(bool selected);
    bool IsSelected() const { return m_selected; }
    // Called with the bay's index when the operator clicks the tile or moves
    // the keyboard focus to it.
    void OnClicked(std::function<void(size_t)> handler) { m_clicked = std::move(handler); }

    // Draws the tile as it is now; focused draws the focus frame.
    void Draw(wxDC& dc, bool focused);
    // The lines the last drawing had to cut that the tool tip alone tells
    // whole (the state, the unit, the counts); 0 when every one fitted.
    int CutLines() const { return m_cutLines; }
    // The state word's character height in the last drawing.
    int StateHeight() const { return m_stateHeight; }
    // The smallest tile that shows every line whole in this language at
    // window's font and scale.
    static wxSize SmallestSize(wxWindow* window);

    bool AcceptsFocus() const override { return true; }
    bool AcceptsFocusFromKeyboard() const override { return true; }

    static wxColour ToneColour(TileTone tone);

private:
    // Draws text in the width; counts a cut line when essential.
    int DrawLine(wxDC& dc, const std::string& text, int x, int y, int width, bool essential,
                 wxEllipsizeMode mode = wxELLIPSIZE_END);
    // text over at most lines lines, the last one cut when it must be; the
    // height it took.
    int DrawWrapped(wxDC& dc, const std::string& text, int x, int y, int width, int lines, bool essential);
    int DrawState(wxDC& dc, int margin, int y, int width);
    void DrawIcon(wxDC& dc, const wxRect& box) const;
    void DrawProgress(wxDC& dc, const wxRect& bar) const;

    size_t m_bay;
    TileContent m_content;
    bool m_selected = false;
    int m_cutLines = 0;
    int m_stateHeight = 0;
    std::function<void(size_t)> m_clicked;
};
