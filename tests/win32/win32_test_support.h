#pragma once
// Helpers of the Windows tests: where they run and which COM port to use.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>

#include "native_types.h"

namespace win32test {

using Clock = std::chrono::steady_clock;

inline double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Wine exports wine_get_version from its ntdll; Windows does not.
inline bool RunningUnderWine() {
    const HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

// An environment variable, or "" when it is not set.
inline std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

}  // namespace win32test
