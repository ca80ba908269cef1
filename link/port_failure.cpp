#include "link/port_failure.h"

#include "link/platform.h"
#include "res/translation.h"

const char* PortFailureHint(uint32_t systemError) {
    // Busy first: Windows reports a port held by another program as access
    // denied, which it counts as both (on POSIX the two never overlap).
    if (IsBusyError(systemError)) return KTEXT("Hint: another program holds the port; close it and try again.");
    if (IsPermissionError(systemError))
        return KTEXT(
            "Hint: your user may not use serial ports; add it to the dialout group "
            "(sudo usermod -aG dialout $USER) and log in again.");
    if (IsMissingError(systemError)) return KTEXT("Hint: 'kavro-cli ports' lists the serial ports of this machine.");
    return nullptr;
}

std::string PortFailureText(const std::string& port, uint32_t systemError) {
    std::string text = "Port " + port + " cannot be opened";
    text += systemError != 0 ? ": " + SystemErrorText(systemError) + "." : std::string(".");
    if (const char* hint = PortFailureHint(systemError)) text += std::string(" ") + hint;
    return text;
}
