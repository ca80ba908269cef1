// Events as the link uses them: manual-reset for the port's stop, auto-reset
// for the worker's wake-up. Run against every backend's events.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "link/handles.h"

namespace {
using Clock = std::chrono::steady_clock;
double SecondsSince(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }
}  // namespace

TEST(Events, ManualResetStaysSignalledUntilReset) {
    CKernelHandle event;
    ASSERT_TRUE(event.CreateEvent(true));
    EXPECT_EQ(event.Wait(0), CKernelHandle::WaitResult::TimedOut) << "created non-signalled";
    ASSERT_TRUE(event.Signal());
    EXPECT_EQ(event.Wait(0), CKernelHandle::WaitResult::Signalled);
    EXPECT_EQ(event.Wait(0), CKernelHandle::WaitResult::Signalled) << "a wait must not consume it";
    ASSERT_TRUE(event.Reset());
    EXPECT_EQ(event.Wait(0), CKernelHandle::WaitResult::TimedOut);
}

TEST(Events, AutoResetIsConsumedByOneWait) {
    CKernelHandle event;
    ASSERT_TRUE(event.CreateEvent(false));
    ASSERT_TRUE(event.Signal());
    ASSERT_TRUE(event.Signal());  // signalling twice still wakes one wait
    EXPECT_EQ(event.Wait(0), CKernelHandle::WaitResult::Signalled);
    const auto start = Clock::now();
    EXPECT_EQ(event.Wait(100), CKernelHandle::WaitResult::TimedOut);
    EXPECT_GE(SecondsSince(start), 0.05);
    EXPECT_LT(SecondsSince(start), 2.0);
}

TEST(Events, SignalFromAnotherThreadEndsAnInfiniteWait) {
    CKernelHandle event;
    ASSERT_TRUE(event.CreateEvent(false));
    const auto start = Clock::now();
    std::thread signaller([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        event.Signal();
    });
    EXPECT_EQ(event.Wait(kInfinite), CKernelHandle::WaitResult::Signalled);
    signaller.join();
    EXPECT_LT(SecondsSince(start), 2.0);
}

TEST(Events, EmptyHolderAndRecreation) {
    CKernelHandle event;
    EXPECT_TRUE(event.IsEmpty());
    EXPECT_FALSE(event.Signal());
    EXPECT_FALSE(event.Reset());
    EXPECT_EQ(event.Wait(0), CKernelHandle::WaitResult::Failed);
    EXPECT_FALSE(event.Close());
    ASSERT_TRUE(event.CreateEvent(true));
    ASSERT_TRUE(event.Signal());
    ASSERT_TRUE(event.CreateEvent(true)) << "creating again replaces the held event";
    EXPECT_EQ(event.Wait(0), CKernelHandle::WaitResult::TimedOut) << "the new event starts non-signalled";
    EXPECT_TRUE(event.Close());
    EXPECT_TRUE(event.IsEmpty());
    EXPECT_FALSE(event.Close());
}
