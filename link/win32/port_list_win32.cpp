// Serial ports of a Windows machine: the registry's SERIALCOMM list, where
// every serial driver enters the COM name of each port it has created.
#include <algorithm>
#include <cctype>
#include <utility>

#include "link/adapter_latency.h"
#include "link/port_list.h"
#include "registry_key.h"

std::vector<SerialPortEntry> EnumerateSerialPorts() {
    std::vector<SerialPortEntry> ports;
    const UniqueRegistryKey key = OpenRegistryKey(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM");
    if (!key) return ports;
    for (DWORD index = 0;; ++index) {
        // Value names are driver device names such as \Device\Serial0; the data is "COMn".
        char valueName[256];
        DWORD valueNameLength = sizeof valueName;
        BYTE data[256];
        DWORD dataLength = sizeof data - 1;
        DWORD type = 0;
        const LONG rc = ::RegEnumValueA(key.get(), index, valueName, &valueNameLength, nullptr, &type, data,
                                        &dataLength);
        if (rc == ERROR_NO_MORE_ITEMS) break;
        if (rc != ERROR_SUCCESS || type != REG_SZ) continue;
        data[dataLength] = 0;
        SerialPortEntry entry;
        entry.name = reinterpret_cast<const char*>(data);
        while (!entry.name.empty() && entry.name.back() == '\0') entry.name.pop_back();
        if (entry.name.empty()) continue;
        entry.path = "\\\\.\\" + entry.name;
        entry.latencyMs = ReadAdapterLatencyMs(entry.name.c_str());
        ports.push_back(std::move(entry));
    }
    std::sort(ports.begin(), ports.end(),
              [](const SerialPortEntry& a, const SerialPortEntry& b) { return NaturalLess(a.name, b.name); });
    return ports;
}

bool PortExists(const std::string& name) {
    char target[512];
    return !name.empty() && ::QueryDosDeviceA(name.c_str(), target, sizeof target) != 0;
}
