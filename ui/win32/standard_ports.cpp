#include "ui/ui_logic.h"

std::vector<std::string> StandardPortNames() { return {"COM1", "COM2", "COM3", "COM4"}; }
