// The link engine on the Win32 backend: its worker thread, the auto-reset
// wake-up event and the channel's stop, against a simulated device on the
// COM port named by KAVRO_TEST_COM.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link/device_link.h"
#include "link/message_target.h"
#include "link/platform.h"
#include "win32_test_support.h"

using win32test::Clock;
using win32test::SecondsSince;

namespace {
class LinkOnSimulatedDevice : public ::testing::Test {
protected:
    void SetUp() override {
        m_com = win32test::Environment("KAVRO_TEST_COM");
        if (m_com.empty())
            GTEST_SKIP() << "KAVRO_TEST_COM is not set: no simulated device on a COM port "
                            "(scripts/test-windows.sh starts kavro-sim and sets it, e.g. COM5)";
        link.m_notifyWindow = &m_queue;
        link.m_progressWindow = &m_queue;
        ASSERT_TRUE(link.LoadBuiltInImage());
        link.SetPortName(m_com.c_str());
    }
    void TearDown() override { link.Stop(); }

    // Waits for the notification code; false when the link reports a failure
    // first or nothing comes in time.
    bool WaitForNotification(int code, uint32_t timeoutMs) {
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        while (Clock::now() < deadline) {
            LinkMessage message;
            if (!m_queue.Take(message, 100)) continue;
            if (message.message == PBM_SETPOS) m_lastPosition = static_cast<uint32_t>(message.wParam);
            if (message.message != WM_LINK_NOTIFY) continue;
            const int got = static_cast<int>(message.wParam);
            if (got == code) return true;
            if (got == LN_PORT_FAILED || got == LN_NO_RESPONSE) {
                ADD_FAILURE() << "the link posted " << got << " while waiting for " << code;
                return false;
            }
        }
        ADD_FAILURE() << "no notification " << code << " within " << timeoutMs << " ms";
        return false;
    }

    std::string m_com;
    CMessageQueue m_queue;
    uint32_t m_lastPosition = 0;
    CDeviceLink link;
};
}  // namespace

TEST_F(LinkOnSimulatedDevice, DownloadsTheBuiltInImageByteExact) {
    const std::string saved = win32test::Environment("KAVRO_TEST_SAVED_IMAGE");
    if (saved.empty()) GTEST_SKIP() << "KAVRO_TEST_SAVED_IMAGE is not set: the simulator saves no image";
    ::DeleteFileA(saved.c_str());
    ASSERT_TRUE(link.HasImageData());

    link.Start();
    ASSERT_TRUE(WaitForNotification(LN_LINK_STARTED, 5000));
    ASSERT_TRUE(WaitForNotification(LN_INFO_CHANGED, 30000));
    const DeviceInfo device = link.SnapshotDevice();
    EXPECT_STREQ(device.name.Text(), "KAVRO SIM");
    EXPECT_EQ(device.productNumber, 258u);
    EXPECT_EQ(device.hwCurrentMajor, 2u);

    link.RequestDownload();
    ASSERT_TRUE(WaitForNotification(LN_DOWNLOAD_DONE, 120000));
    EXPECT_EQ(m_lastPosition, link.m_length);
    // The last block is done before the end command, and the device saves the
    // image when it accepts that end: stopping earlier would race it.
    const win32test::Clock::time_point start = win32test::Clock::now();
    while (link.m_lastDownload.load() == DownloadOutcome::None && win32test::SecondsSince(start) < 10.0) ::Sleep(10);
    EXPECT_EQ(link.m_lastDownload.load(), DownloadOutcome::Confirmed);
    link.Stop();

    const HANDLE file = ::CreateFileA(saved.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << saved << ": " << SystemErrorText(::GetLastError());
    std::vector<uint8_t> stored(link.m_length + 1024u);
    DWORD n = 0;
    const BOOL ok = ::ReadFile(file, stored.data(), static_cast<DWORD>(stored.size()), &n, nullptr);
    ::CloseHandle(file);
    ASSERT_TRUE(ok);
    stored.resize(n);
    EXPECT_EQ(stored, std::vector<uint8_t>(link.m_data.get(), link.m_data.get() + link.m_length));
}

TEST_F(LinkOnSimulatedDevice, StopEndsTheWorkerPromptlyWhilePolling) {
    link.Start();
    ASSERT_TRUE(WaitForNotification(LN_INFO_CHANGED, 30000));
    // The worker now waits between polls or inside a read of up to 6 s.
    ::Sleep(300);
    const auto start = Clock::now();
    link.Stop();
    EXPECT_LT(SecondsSince(start), 2.0);
    EXPECT_FALSE(link.m_port.IsOpen());
    EXPECT_TRUE(link.m_port.m_stopEvent.IsEmpty());

    // The port can be used again at once.
    link.Start();
    EXPECT_TRUE(WaitForNotification(LN_LINK_STARTED, 5000));
    EXPECT_TRUE(WaitForNotification(LN_INFO_CHANGED, 30000));
}
