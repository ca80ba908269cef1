#pragma once
// The serial ports this machine reports. Window thread or any thread; reads
// the system's device lists, allocates.
#include <string>
#include <vector>

struct SerialPortEntry {
    std::string name;         // what to type into the port box / --port (e.g. /dev/ttyUSB0, COM3)
    std::string path;         // the system's device path (/dev/ttyUSB0, \\.\COM3)
    std::string usbId;        // "vvvv:pppp" for USB adapters, else empty
    std::string description;  // the product description where the system has one
    std::string vendorId;     // "vvvv" (USB), else empty
    std::string productId;    // "pppp" (USB), else empty
    std::string serial;       // the adapter's serial number where it reports one
    std::string byPath;       // Linux: the /dev/serial/by-path name leading to it, else empty
    int latencyMs = -1;       // the adapter's latency timer where the system shows one, else -1
};

// Linux: the /dev/ttyS*, ttyUSB* and ttyACM* that exist and are real ports
// (ttyS* only with a UART behind them), found and described through libudev.
// Windows: the
// COM ports of the registry's SERIALCOMM list. Sorted naturally (COM2 before COM10).
std::vector<SerialPortEntry> EnumerateSerialPorts();

// Linux only, for tests: the same search in another sysfs tty class folder
// and device folder (a device node must be a character device).
std::vector<SerialPortEntry> EnumerateSerialPortsIn(const std::string& sysClassTty, const std::string& devDir);

// Whether a port of that name is present now (a device node, a COM name the
// system knows), listed or not.
[[nodiscard]] bool PortExists(const std::string& name);

// Orders names with their digit runs taken as numbers, letters without regard
// to case: COM2 before COM10, ttyS2 before ttyS10.
[[nodiscard]] bool NaturalLess(const std::string& a, const std::string& b);

// What the port box and `ports` show after the name: "vvvv:pppp  description",
// either part left out when unknown; "" when nothing is known.
std::string PortDetail(const SerialPortEntry& entry);
