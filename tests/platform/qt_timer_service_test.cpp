#include "platform/timer_service.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/qt_app.h"

using namespace quillon;

namespace {

// Zero periods fire on every pass of the event loop, so these run without waiting for time.
TEST(QtTimerService, TimersStopFromTheirOwnAndOtherCallbacks) {
    test::TestApplication();
    QtTimerService service;
    std::vector<char> fired;
    TimerId a = 0, b = 0;
    a = service.StartTimer(0, [&] {
        fired.push_back('a');
        if (std::count(fired.begin(), fired.end(), 'a') == 3)
            service.StopTimer(a);  // from its own timeout
    });
    b = service.StartTimer(0, [&] {
        fired.push_back('b');
        service.StopTimer(b);
    });
    EXPECT_NE(a, 0u);
    EXPECT_NE(a, b);
    ASSERT_TRUE(test::PumpUntil([&] { return std::count(fired.begin(), fired.end(), 'a') == 3; }, 2000))
        << std::string(fired.begin(), fired.end());
    const auto countNow = fired.size();
    for (int i = 0; i < 5; ++i)
        test::PumpPending();
    EXPECT_EQ(fired.size(), countNow);
    EXPECT_EQ(std::count(fired.begin(), fired.end(), 'b'), 1);
    service.StopTimer(a);   // already stopped
    service.StopTimer(99);  // never started
}

TEST(QtTimerService, DestroyedServiceTakesItsTimersAlong) {
    test::TestApplication();
    int fired = 0;
    {
        QtTimerService service;
        service.StartTimer(0, [&] { ++fired; });
    }
    for (int i = 0; i < 3; ++i)
        test::PumpPending();
    EXPECT_EQ(fired, 0);
}

}  // namespace
