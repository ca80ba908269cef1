// Serial ports of a Linux machine: every tty named ttyS*, ttyUSB* or ttyACM*
// whose device node exists, found through libudev (which reads sysfs, so it
// works without a running udev daemon too). A ttyS* entry counts only when a
// UART is behind it (its "type" is not 0, PORT_UNKNOWN): most PCs register
// four ttyS* lines whatever hardware they have. Tests give a sysfs-like
// folder instead, read with the same rules.
#include <libudev.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <utility>
#include <system_error>

#include "link/port_list.h"
#include "link/serial_port.h"

namespace fs = std::filesystem;

namespace {

bool StartsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

// First line of a small sysfs attribute, without its line end; "" when unreadable.
std::string ReadAttribute(const fs::path& path) {
    std::ifstream in(path);
    std::string line;
    if (!in || !std::getline(in, line)) return {};
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r' || line.back() == ' '))
        line.pop_back();
    return line;
}

// The tty names that stand for serial ports; uart: a ttyS* line, which counts
// only with a UART behind it.
bool IsSerialName(const std::string& name, bool& uart) {
    uart = StartsWith(name, "ttyS");
    return uart || StartsWith(name, "ttyUSB") || StartsWith(name, "ttyACM");
}

bool HasUart(const std::string& type) { return !type.empty() && type != "0"; }

// The latency_timer attribute (ftdi_sio) in milliseconds, -1 when absent.
int LatencyOf(const std::string& text) {
    if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != std::string::npos) return -1;
    return std::stoi(text);
}

// "Manufacturer Product", without saying the maker twice.
std::string UsbDescription(const std::string& manufacturer, const std::string& product) {
    if (!manufacturer.empty() && !product.empty() && !StartsWith(product, manufacturer.c_str()))
        return manufacturer + " " + product;
    return product.empty() ? manufacturer : product;
}

void SortPorts(std::vector<SerialPortEntry>& ports) {
    std::sort(ports.begin(), ports.end(),
              [](const SerialPortEntry& a, const SerialPortEntry& b) { return NaturalLess(a.name, b.name); });
}

bool IsCharacterDevice(const fs::path& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISCHR(st.st_mode);
}

// Walks up from the tty's device to the USB device that holds idVendor and
// idProduct (the interface sits one level below it).
void FillUsbDetails(const fs::path& ttyEntry, SerialPortEntry& entry) {
    std::error_code ec;
    fs::path dir = fs::canonical(ttyEntry / "device", ec);
    if (ec) return;
    for (int depth = 0; depth < 6 && !dir.empty() && dir != dir.root_path(); ++depth) {
        const std::string vendor = ReadAttribute(dir / "idVendor");
        const std::string product = ReadAttribute(dir / "idProduct");
        if (!vendor.empty() && !product.empty()) {
            entry.vendorId = vendor;
            entry.productId = product;
            entry.usbId = vendor + ":" + product;
            entry.description = UsbDescription(ReadAttribute(dir / "manufacturer"), ReadAttribute(dir / "product"));
            entry.serial = ReadAttribute(dir / "serial");
            return;
        }
        dir = dir.parent_path();
    }
}

}  // namespace

std::vector<SerialPortEntry> EnumerateSerialPortsIn(const std::string& sysClassTty, const std::string& devDir) {
    std::vector<SerialPortEntry> ports;
    std::error_code ec;
    fs::directory_iterator it(sysClassTty, ec);
    if (ec) return ports;
    for (const fs::directory_entry& item : it) {
        const std::string name = item.path().filename().string();
        bool uart = false;
        if (!IsSerialName(name, uart)) continue;
        // Virtual consoles and pseudo-terminals have no device behind them.
        if (!fs::exists(item.path() / "device", ec)) continue;
        if (uart && !HasUart(ReadAttribute(item.path() / "type"))) continue;
        const fs::path node = fs::path(devDir) / name;
        if (!IsCharacterDevice(node)) continue;
        SerialPortEntry entry;
        entry.name = node.string();
        entry.path = entry.name;
        if (!uart) FillUsbDetails(item.path(), entry);
        entry.latencyMs = LatencyOf(ReadAttribute(item.path() / "device" / "latency_timer"));
        ports.push_back(std::move(entry));
    }
    SortPorts(ports);
    return ports;
}

