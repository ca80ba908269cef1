#pragma once
// The serial ports this machine reports. Window thread or any thread; reads
// the system's device lists, allocates.
#include <string>
#include <vector>

struct SerialPortEntry {
    std::string name;         // what to type into the port box / --port (e.g. /dev/ttyUSB0, COM3)
    std::string usbId;        // "vvvv:pppp" for USB adapters, else empty
    std::string description;  // the product description where the system has one
    std::string usbPath;      // Linux: the USB device's place on the bus ("1-2.3"), else empty
    std::string serial;       // the USB adapter's serial number where it has one
};

// Linux: the /dev/ttyS*, ttyUSB* and ttyACM* that exist and are real ports
// (ttyS* only with a UART behind them), with USB ids from sysfs. Windows: the
// COM ports of the registry's SERIALCOMM list. Sorted naturally (COM2 before COM10).
std::vector<SerialPortEntry> EnumerateSerialPorts();

// Linux only, for tests: the same search in another sysfs tty class folder
// and device folder (a device node must be a character device).
std::vector<SerialPortEntry> EnumerateSerialPortsIn(const std::string& sysClassTty, const std::string& devDir);

// Orders names with their digit runs taken as numbers, letters without regard
// to case: COM2 before COM10, ttyS2 before ttyS10.
bool NaturalLess(const std::string& a, const std::string& b);
