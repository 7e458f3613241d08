#include "platform/thread_queue.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "platform/clock.h"
#include "platform/services.h"
#include "support/virtual_time.h"

using namespace quillon;

namespace {

constexpr UINT kWork = 0x600;

TEST(ThreadMessageQueue, WorkerTakesMessagesInOrderUntilQuit) {
    ThreadMessageQueue queue;
    std::vector<MSG> taken;
    MSG quit{};
    std::thread worker([&] {
        MSG msg;
        while (queue.GetMessage(msg))
            taken.push_back(msg);
        quit = msg;
    });
    // Two posting threads; each one's messages must stay in its own order.
    auto poster = [&](WPARAM stream) {
        for (LPARAM i = 0; i < 500; ++i)
            queue.PostThreadMessage(kWork, stream, i);
    };
    std::thread a(poster, 1);
    std::thread b(poster, 2);
    a.join();
    b.join();
    queue.PostThreadMessage(WM_QUIT, 0, 0);
    queue.PostThreadMessage(kWork, 3, 0);  // after the quit: never taken
    worker.join();

    EXPECT_EQ(quit.message, WM_QUIT);
    ASSERT_EQ(taken.size(), 1000u);
    LPARAM next[3] = {0, 0, 0};
    for (const MSG& msg : taken) {
        ASSERT_TRUE(msg.wParam == 1 || msg.wParam == 2);
        EXPECT_EQ(msg.lParam, next[msg.wParam]++);
    }
    EXPECT_EQ(queue.size(), 1u);
}

TEST(ThreadMessageQueue, PeekDoesNotWait) {
    ThreadMessageQueue queue;
    MSG msg;
    EXPECT_FALSE(queue.PeekMessage(msg));
    queue.PostThreadMessage(kWork, 7, 8);
    ASSERT_TRUE(queue.PeekMessage(msg));
    EXPECT_EQ(msg.message, kWork);
    EXPECT_EQ(msg.wParam, 7u);
    EXPECT_EQ(msg.lParam, 8);
    EXPECT_FALSE(queue.PeekMessage(msg));
}

// The worker paces its writes with sleeps on the process clock; under virtual time they return
// at once and are recorded, whichever thread sleeps.
TEST(ThreadMessageQueue, WorkerSleepsRunOnVirtualTime) {
    test::VirtualTime time;
    ThreadMessageQueue queue;
    std::thread worker([&] {
        MSG msg;
        while (queue.GetMessage(msg))
            services().clock().Sleep(static_cast<std::uint32_t>(msg.wParam));
    });
    int fired = 0;
    std::vector<std::uint64_t> firedAt;
    time.StartTimer(500, [&] {
        ++fired;
        firedAt.push_back(time.Ticks());
    });
    queue.PostThreadMessage(kWork, 1000, 0);
    queue.PostThreadMessage(kWork, 200, 0);
    ASSERT_TRUE(time.WaitForSleeps(2));
    queue.PostThreadMessage(WM_QUIT, 0, 0);
    worker.join();

    EXPECT_EQ(time.Sleeps(), (std::vector<std::uint32_t>{1000, 200}));
    EXPECT_EQ(time.Ticks(), test::VirtualTime::kStart + 1200);
    EXPECT_EQ(fired, 0);  // sleeping fires nothing by itself
    time.RunDue();        // the UI thread catches up on the two periods it would have run
    EXPECT_EQ(fired, 2);
    time.Advance(300);
    EXPECT_EQ(fired, 3);
    EXPECT_EQ(firedAt.back(), test::VirtualTime::kStart + 1500);
}

TEST(ThreadMessageQueue, WorkerSleepsCanLeaveTheUiTimelineAlone) {
    test::VirtualTime time;
    time.SetSleepsMoveClock(test::SleepsMoveClock::No);
    std::thread worker([] { services().clock().Sleep(5000); });
    worker.join();
    EXPECT_EQ(time.Sleeps(), (std::vector<std::uint32_t>{5000}));
    EXPECT_EQ(time.Ticks(), test::VirtualTime::kStart);
}

}  // namespace
