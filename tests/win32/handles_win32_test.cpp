// Win32 handle owners: events as the link uses them (manual-reset for the
// port, auto-reset for the wake-up) and file handles with their last error.
#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "link/handles.h"
#include "win32_test_support.h"

using win32test::Clock;
using win32test::SecondsSince;

// Events' semantics are tested on every platform in tests/unit/events_test.cpp.

TEST(Win32Events, EmptyHolderAndDoubleClose) {
    CKernelHandle event;
    EXPECT_TRUE(event.IsEmpty());
    EXPECT_FALSE(event.Signal());
    EXPECT_FALSE(event.Reset());
    EXPECT_EQ(event.Wait(0), CKernelHandle::WaitResult::Failed);
    EXPECT_FALSE(event.Close());

    ASSERT_TRUE(event.CreateEvent(true));
    const HANDLE first = event.Get();
    ASSERT_TRUE(event.CreateEvent(true)) << "creating again replaces the held event";
    DWORD flags = 0;
    EXPECT_FALSE(::GetHandleInformation(first, &flags) && first != event.Get())
        << "the replaced event must have been closed";
    EXPECT_TRUE(event.Close());
    EXPECT_TRUE(event.IsEmpty());
    EXPECT_FALSE(event.Close()) << "closing twice is harmless and reports nothing held";
}

namespace {
// A scratch file in the temporary folder, deleted at the end of the test.
class ScratchFile : public ::testing::Test {
protected:
    void SetUp() override {
        char folder[MAX_PATH];
        char name[MAX_PATH];
        ASSERT_NE(::GetTempPathA(MAX_PATH, folder), 0u);
        ASSERT_NE(::GetTempFileNameA(folder, "kav", 0, name), 0u);
        m_path = name;
    }
    void TearDown() override { ::DeleteFileA(m_path.c_str()); }

    HANDLE OpenFile(DWORD access) {
        return ::CreateFileA(m_path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    }

    std::string m_path;
};
}  // namespace

TEST_F(ScratchFile, WriteThenReadBackReportsTheCounts) {
    CFileHandle file;
    file.m_handle = OpenFile(GENERIC_READ | GENERIC_WRITE);
    ASSERT_TRUE(file.IsValid());
    const char text[] = "KAVRO";
    uint32_t count = 5;
    ASSERT_TRUE(file.Write(text, count, nullptr));
    EXPECT_EQ(count, 5u);
    ASSERT_EQ(::SetFilePointer(file.m_handle, 0, nullptr, FILE_BEGIN), 0u);
    char back[16] = {};
    count = sizeof back;
    ASSERT_TRUE(file.Read(back, count, nullptr));
    EXPECT_EQ(count, 5u) << "a read at the end of the file stops short";
    EXPECT_EQ(std::string(back, count), "KAVRO");
    EXPECT_TRUE(file.Close());
    EXPECT_FALSE(file.IsValid());
    EXPECT_FALSE(file.Close());
}

TEST_F(ScratchFile, FailedCallKeepsTheSystemError) {
    CFileHandle file;
    file.m_handle = OpenFile(GENERIC_READ);
    ASSERT_TRUE(file.IsValid());
    uint32_t count = 3;
    EXPECT_FALSE(file.Write("abc", count, nullptr)) << "the handle was opened for reading only";
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(file.m_lastError, static_cast<uint32_t>(ERROR_ACCESS_DENIED));
    file.Close();
}

TEST(Win32FileHandle, InvalidHandleLeavesTheErrorAlone) {
    CFileHandle file;
    file.m_lastError = 4242;
    uint8_t buffer[4];
    uint32_t count = 4;
    EXPECT_FALSE(file.Read(buffer, count, nullptr));
    EXPECT_EQ(count, 0u);
    count = 4;
    EXPECT_FALSE(file.Write(buffer, count, nullptr));
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(file.m_lastError, 4242u);
}