namespace {

// Owners of libudev's reference-counted objects.
struct UdevUnref {
    void operator()(udev* u) const { udev_unref(u); }
    void operator()(udev_enumerate* e) const { udev_enumerate_unref(e); }
    void operator()(udev_device* d) const { udev_device_unref(d); }
};
template <class T>
using UdevPtr = std::unique_ptr<T, UdevUnref>;

std::string Attribute(udev_device* device, const char* name) {
    const char* value = udev_device_get_sysattr_value(device, name);
    return value != nullptr ? value : "";
}

// The by-path links of this machine, by the device node they lead to.
std::vector<std::pair<std::string, std::string>> ByPathLinks(const fs::path& folder) {
    std::vector<std::pair<std::string, std::string>> links;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code resolve;
        const fs::path target = fs::canonical(it->path(), resolve);
        if (!resolve) links.emplace_back(target.string(), it->path().string());
    }
    return links;
}

// One tty device as a port entry; false when it is no serial port.
bool DescribeTty(udev_device* tty, SerialPortEntry& entry) {
    const char* sysname = udev_device_get_sysname(tty);
    const char* node = udev_device_get_devnode(tty);
    bool uart = false;
    if (sysname == nullptr || node == nullptr || !IsSerialName(sysname, uart)) return false;
    // Virtual consoles and pseudo-terminals have no device behind them.
    udev_device* port = udev_device_get_parent(tty);
    if (port == nullptr) return false;
    if (uart && !HasUart(Attribute(tty, "type"))) return false;
    if (!IsCharacterDevice(node)) return false;
    entry.name = node;
    entry.path = entry.name;
    entry.latencyMs = LatencyOf(Attribute(port, "latency_timer"));
    // Borrowed from tty, which owns its parents.
    udev_device* usb = udev_device_get_parent_with_subsystem_devtype(tty, "usb", "usb_device");
    if (usb == nullptr) return true;
    entry.vendorId = Attribute(usb, "idVendor");
    entry.productId = Attribute(usb, "idProduct");
    if (!entry.vendorId.empty() && !entry.productId.empty()) entry.usbId = entry.vendorId + ":" + entry.productId;
    entry.description = UsbDescription(Attribute(usb, "manufacturer"), Attribute(usb, "product"));
    entry.serial = Attribute(usb, "serial");
    return true;
}

}  // namespace

std::vector<SerialPortEntry> EnumerateSerialPorts() {
    // libudev keeps process-wide state that is not safe from several threads
    // at once (a station's bays each look up their adapter): one search at a time.
    static std::mutex searchLock;
    std::lock_guard<std::mutex> hold(searchLock);
    std::vector<SerialPortEntry> ports;
    UdevPtr<udev> context(udev_new());
    if (!context) return ports;
    UdevPtr<udev_enumerate> search(udev_enumerate_new(context.get()));
    if (!search || udev_enumerate_add_match_subsystem(search.get(), "tty") < 0 ||
        udev_enumerate_scan_devices(search.get()) < 0)
        return ports;
    const auto links = ByPathLinks("/dev/serial/by-path");
    udev_list_entry* item = nullptr;
    udev_list_entry_foreach(item, udev_enumerate_get_list_entry(search.get())) {
        UdevPtr<udev_device> tty(udev_device_new_from_syspath(context.get(), udev_list_entry_get_name(item)));
        SerialPortEntry entry;
        if (!tty || !DescribeTty(tty.get(), entry)) continue;
        for (const auto& [target, link] : links)
            if (target == entry.name) entry.byPath = link;
        ports.push_back(std::move(entry));
    }
    SortPorts(ports);
    return ports;
}

bool PortExists(const std::string& name) {
    char path[256];
    struct stat st {};
    return !name.empty() && ::stat(PosixDevicePath(name.c_str(), path, sizeof path), &st) == 0;
}
