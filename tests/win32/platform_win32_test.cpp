// Win32 system services: error texts and classes from real system calls, the
// program's own path.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <string>

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
