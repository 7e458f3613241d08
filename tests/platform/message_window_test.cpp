#include "platform/message_window.h"

#include <gtest/gtest.h>

#include <QThread>

#include <array>
#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "platform/module.h"
#include "support/qt_app.h"
#include "support/virtual_time.h"

using namespace quillon;
using quillon::test::PumpUntil;
using quillon::test::VirtualTime;

namespace {

struct Received {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    std::uint64_t at;
};

// A window that records what it handles, with the virtual time at which it did.
class RecordingWindow {
public:
    explicit RecordingWindow(const Clock& clock) : m_clock(clock) {
        m_window.SetHandler([this](UINT message, WPARAM wParam, LPARAM lParam) -> LRESULT {
            m_received.push_back({message, wParam, lParam, m_clock.Ticks()});
            return 0;
        });
    }
    MessageWindow& window() { return m_window; }
    std::vector<Received>& received() { return m_received; }
    std::vector<WPARAM> TimerIds() const {
        std::vector<WPARAM> ids;
        for (const Received& r : m_received)
            if (r.message == WM_TIMER)
                ids.push_back(r.wParam);
        return ids;
    }

private:
    const Clock& m_clock;
    MessageWindow m_window;
    std::vector<Received> m_received;
};

class MessageWindowTest : public ::testing::Test {
protected:
    void SetUp() override { quillon::test::TestApplication(); }
    VirtualTime time;
};

TEST_F(MessageWindowTest, TimerFiresEveryPeriodWithItsId) {
    RecordingWindow w(time);
    EXPECT_EQ(w.window().SetTimer(513, 500), 513u);
    time.Advance(499);
    EXPECT_TRUE(w.received().empty());
    time.Advance(1);
    time.Advance(1000);
    ASSERT_EQ(w.received().size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(w.received()[i].message, WM_TIMER);
        EXPECT_EQ(w.received()[i].wParam, 513u);
        EXPECT_EQ(w.received()[i].at, VirtualTime::kStart + 500 * (i + 1));
    }
}

TEST_F(MessageWindowTest, RestartReplacesTheRunningTimer) {
    RecordingWindow w(time);
    w.window().SetTimer(513, 500);
    time.Advance(400);
    // A restart (the debounce of an edit) starts a fresh period and leaves one timer running.
    w.window().SetTimer(513, 200);
    EXPECT_EQ(time.ActiveTimers(), 1u);
    time.Advance(199);
    EXPECT_TRUE(w.received().empty());
    time.Advance(1);
    ASSERT_EQ(w.received().size(), 1u);
    EXPECT_EQ(w.received()[0].at, VirtualTime::kStart + 600);
    time.Advance(200);
    EXPECT_EQ(w.received().size(), 2u);
}

TEST_F(MessageWindowTest, KilledTimerStaysQuiet) {
    RecordingWindow w(time);
    w.window().SetTimer(512, 6000);
    w.window().SetTimer(518, 6000);
    EXPECT_TRUE(w.window().KillTimer(512));
    EXPECT_FALSE(w.window().KillTimer(512));
    EXPECT_FALSE(w.window().KillTimer(999));
    EXPECT_EQ(w.window().SetTimer(0, 10), 0u);
    time.Advance(12000);
    EXPECT_EQ(w.TimerIds(), (std::vector<WPARAM>{518, 518}));
}

TEST_F(MessageWindowTest, TimersFireInDueOrderAndSameDueInStartOrder) {
    RecordingWindow w(time);
    w.window().SetTimer(3, 30);
    w.window().SetTimer(1, 20);
    w.window().SetTimer(2, 20);
    time.Advance(60);
    EXPECT_EQ(w.TimerIds(), (std::vector<WPARAM>{1, 2, 3, 1, 2, 3, 1, 2}));
}

TEST_F(MessageWindowTest, ZeroPeriodIsRaisedToTheMinimum) {
    RecordingWindow w(time);
    w.window().SetTimer(7, 0);
    time.Advance(USER_TIMER_MINIMUM * 3);
    EXPECT_EQ(w.received().size(), 3u);
}

TEST_F(MessageWindowTest, TimerHandlerMayStartStopAndRestartTimers) {
    MessageWindow window;
    std::vector<std::pair<WPARAM, std::uint64_t>> fired;
    window.SetHandler([&](UINT message, WPARAM id, LPARAM) -> LRESULT {
        if (message != WM_TIMER)
            return 0;
        fired.emplace_back(id, time.Ticks() - VirtualTime::kStart);
        if (id == 1) {
            window.KillTimer(1);     // one-shot
            window.SetTimer(2, 15);  // chained, due within the same advance
        } else if (id == 2 && fired.size() < 4) {
            window.SetTimer(2, 20);  // restarted from its own handler
        }
        return 0;
    });
    window.SetTimer(1, 10);
    time.Advance(100);
    EXPECT_EQ(fired,
              (std::vector<std::pair<WPARAM, std::uint64_t>>{{1, 10}, {2, 25}, {2, 45}, {2, 65}, {2, 85}}));
}

TEST_F(MessageWindowTest, DestroyedWindowStopsItsTimers) {
    auto w = std::make_unique<RecordingWindow>(time);
    w->window().SetTimer(515, 30);
    w.reset();
    EXPECT_EQ(time.ActiveTimers(), 0u);
    time.Advance(100);  // would touch the destroyed window
}

TEST_F(MessageWindowTest, MessagesPostedFromOtherThreadsArriveInOrder) {
    RecordingWindow w(time);
    const HWND handle = w.window().handle();
    constexpr int kPerThread = 2000;
    auto poster = [handle](UINT message) {
        for (int i = 0; i < kPerThread; ++i)
            ASSERT_TRUE(PostMessage(handle, message, static_cast<WPARAM>(i), -i));
    };
    // The window handles messages while the threads are still posting.
    std::thread first(poster, WM_USER + 1);
    std::thread second(poster, WM_USER + 2);
    const bool all = PumpUntil([&] { return w.received().size() == 2 * kPerThread; });
    first.join();
    second.join();
    ASSERT_TRUE(all);

    std::array<int, 2> next{0, 0};
    for (const Received& r : w.received()) {
        const std::size_t stream = r.message - (WM_USER + 1);
        ASSERT_LT(stream, 2u);
        EXPECT_EQ(r.wParam, static_cast<WPARAM>(next[stream]));
        EXPECT_EQ(r.lParam, -next[stream]);
        ++next[stream];
    }
    EXPECT_EQ(next, (std::array<int, 2>{kPerThread, kPerThread}));
    EXPECT_EQ(w.window().PendingMessages(), 0u);
}

TEST_F(MessageWindowTest, PostedMessageWaitsForTheEventLoop) {
    RecordingWindow w(time);
    EXPECT_TRUE(w.window().PostMessage(WM_USER, 1, 2));
    EXPECT_TRUE(w.received().empty());
    EXPECT_EQ(w.window().PendingMessages(), 1u);
    quillon::test::PumpPending();
    ASSERT_EQ(w.received().size(), 1u);
    EXPECT_EQ(w.received()[0].lParam, 2);
}

TEST_F(MessageWindowTest, SendFromTheWindowThreadIsHandledAtOnce) {
    MessageWindow window([](UINT message, WPARAM wParam, LPARAM lParam) -> LRESULT {
        return message == WM_USER ? static_cast<LRESULT>(wParam) + lParam : -1;
    });
    EXPECT_EQ(SendMessage(window.handle(), WM_USER, 40, 2), 42);
    EXPECT_EQ(window.SendMessage(WM_CLOSE, 0, 0), -1);
}

TEST_F(MessageWindowTest, SendFromAnotherThreadBlocksUntilHandledOnTheWindowThread) {
    QThread* uiThread = QThread::currentThread();
    std::atomic<bool> handledOnUiThread{false};
    MessageWindow window([&](UINT, WPARAM wParam, LPARAM) -> LRESULT {
        handledOnUiThread = QThread::currentThread() == uiThread;
        return static_cast<LRESULT>(wParam * 2);
    });
    std::atomic<LRESULT> result{0};
    std::atomic<bool> returned{false};
    std::thread sender([&] {
        result = SendMessage(window.handle(), WM_USER + 5, 21, 0);
        returned = true;
    });
    // Not handled until the UI thread runs its loop, so the sender cannot have returned yet.
    while (window.PendingMessages() == 0)
        std::this_thread::yield();
    EXPECT_FALSE(returned.load());
    ASSERT_TRUE(PumpUntil([&] { return returned.load(); }));
    sender.join();
    EXPECT_EQ(result.load(), 42);
    EXPECT_TRUE(handledOnUiThread.load());
}

TEST_F(MessageWindowTest, SenderIsReleasedWhenTheWindowGoesFirst) {
    auto window = std::make_unique<MessageWindow>([](UINT, WPARAM, LPARAM) -> LRESULT { return 7; });
    std::atomic<LRESULT> result{-1};
    std::thread sender([&, handle = window->handle()] { result = SendMessage(handle, WM_USER, 0, 0); });
    while (window->PendingMessages() == 0)
        std::this_thread::yield();
    window.reset();
    sender.join();
    EXPECT_EQ(result.load(), 0);
}

TEST_F(MessageWindowTest, PayloadIsACopyValidWhileHandled) {
    std::vector<std::uint8_t> seen;
    LPARAM seenLength = 0;
    MessageWindow window([&](UINT message, WPARAM wParam, LPARAM lParam) -> LRESULT {
        if (message == WM_USER + 0x203) {
            const auto* bytes = reinterpret_cast<const std::uint8_t*>(wParam);
            seen.assign(bytes, bytes + lParam);
            seenLength = lParam;
        }
        return 0;
    });
    std::array<std::uint8_t, 64> report{};
    for (std::size_t i = 0; i < report.size(); ++i)
        report[i] = static_cast<std::uint8_t>(i + 1);
    ASSERT_TRUE(PostDataMessage(window.handle(), WM_USER + 0x203, report.data(), report.size(), 64));
    report.fill(0xEE);  // the sender reuses its buffer at once
    quillon::test::PumpPending();
    ASSERT_EQ(seenLength, 64);
    ASSERT_EQ(seen.size(), 64u);
    for (std::size_t i = 0; i < seen.size(); ++i)
        EXPECT_EQ(seen[i], i + 1);
}

TEST_F(MessageWindowTest, EmptyPayloadStillGivesAPointer) {
    WPARAM pointer = 0;
    MessageWindow window([&](UINT, WPARAM wParam, LPARAM) -> LRESULT {
        pointer = wParam;
        return 0;
    });
    ASSERT_TRUE(PostDataMessage(window.handle(), WM_USER, nullptr, 0, 0));
    EXPECT_FALSE(PostDataMessage(window.handle(), WM_USER, nullptr, 4, 0));
    EXPECT_FALSE(PostDataMessage(window.handle(), WM_USER, &pointer, kMaxMessagePayload + 1, 0));
    quillon::test::PumpPending();
    EXPECT_NE(pointer, 0u);
}

TEST_F(MessageWindowTest, MessagesToAGoneWindowAreDroppedAndTheirPayloadsFreed) {
    int handled = 0;
    auto window = std::make_unique<MessageWindow>([&](UINT, WPARAM, LPARAM) -> LRESULT { return ++handled; });
    const HWND handle = window->handle();
    const std::array<std::uint8_t, 64> report{};
    ASSERT_TRUE(PostDataMessage(handle, WM_USER, report.data(), report.size(), 64));
    ASSERT_TRUE(PostMessage(handle, WM_USER, 0, 0));
    window.reset();  // under ASan a leaked payload fails here

    EXPECT_FALSE(IsWindow(handle));
    EXPECT_FALSE(PostMessage(handle, WM_USER, 0, 0));
    EXPECT_FALSE(PostDataMessage(handle, WM_USER, report.data(), report.size(), 64));
    EXPECT_EQ(SendMessage(handle, WM_USER, 0, 0), 0);
    EXPECT_FALSE(PostMessage(nullptr, WM_USER, 0, 0));

    // A later window never gets the old handle, so the old messages cannot reach it.
    MessageWindow later([&](UINT, WPARAM, LPARAM) -> LRESULT { return ++handled; });
    EXPECT_NE(later.handle(), handle);
    quillon::test::PumpPending();
    EXPECT_EQ(handled, 0);
}

TEST_F(MessageWindowTest, WindowMayDestroyItselfWhileHandlingAMessage) {
    std::unique_ptr<MessageWindow> window;
    int handled = 0;
    window = std::make_unique<MessageWindow>([&](UINT message, WPARAM, LPARAM) -> LRESULT {
        ++handled;
        if (message == WM_CLOSE)
            window.reset();
        return 0;
    });
    const HWND handle = window->handle();
    PostMessage(handle, WM_CLOSE, 0, 0);
    PostMessage(handle, WM_USER, 0, 0);  // dropped with the window
    quillon::test::PumpPending();
    quillon::test::PumpPending();
    EXPECT_EQ(handled, 1);
    EXPECT_FALSE(IsWindow(handle));
}

// A plugin posts through the functions the executable exports, from its own thread, with report
// buffers that it overwrites right after each post.
TEST_F(MessageWindowTest, PluginPostsThroughTheExportedHostApi) {
    Module plugin = Module::Load(QUILLON_POST_PLUGIN);
    ASSERT_TRUE(plugin) << plugin.Error();
    using PostFromThreadFn = int (*)(QuillonWindow, uint32_t, uint32_t, int);
    auto postFromThread = plugin.Resolve<PostFromThreadFn>("PostFromThread");
    ASSERT_NE(postFromThread, nullptr);

    std::vector<Received> plain;
    std::vector<std::vector<std::uint8_t>> reports;
    MessageWindow window([&](UINT message, WPARAM wParam, LPARAM lParam) -> LRESULT {
        if (message == 0x603) {
            const auto* bytes = reinterpret_cast<const std::uint8_t*>(wParam);
            reports.emplace_back(bytes, bytes + lParam);
        } else {
            plain.push_back({message, wParam, lParam, 0});
        }
        return 0;
    });
    constexpr int kCount = 300;
    EXPECT_EQ(postFromThread(window.handle(), 0x604, 0x603, kCount), 2 * kCount);
    ASSERT_TRUE(PumpUntil([&] { return reports.size() == kCount; }));
    ASSERT_EQ(plain.size(), static_cast<std::size_t>(kCount));
    for (int i = 0; i < kCount; ++i) {
        EXPECT_EQ(plain[i].wParam, static_cast<WPARAM>(i));
        EXPECT_EQ(plain[i].lParam, -i);
        ASSERT_EQ(reports[i].size(), 64u);
        EXPECT_EQ(reports[i][0], 0x04);
        EXPECT_EQ(reports[i][63], static_cast<std::uint8_t>(i & 0xFF));
    }

    // Posting to a window that is gone is refused, not a crash.
    EXPECT_EQ(QuillonPostMessage(reinterpret_cast<QuillonWindow>(0x1), 0x604, 0, 0), 0);
}

}  // namespace
