#include "ui/ui_logic.h"

// The first four serial devices, the counterparts of COM1 to COM4.
std::vector<std::string> StandardPortNames() {
    return {"/dev/ttyS0", "/dev/ttyS1", "/dev/ttyS2", "/dev/ttyS3"};
}
