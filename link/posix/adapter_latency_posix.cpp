// The latency timer of a Linux USB serial adapter: drivers that have one
// (ftdi_sio) show it as the latency_timer attribute of the port's device,
// reached from the device node's numbers through /sys/dev/char.
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <fstream>
#include <string>

#include "link/adapter_latency.h"
#include "link/serial_port.h"
#include "res/translation.h"

int ReadAdapterLatencyMsUnder(const std::string& sysfsRoot, const std::string& devicePath) {
    struct stat st {};
    if (::stat(devicePath.c_str(), &st) != 0 || !S_ISCHR(st.st_mode)) return -1;
    const std::string node = std::to_string(major(st.st_rdev)) + ":" + std::to_string(minor(st.st_rdev));
    std::ifstream in(sysfsRoot + "/dev/char/" + node + "/device/latency_timer");
    int ms = -1;
    if (!(in >> ms) || ms < 0) return -1;
    return ms;
}

int ReadAdapterLatencyMs(const std::string& portName) {
    char path[300];
    return ReadAdapterLatencyMsUnder("/sys", PosixDevicePath(portName.c_str(), path, sizeof path));
}

std::string AdapterLatencyAdvice(const std::string& port, int timerMs) {
    return FormatText(Tr("The adapter on %s holds short replies for up to %s ms, which slows every download. "
                         "To set its latency timer to 1 ms, install the udev rule that comes with KAVRO: "
                         "sudo cp /usr/share/doc/kavro/examples/71-kavro-latency.rules /etc/udev/rules.d/ "
                         "and plug the adapter in again (README, Install)."),
                      {port, std::to_string(timerMs)});
}
