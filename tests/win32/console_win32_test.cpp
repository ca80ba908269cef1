// kavro-cli's console on Windows: the UTF-8 it writes is what the console shows.
#include <gtest/gtest.h>

#include "cli/cli_platform.h"
#include "native_types.h"

TEST(Win32Console, ConsoleIsSwitchedToUtf8) {
    ::FreeConsole();
    if (!::AllocConsole()) GTEST_SKIP() << "no console can be made here";
    ASSERT_TRUE(::SetConsoleOutputCP(850));  // a Western European console's own
    PrepareConsoleText();
    EXPECT_EQ(::GetConsoleOutputCP(), static_cast<UINT>(CP_UTF8));
    ::FreeConsole();
}
