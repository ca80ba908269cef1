#include "ui/ui_texts.h"

#include <cmath>
#include <cstdio>

#include "link/port_list.h"
#include "res/info_lines.h"
#include "res/translation.h"

namespace uitext {

std::string NotConnected() { return Tr("Not connected"); }
std::string Opening(const std::string& port) { return FormatText(Tr("Opening port %s..."), {port}); }
std::string Waking(const std::string& port) { return FormatText(Tr("Waking the device on %s..."), {port}); }
std::string Waiting(const std::string& port) { return FormatText(Tr("Waiting for an answer on %s..."), {port}); }

std::string Silent(const std::string& port, int seconds) {
    return FormatText(Tr("No answer yet on %s after %s s: check the device's power, the cable and the port"),
                      {port, std::to_string(seconds)});
}

std::string NoValidAnswer(const std::string& port, int seconds) {
    return FormatText(Tr("No valid answer yet on %s after %s s: something sends, but not as the device does "
                         "(another device or speed?)"),
                      {port, std::to_string(seconds)});
}

std::string Connected(const std::string& deviceName, uint32_t productNumber) {
    return FormatText(Tr("Connected: %s, product number %s"),
                      {deviceName.empty() ? std::string(Tr("unnamed device")) : deviceName, std::to_string(productNumber)});
}

std::string Downloading(int percent, double secondsLeft) {
    if (secondsLeft < 0) return FormatText(Tr("Downloading: %s %%"), {std::to_string(percent)});
    return FormatText(Tr("Downloading: %s %%, %s left"), {std::to_string(percent), TimeLeft(secondsLeft)});
}

std::string DownloadConfirmed() { return Tr("Download finished and confirmed by the device"); }
std::string DownloadNotConfirmed() { return Tr("Download not confirmed: the device stopped answering"); }
std::string ResetIssued() {
    return Tr("Reset sent: the device runs its firmware; Disconnect, then Connect to talk to it again");
}

std::string PortFailed(const std::string& port, const std::string& reason) {
    if (reason.empty()) return FormatText(Tr("Port %s failed"), {port});
    return FormatText(Tr("Port %s failed: %s"), {port, reason});
}

std::string HeldByStationBay(const std::string& reason, const std::string& bay) {
    return FormatText(Tr("%s: %s of the station window holds it"), {reason, bay});
}

std::string HeldByProcess(const std::string& reason, const std::string& program, int process, size_t bay) {
    if (bay == 0) return FormatText(Tr("%s: %s (process %s) holds it"), {reason, program, std::to_string(process)});
    return FormatText(Tr("%s: bay %s of %s (process %s) holds it"),
                      {reason, std::to_string(bay), program, std::to_string(process)});
}

std::string Disconnected() { return Tr("Disconnected"); }

std::string OnSecondCpu(const std::string& text) { return text + " (" + Tr(CpuLabel(true)) + ")"; }

std::string Progress(int percent, double secondsLeft) {
    if (secondsLeft < 0) return FormatText(Tr("%s %%"), {std::to_string(percent)});
    return FormatText(Tr("%s %%  %s left"), {std::to_string(percent), TimeLeft(secondsLeft)});
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
    return FormatText(Tr("No device has answered on %s yet, so there is nothing to download to. Wait until its data "
                         "appear, or check the device's power, the cable and the port."),
                      {port});
}

std::string PortLabel(const SerialPortEntry& entry) {
    const std::string detail = PortDetail(entry);
    return detail.empty() ? entry.name : entry.name + "  " + detail;
}

std::string AbsentPortLabel(const std::string& name) { return FormatText(Tr("%s  (absent)"), {name}); }

}  // namespace uitext
