#include "ui/window_place.h"

#include <algorithm>

#include <wx/config.h>
#include <wx/display.h>
#include <wx/toplevel.h>

bool LoadWindowPlace(wxConfigBase* config, const wxString& group, wxRect& place) {
    if (config == nullptr) return false;
    long x = 0, y = 0, width = 0, height = 0;
    if (!config->Read(group + "/X", &x) || !config->Read(group + "/Y", &y) || !config->Read(group + "/Width", &width) ||
        !config->Read(group + "/Height", &height) || width <= 0 || height <= 0)
        return false;
    place = wxRect(static_cast<int>(x), static_cast<int>(y), static_cast<int>(width), static_cast<int>(height));
    return true;
}

void SaveWindowPlace(wxConfigBase* config, const wxString& group, const wxRect& place) {
    if (config == nullptr) return;
    config->Write(group + "/X", static_cast<long>(place.x));
    config->Write(group + "/Y", static_cast<long>(place.y));
    config->Write(group + "/Width", static_cast<long>(place.width));
    config->Write(group + "/Height", static_cast<long>(place.height));
    config->Flush();
}

bool FitOnDisplays(wxRect& place) {
    // The title bar must be on a display to be grabbed: the top edge decides.
    const wxRect top(place.x, place.y, place.width, 1);
    int best = -1;
    int bestWidth = 0;
    for (unsigned i = 0; i < wxDisplay::GetCount(); ++i) {
        const int shown = wxDisplay(i).GetClientArea().Intersect(top).width;
        if (shown > bestWidth) {
            bestWidth = shown;
            best = static_cast<int>(i);
        }
    }
    if (best < 0) return false;
    const wxRect area = wxDisplay(static_cast<unsigned>(best)).GetClientArea();
    place.width = std::min(place.width, area.width);
    place.height = std::min(place.height, area.height);
    place.x = std::clamp(place.x, area.x, area.GetRight() + 1 - place.width);
    place.y = std::clamp(place.y, area.y, area.GetBottom() + 1 - place.height);
    return true;
}

void RestoreWindowPlace(wxTopLevelWindow* window, wxConfigBase* config, const wxString& group) {
    wxRect place;
    if (LoadWindowPlace(config, group, place) && FitOnDisplays(place)) {
        wxSize size = place.GetSize();
        size.IncTo(window->GetMinSize());
        window->SetSize(size);
        window->Move(place.GetPosition());
        return;
    }
    // A first opening: as large as asked where the screen allows, in its middle.
    const int display = wxDisplay::GetFromWindow(window);
    const wxRect area = wxDisplay(display == wxNOT_FOUND ? 0u : static_cast<unsigned>(display)).GetClientArea();
    wxSize size = window->GetSize();
    size.DecTo(area.GetSize());
    size.IncTo(window->GetMinSize());
    window->SetSize(size);
    window->CentreOnScreen();
}
