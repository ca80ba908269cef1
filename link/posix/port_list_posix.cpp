// Serial ports of a Linux machine, found through sysfs: every tty class entry
// named ttyS*, ttyUSB* or ttyACM* whose device node exists. A ttyS* entry
// counts only when a UART is behind it (its "type" is not 0, PORT_UNKNOWN):
// most PCs register four ttyS* lines whatever hardware they have.
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "link/port_list.h"

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
            entry.usbId = vendor + ":" + product;
            // The device folder's name is its place on the bus: root hub, then ports.
            entry.usbPath = dir.filename().string();
            entry.serial = ReadAttribute(dir / "serial");
            const std::string manufacturer = ReadAttribute(dir / "manufacturer");
            const std::string description = ReadAttribute(dir / "product");
            if (!manufacturer.empty() && !description.empty() && !StartsWith(description, manufacturer.c_str()))
                entry.description = manufacturer + " " + description;
            else
                entry.description = description.empty() ? manufacturer : description;
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
        const bool uart = StartsWith(name, "ttyS");
        if (!uart && !StartsWith(name, "ttyUSB") && !StartsWith(name, "ttyACM")) continue;
        // Virtual consoles and pseudo-terminals have no device behind them.
        if (!fs::exists(item.path() / "device", ec)) continue;
        if (uart) {
            const std::string type = ReadAttribute(item.path() / "type");
            if (type.empty() || type == "0") continue;
        }
        const fs::path node = fs::path(devDir) / name;
        if (!IsCharacterDevice(node)) continue;
        SerialPortEntry entry;
        entry.name = node.string();
        if (!uart) FillUsbDetails(item.path(), entry);
        ports.push_back(std::move(entry));
    }
    std::sort(ports.begin(), ports.end(),
              [](const SerialPortEntry& a, const SerialPortEntry& b) { return NaturalLess(a.name, b.name); });
    return ports;
}

std::vector<SerialPortEntry> EnumerateSerialPorts() { return EnumerateSerialPortsIn("/sys/class/tty", "/dev"); }
