#pragma once
// An open registry key, closed when its owner goes.
#include <memory>
#include <type_traits>

#include "native_types.h"

struct RegistryKeyCloser {
    void operator()(HKEY key) const { ::RegCloseKey(key); }
};
using UniqueRegistryKey = std::unique_ptr<std::remove_pointer_t<HKEY>, RegistryKeyCloser>;

// The key at path below parent opened for reading; empty when it cannot be opened.
inline UniqueRegistryKey OpenRegistryKey(HKEY parent, const char* path) {
    HKEY raw = nullptr;
    if (::RegOpenKeyExA(parent, path, 0, KEY_READ, &raw) != ERROR_SUCCESS) return UniqueRegistryKey();
    return UniqueRegistryKey(raw);
}
