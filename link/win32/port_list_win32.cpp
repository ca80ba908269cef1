// Serial ports of a Windows machine: the registry's SERIALCOMM list, where
// every serial driver enters the COM name of each port it has created.
#include <algorithm>
#include <cctype>
#include <memory>
#include <type_traits>

#include "link/port_list.h"
#include "native_types.h"

namespace {

// Owns an open registry key.
struct KeyCloser {
    void operator()(HKEY key) const { ::RegCloseKey(key); }
};
using UniqueKey = std::unique_ptr<std::remove_pointer_t<HKEY>, KeyCloser>;

// Compares names with their digit runs taken as numbers: COM2 before COM10.
bool NaturalLess(const std::string& a, const std::string& b) {
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        const bool da = std::isdigit(static_cast<unsigned char>(a[i])) != 0;
        const bool db = std::isdigit(static_cast<unsigned char>(b[j])) != 0;
        if (da && db) {
            size_t ei = i, ej = j;
            while (ei < a.size() && std::isdigit(static_cast<unsigned char>(a[ei]))) ++ei;
            while (ej < b.size() && std::isdigit(static_cast<unsigned char>(b[ej]))) ++ej;
            size_t si = i, sj = j;
            while (si + 1 < ei && a[si] == '0') ++si;
            while (sj + 1 < ej && b[sj] == '0') ++sj;
            if (ei - si != ej - sj) return ei - si < ej - sj;
            const int c = a.compare(si, ei - si, b, sj, ej - sj);
            if (c != 0) return c < 0;
            i = ei;
            j = ej;
            continue;
        }
        const int ca = std::toupper(static_cast<unsigned char>(a[i]));
        const int cb = std::toupper(static_cast<unsigned char>(b[j]));
        if (ca != cb) return ca < cb;
        ++i;
        ++j;
    }
    return a.size() - i < b.size() - j;
}

}  // namespace

std::vector<SerialPortEntry> EnumerateSerialPorts() {
    std::vector<SerialPortEntry> ports;
    HKEY raw = nullptr;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &raw) != ERROR_SUCCESS)
        return ports;
    UniqueKey key(raw);
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
        ports.push_back(std::move(entry));
    }
    std::sort(ports.begin(), ports.end(),
              [](const SerialPortEntry& a, const SerialPortEntry& b) { return NaturalLess(a.name, b.name); });
    return ports;
}
