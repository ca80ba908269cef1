#pragma once
// The information view: twelve lines about the connected device and the
// loaded image, painted straight from the link, and the window that turns the
// link's notifications into repaints and message boxes. Window thread.
#include <string>
#include <vector>

#include <wx/docview.h>
#include <wx/font.h>
#include <wx/scrolwin.h>
#include <wx/weakref.h>
#include <wx/window.h>

#include "ui/link_targets.h"
#include "ui/ui_logic.h"

class CKavView;

// The window the view paints into. It belongs to the main frame and outlives
// the views, which the framework replaces with every document; so it is also
// the link's notification target: a notification posted while one document
// gives way to the next (the "no response" of a download that the image change
// ended) reaches the view of the new document instead of being lost with the old.
//
// In a window smaller than the lines, scroll bars reach the rest.
class CKavCanvas : public wxScrolledCanvas {
public:
    explicit CKavCanvas(wxWindow* parent);
    // Stops the link before the notification target goes away.
    ~CKavCanvas() override;

    void SetView(CKavView* view) { m_view = view; }
    CKavView* GetView() const { return m_view; }
    IMessageTarget* NotifyTarget() { return &m_notifyTarget; }
    // Sizes the scrolled area to the view's lines as they read now.
    void FitScrollArea();

private:
    void OnPaint(wxPaintEvent& event);
    void OnLinkMessage(wxThreadEvent& event);

    CKavView* m_view = nullptr;
    CPostedMessageTarget m_notifyTarget;
};

class CKavView : public wxView {
public:
    CKavView();
    // Stops the link (a view's end ends the connection); the canvas stays the
    // target of the notifications that stop posts.
    ~CKavView() override;

    bool OnCreate(wxDocument* doc, long flags) override;
    void OnDraw(wxDC* dc) override;
    void OnUpdate(wxView* sender, wxObject* hint = nullptr) override;
    void OnChangeFilename() override;

    // One link notification (an LN_ code).
    void OnLinkNotify(int code);
    // Paints one line and moves line down; false when the line lies below the
    // client area and nothing was done.
    bool DrawInfoLine(wxDC* dc, const wxString& text, LineRect& line, const LineRect& client);
    // Why port cannot be opened: the system's reason, and the station bay
    // holding it when it is busy for that ("" without a reason).
    static std::string PortFailureReason(const std::string& port, uint32_t systemError);
    // The box for a port that cannot be opened: its whole name and the system's reason.
    void ShowPortFailed(const std::string& port, uint32_t systemError);
    // The notification box: caption string 140, the given string, OK, no icon.
    void ShowLinkMessage(unsigned stringId, const wxString& detail = wxString());

    // The twelve lines as they are painted now (the device block from a
    // consistent snapshot of the link's device record).
    std::vector<std::string> InfoLines() const;
    // The area the lines take in the view's font.
    wxSize LinesExtent(wxDC& dc) const;
    // The height of one line in the view's font.
    int LineHeight(wxDC& dc) const;
    const wxFont& GetFont() const { return m_font; }
    CKavCanvas* GetCanvas() const { return m_canvas.get(); }
    // Paints so far; tests see that a notification made the view repaint.
    unsigned long PaintCount() const { return m_paints; }

    static const wxColour kDeviceColour;
    static const wxColour kImageColour;

private:
    wxFont m_font;
    wxWeakRef<CKavCanvas> m_canvas;
    bool m_registered = false;
    unsigned long m_paints = 0;

    wxDECLARE_DYNAMIC_CLASS(CKavView);
};
