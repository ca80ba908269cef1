// The latency timer of a Linux USB serial adapter: drivers that have one
// (ftdi_sio) show it as the latency_timer attribute of the port's device,
// reached from the device node's numbers through /sys/dev/char.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "link/adapter_latency.h"
#include "link/serial_port.h"
#include "res/translation.h"

namespace {
// A small attribute's number; -1 when it is not one.
int NumberIn(const char* path) {
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return -1;
    char text[16];
    const ssize_t got = ::read(fd, text, sizeof text - 1);
    ::close(fd);
    if (got <= 0) return -1;
    text[got] = '\0';
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (end == text || (*end != '\0' && *end != '\n') || value < 0 || value > 0xFFFF) return -1;
    return static_cast<int>(value);
}
}  // namespace

int ReadAdapterLatencyMsUnder(const char* sysfsRoot, const char* devicePath) {
    struct stat st {};
    if (::stat(devicePath, &st) != 0 || !S_ISCHR(st.st_mode)) return -1;
    char attribute[512];
    const int length = std::snprintf(attribute, sizeof attribute, "%s/dev/char/%u:%u/device/latency_timer",
                                     sysfsRoot, major(st.st_rdev), minor(st.st_rdev));
    if (length < 0 || static_cast<size_t>(length) >= sizeof attribute) return -1;
    return NumberIn(attribute);
}

int ReadAdapterLatencyMs(const char* portName) {
    char path[300];
    return ReadAdapterLatencyMsUnder("/sys", PosixDevicePath(portName, path, sizeof path));
}

std::string AdapterLatencyAdvice(const std::string& port, int timerMs) {
    return FormatText(Tr("The adapter on %s holds short replies for up to %s ms, which slows every download. "
                         "To set its latency timer to 1 ms, install the udev rule that comes with KAVRO: "
                         "sudo cp /usr/share/doc/kavro/examples/71-kavro-latency.rules /etc/udev/rules.d/ "
                         "and plug the adapter in again (README, Install)."),
                      {port, std::to_string(timerMs)});
}
