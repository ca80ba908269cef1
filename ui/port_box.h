#pragma once
// Filling a port box (the main window's, the add-bay dialog's) from its items.
//
// Threads: the window thread.
#include <vector>

#include "ui/link_pane.h"

class wxComboBox;

// Shows `items` in `box` and keeps them in `shown`, unless they are what is
// shown already. What the box's field holds stays (replacing the list would
// empty it).
void ShowPortItems(wxComboBox& box, std::vector<PortBoxItem>& shown, std::vector<PortBoxItem> items);
