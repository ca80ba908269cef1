// Win32 system services: error texts and classes from real system calls, the
// program's own path.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <string>

#include "link/adapter_latency.h"
#include "link/platform.h"
#include "win32_test_support.h"

namespace {
std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

bool EndsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}
}  // namespace

TEST(Win32Platform, ErrorTextsAreOneCleanLine) {
    for (const DWORD code : {DWORD{ERROR_FILE_NOT_FOUND}, DWORD{ERROR_ACCESS_DENIED}, DWORD{ERROR_TIMEOUT}}) {
        const std::string text = SystemErrorText(code);
        EXPECT_FALSE(text.empty()) << code;
        EXPECT_EQ(text.find_first_of("\r\n"), std::string::npos) << code << ": " << text;
        EXPECT_NE(text.back(), ' ') << code;
    }
    // A code the system has no text for still gets one.
    EXPECT_EQ(SystemErrorText(0x2BADF00Du).empty(), false);
}

TEST(Win32Platform, ProgramPathIsThisExecutable) {
    std::string path;
    ASSERT_TRUE(GetProgramPath(nullptr, path));
    EXPECT_TRUE(EndsWith(Lower(path), "kavro_win32_tests.exe")) << path;
    EXPECT_NE(::GetFileAttributesA(path.c_str()), INVALID_FILE_ATTRIBUTES) << path;

    std::string kernel;
    ASSERT_TRUE(GetProgramPath(::GetModuleHandleA("kernel32.dll"), kernel));
    EXPECT_TRUE(EndsWith(Lower(kernel), "kernel32.dll")) << kernel;
}

TEST(Win32Platform, MissingPortIsAMissingError) {
    // No COM port of that number exists on a test machine (nor in a Wine prefix).
    const HANDLE handle = ::CreateFileA("\\\\.\\COM219", GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                       OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    const DWORD error = ::GetLastError();
    if (handle != INVALID_HANDLE_VALUE) ::CloseHandle(handle);
    ASSERT_EQ(handle, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(IsMissingError(error)) << error << " " << SystemErrorText(error);
    EXPECT_FALSE(IsBusyError(error));
    EXPECT_FALSE(IsPermissionError(error));
}

TEST(Win32Platform, SleepWaitsAtLeastTheTime) {
    const auto start = win32test::Clock::now();
    PlatformSleepMs(50);
    const double elapsed = win32test::SecondsSince(start);
    EXPECT_GE(elapsed, 0.04);
    EXPECT_LT(elapsed, 2.0);
}

namespace {
// A value in the test's own registry tree; false when the system refuses.
bool SetValue(const std::string& path, const char* name, DWORD type, const void* data, DWORD size) {
    return ::RegSetKeyValueA(HKEY_CURRENT_USER, path.c_str(), name, type, data, size) == ERROR_SUCCESS;
}
}  // namespace

// FTDI's driver keeps each port's latency timer in its Device Parameters,
// found through the PortName beside it; here in a tree laid out the same way.
TEST(Win32Platform, AdapterLatencyIsReadFromTheDeviceParametersOfItsPort) {
    const std::string bus = "Software\\KAVRO-test\\FTDIBUS";
    ::RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\KAVRO-test");
    const std::string first = bus + "\\VID_0403+PID_6001+A10K1234A\\0000\\Device Parameters";
    const std::string second = bus + "\\VID_0403+PID_6015+DN05XYZA\\0000\\Device Parameters";
    const DWORD sixteen = 16, two = 2;
    ASSERT_TRUE(SetValue(first, "PortName", REG_SZ, "COM7", 5));
    ASSERT_TRUE(SetValue(first, "LatencyTimer", REG_DWORD, &sixteen, sizeof sixteen));
    ASSERT_TRUE(SetValue(second, "PortName", REG_SZ, "COM12", 6));
    ASSERT_TRUE(SetValue(second, "LatencyTimer", REG_DWORD, &two, sizeof two));
    EXPECT_EQ(ReadAdapterLatencyMsInUserKey(bus.c_str(), "COM7"), 16);
    EXPECT_EQ(ReadAdapterLatencyMsInUserKey(bus.c_str(), "\\\\.\\COM12"), 2);
    EXPECT_EQ(ReadAdapterLatencyMsInUserKey(bus.c_str(), "COM8"), -1) << "no adapter of that name";
    EXPECT_EQ(ReadAdapterLatencyMsInUserKey((bus + "-absent").c_str(), "COM7"), -1);
    ASSERT_TRUE(SetValue(first, "LatencyTimer", REG_SZ, "16", 3));
    EXPECT_EQ(ReadAdapterLatencyMsInUserKey(bus.c_str(), "COM7"), -1) << "a value of the wrong type";
    ::RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\KAVRO-test");
    EXPECT_NE(AdapterLatencyAdvice("COM7", 16).find("Device Manager"), std::string::npos);
}
