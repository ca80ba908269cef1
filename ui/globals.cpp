#include "ui/globals.h"

CDeviceLink g_link;
