// The latency timer of a Windows USB serial adapter: FTDI's driver keeps it
// as LatencyTimer in the Device Parameters of each port's instance key under
// Enum\FTDIBUS, beside the PortName ("COM3") that ties the key to the port.
// Fixed buffers only: the port opens where memory may be short.
#include <cstdio>
#include <cstring>
#include <string>

#include "link/adapter_latency.h"
#include "registry_key.h"
#include "res/translation.h"

namespace {

// The name of the index-th subkey, false when there is none.
bool SubkeyName(HKEY key, DWORD index, char (&name)[256]) {
    DWORD length = sizeof name;
    return ::RegEnumKeyExA(key, index, name, &length, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

bool TextValueIs(HKEY key, const char* name, const char* expected) {
    char data[256];
    DWORD type = 0;
    DWORD length = sizeof data - 1;
    if (::RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &length) != ERROR_SUCCESS ||
        type != REG_SZ)
        return false;
    data[length] = '\0';
    return _stricmp(data, expected) == 0;
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
const char* BareComName(const char* portName) {
    return std::strncmp(portName, "\\\\.\\", 4) == 0 ? portName + 4 : portName;
}

// Each device key holds one key per instance, each with its Device Parameters.
int SearchDevices(HKEY bus, const char* port) {
    char device[256], instance[256], parametersPath[600];
    for (DWORD d = 0; SubkeyName(bus, d, device); ++d) {
        const UniqueRegistryKey deviceKey = OpenRegistryKey(bus, device);
        if (!deviceKey) continue;
        for (DWORD i = 0; SubkeyName(deviceKey.get(), i, instance); ++i) {
            std::snprintf(parametersPath, sizeof parametersPath, "%s\\Device Parameters", instance);
            const UniqueRegistryKey parameters = OpenRegistryKey(deviceKey.get(), parametersPath);
            if (parameters && TextValueIs(parameters.get(), "PortName", port))
                return DwordValue(parameters.get(), "LatencyTimer");
        }
    }
    return -1;
}

int SearchBus(HKEY root, const char* busPath, const char* portName) {
    const UniqueRegistryKey bus = OpenRegistryKey(root, busPath);
    return bus ? SearchDevices(bus.get(), BareComName(portName)) : -1;
}

}  // namespace

int ReadAdapterLatencyMsInUserKey(const char* keyPath, const char* portName) {
    return SearchBus(HKEY_CURRENT_USER, keyPath, portName);
}

int ReadAdapterLatencyMs(const char* portName) {
    return SearchBus(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Enum\\FTDIBUS", portName);
}

std::string AdapterLatencyAdvice(const std::string& port, int timerMs) {
    return FormatText(Tr("The adapter on %s holds short replies for up to %s ms, which slows every download. "
                         "To set its latency timer to 1 ms: Device Manager, Ports (COM & LPT), the port's "
                         "Properties, Port Settings, Advanced, Latency Timer (msec): 1."),
                      {port, std::to_string(timerMs)});
}
