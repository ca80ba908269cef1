#include "ui/ui_texts.h"

#include <cmath>
#include <cstdio>

#include "link/port_list.h"
#include "res/info_lines.h"

namespace uitext {

std::string NotConnected() { return "Not connected"; }
std::string Opening(const std::string& port) { return "Opening port " + port + "..."; }
std::string Waking(const std::string& port) { return "Waking the device on " + port + "..."; }
std::string Waiting(const std::string& port) { return "Waiting for an answer on " + port + "..."; }

std::string Silent(const std::string& port, int seconds) {
    return "No answer yet on " + port + " after " + std::to_string(seconds) +
           " s: check the device's power, the cable and the port";
}

std::string NoValidAnswer(const std::string& port, int seconds) {
    return "No valid answer yet on " + port + " after " + std::to_string(seconds) +
           " s: something sends, but not as the device does (another device or speed?)";
}

std::string Connected(const std::string& deviceName, uint32_t productNumber) {
    return "Connected: " + (deviceName.empty() ? std::string("unnamed device") : deviceName) + ", product number " +
           std::to_string(productNumber);
}

std::string Downloading(int percent, double secondsLeft) {
    std::string text = "Downloading: " + std::to_string(percent) + " %";
    if (secondsLeft >= 0) text += ", " + TimeLeft(secondsLeft) + " left";
    return text;
}

std::string DownloadConfirmed() { return "Download finished and confirmed by the device"; }
std::string DownloadNotConfirmed() { return "Download not confirmed: the device stopped answering"; }
std::string ResetIssued() { return "Reset sent: the device runs its firmware; Disconnect, then Connect to talk to it again"; }

std::string PortFailed(const std::string& port, const std::string& reason) {
    return "Port " + port + " failed" + (reason.empty() ? std::string() : ": " + reason);
}

std::string Disconnected() { return "Disconnected"; }

std::string OnSecondCpu(const std::string& text) { return text + " (" + CpuLabel(true) + ")"; }

std::string Progress(int percent, double secondsLeft) {
    std::string text = std::to_string(percent) + " %";
    if (secondsLeft >= 0) text += "  " + TimeLeft(secondsLeft) + " left";
    return text;
}

std::string TimeLeft(double seconds) {
    const long total = std::lround(seconds < 0 ? 0 : seconds);
    char buffer[32];
    if (total >= 3600)
        std::snprintf(buffer, sizeof buffer, "%ld:%02ld:%02ld", total / 3600, total / 60 % 60, total % 60);
    else
        std::snprintf(buffer, sizeof buffer, "%ld:%02ld", total / 60, total % 60);
    return buffer;
}

std::string NoDeviceYet(const std::string& port) {
    return "No device has answered on " + port +
           " yet, so there is nothing to download to. Wait until its data appear, or check the device's power, "
           "the cable and the port.";
}

std::string PortLabel(const SerialPortEntry& entry) {
    const std::string detail = PortDetail(entry);
    return detail.empty() ? entry.name : entry.name + "  " + detail;
}

std::string AbsentPortLabel(const std::string& name) { return name + "  (absent)"; }

}  // namespace uitext
