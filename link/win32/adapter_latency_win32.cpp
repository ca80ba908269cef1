// The latency timer of a Windows USB serial adapter: FTDI's driver keeps it
// as LatencyTimer in the Device Parameters of each port's instance key under
// Enum\FTDIBUS, beside the PortName ("COM3") that ties the key to the port.
#include <cstring>
#include <string>

#include "link/adapter_latency.h"
#include "registry_key.h"
#include "res/translation.h"

namespace {

// The name of the index-th subkey, false when there is none.
bool SubkeyName(HKEY key, DWORD index, std::string& name) {
    char buffer[256];
    DWORD length = sizeof buffer;
    if (::RegEnumKeyExA(key, index, buffer, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) return false;
    name.assign(buffer, length);
    return true;
}

std::string TextValue(HKEY key, const char* name) {
    char data[256];
    DWORD type = 0;
    DWORD length = sizeof data - 1;
    if (::RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &length) != ERROR_SUCCESS ||
        type != REG_SZ)
        return {};
    data[length] = '\0';
    return data;
}

int DwordValue(HKEY key, const char* name) {
    DWORD value = 0;
    DWORD type = 0;
    DWORD length = sizeof value;
    if (::RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &length) != ERROR_SUCCESS ||
        type != REG_DWORD || value > 0xFFFF)
        return -1;
    return static_cast<int>(value);
}

// "\\.\COM10" and "COM10" name the same port.
std::string BareComName(const std::string& portName) {
    return portName.rfind("\\\\.\\", 0) == 0 ? portName.substr(4) : portName;
}

// Each device key holds one key per instance, each with its Device Parameters.
int SearchDevices(HKEY bus, const std::string& port) {
    std::string device, instance;
    for (DWORD d = 0; SubkeyName(bus, d, device); ++d) {
        const UniqueRegistryKey deviceKey = OpenRegistryKey(bus, device);
        if (!deviceKey) continue;
        for (DWORD i = 0; SubkeyName(deviceKey.get(), i, instance); ++i) {
            const UniqueRegistryKey parameters = OpenRegistryKey(deviceKey.get(), instance + "\\Device Parameters");
            if (parameters && _stricmp(TextValue(parameters.get(), "PortName").c_str(), port.c_str()) == 0)
                return DwordValue(parameters.get(), "LatencyTimer");
        }
    }
    return -1;
}

}  // namespace

int ReadAdapterLatencyMsInUserKey(const std::string& keyPath, const std::string& portName) {
    const UniqueRegistryKey bus = OpenRegistryKey(HKEY_CURRENT_USER, keyPath);
    return bus ? SearchDevices(bus.get(), BareComName(portName)) : -1;
}

int ReadAdapterLatencyMs(const std::string& portName) {
    const UniqueRegistryKey bus = OpenRegistryKey(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Enum\\FTDIBUS");
    return bus ? SearchDevices(bus.get(), BareComName(portName)) : -1;
}

std::string AdapterLatencyAdvice(const std::string& port, int timerMs) {
    return FormatText(Tr("The adapter on %s holds short replies for up to %s ms, which slows every download. "
                         "To set its latency timer to 1 ms: Device Manager, Ports (COM & LPT), the port's "
                         "Properties, Port Settings, Advanced, Latency Timer (msec): 1."),
                      {port, std::to_string(timerMs)});
}
