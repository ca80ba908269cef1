#pragma once
// The tool bar's button images and the application icon. Window thread.
#include <wx/bitmap.h>
#include <wx/icon.h>

// The image of a tool bar button, by command id; an empty bitmap for others.
wxBitmap ToolBarImage(int commandId);
// The application icon (32 x 32).
wxIcon AppIcon();
wxBitmap AppIconBitmap();
