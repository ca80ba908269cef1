#pragma once
// The one link of the run: constructed before the application object and
// destroyed after it. Window thread, except what CDeviceLink allows elsewhere.
#include "link/device_link.h"

extern CDeviceLink g_link;
