// The port watch's Windows side: its hidden top-level window hears the
// device-change broadcasts Windows sends when a COM port comes or goes
// (DBT_DEVNODES_CHANGED is all some virtual COM port drivers send), ignores
// the others, and hears nothing once stopped. A broadcast sent with
// SendMessageTimeout returns only after every top-level window has handled
// it, so each count is checked at once, without waiting.
#include <gtest/gtest.h>

#include <atomic>

#include "link/port_watch.h"
#include "native_types.h"

#include <dbt.h>

namespace {
// Sends WM_DEVICECHANGE with this event to every top-level window.
void BroadcastDeviceChange(WPARAM event) {
    DWORD_PTR result = 0;
    ::SendMessageTimeoutW(HWND_BROADCAST, WM_DEVICECHANGE, event, 0, SMTO_ABORTIFHUNG, 5000, &result);
}
}  // namespace

TEST(Win32PortWatch, DeviceChangeBroadcastsReachTheCallbackUntilStopped) {
    CPortWatch watch;
    std::atomic<int> changes{0};
    ASSERT_TRUE(watch.Start([&] { ++changes; }));
    EXPECT_TRUE(watch.IsWatching());

    BroadcastDeviceChange(DBT_DEVNODES_CHANGED);
    EXPECT_EQ(changes.load(), 1);
    // Arrival and removal carry a device record for registered windows; the
    // bare events count as well.
    BroadcastDeviceChange(DBT_DEVICEARRIVAL);
    BroadcastDeviceChange(DBT_DEVICEREMOVECOMPLETE);
    EXPECT_EQ(changes.load(), 3);
    // A configuration query is no change of ports.
    BroadcastDeviceChange(DBT_QUERYCHANGECONFIG);
    EXPECT_EQ(changes.load(), 3);

    watch.Stop();
    EXPECT_FALSE(watch.IsWatching());
    BroadcastDeviceChange(DBT_DEVNODES_CHANGED);
    EXPECT_EQ(changes.load(), 3);

    // A second start makes a new window of the same class.
    ASSERT_TRUE(watch.Start([&] { ++changes; }));
    BroadcastDeviceChange(DBT_DEVNODES_CHANGED);
    EXPECT_EQ(changes.load(), 4);
}
