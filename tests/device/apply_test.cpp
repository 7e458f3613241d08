#include "device/apply.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <cstring>
#include <thread>

#include "device/link_fixture.h"
#include "platform/message_window.h"

namespace quillon {
namespace {

using test::LinkFixture;
using Lines = std::vector<std::string>;

bool SameRecord(const ProfileRecord& a, const ProfileRecord& b) {
    return std::memcmp(&a, &b, sizeof(ProfileRecord)) == 0;
}

class ApplyTest : public LinkFixture {
protected:
    ApplyTest() {
        links.state[1] = 1;  // the receiver is open and its mouse awake
        links.awake[1] = 1;
    }

    // The apply that follows loading sends everything; most cases start after it.
    void SettleAfterLoad() {
        ASSERT_TRUE(profiles.full_write_pending());
        RunApply();
        ASSERT_FALSE(profiles.full_write_pending());
    }

    ProfileRecord SavedSelectedRecord() {
        const test::Bytes file = test::ReadAll(profiles.Store().FilePath());
        ProfileRecord saved;
        const std::size_t at = sizeof(StoreHeader) +
                               static_cast<std::size_t>(profiles.Header().selected) * sizeof(ProfileRecord);
        EXPECT_GE(file.size(), at + sizeof(ProfileRecord));
        std::memcpy(static_cast<void*>(&saved), file.data() + at, sizeof(ProfileRecord));
        return saved;
    }
};

TEST_F(ApplyTest, PollingChangeSendsOnlyThePollingFrameThenSaves) {
    SettleAfterLoad();
    Record().prate = 3;
    RunApply();

    ASSERT_EQ(TimelineSinceStart(), Lines{"+0 06"});
    const Report expected = {0x04, 0x0E, 0x00, 0x06, 0x09, 0x01, 0x04,
                             0xFB, 0x00, 0x00, 0x00, 0x00, 0x01, 0x21};
    EXPECT_EQ(links.written[0].report, expected);
    EXPECT_EQ(links.written[0].link, Link::Wireless);
    EXPECT_EQ(time.Sleeps(), (std::vector<std::uint32_t>{1000}));
    EXPECT_EQ(watchdogs.calls, (Lines{"stop watchdogs", "show ring", "restart watchdogs", "hide ring"}));
    EXPECT_EQ(SavedSelectedRecord().prate, 3);
    EXPECT_TRUE(SameRecord(profiles.AppliedCopy(), Record()));
}

TEST_F(ApplyTest, SelectingAnotherProfileSendsEverythingWithMacrosInButtonOrder) {
    CreateDefaultProfile(profiles.List(), u"Profile");
    SettleAfterLoad();
    profiles.Select(1);
    // Button 8 (beyond the seventh) carries a macro from device slot 0, button 4 a left-button
    // macro from slot 13, and button 2 a macro of 50 presses that needs two chunks (slots 5, 6).
    PutMacro(7, kFunctionMacro, 4);
    PutMacro(3, kFunctionLeftButtonMacro, 2);
    PutMacro(1, kFunctionMacro, 50);
    profiles.RequestFullWrite(FullWriteReason::UserChange);
    RunApply();

    EXPECT_EQ(TimelineSinceStart(),
              (Lines{"+0 0C", "+1000 04", "+2000 05", "+3000 06", "+4000 08",
                     // frame, 200 ms after each half, 1000 ms, 500 ms per chunk
                     "+5000 09/0 slot 5", "+5200 09/1", "+6900 09/0 slot 6", "+7100 09/1",
                     "+8800 09/0 slot 13", "+9000 09/1", "+10700 09/0 slot 0", "+10900 09/1"}));
    const std::vector<std::uint32_t> chunk = {200, 200, 1000, 500};
    std::vector<std::uint32_t> sleeps(5, 1000);
    for (int i = 0; i < 4; ++i)
        sleeps.insert(sleeps.end(), chunk.begin(), chunk.end());
    EXPECT_EQ(time.Sleeps(), sleeps);
    EXPECT_FALSE(profiles.full_write_pending());
    EXPECT_EQ(links.mouse.RejectedReports(), 0u);
}

TEST_F(ApplyTest, MacroChangeResendsThatMacroAndTheKeyMapOnly) {
    PutMacro(0, kFunctionMacro, 6);
    PutMacro(2, kFunctionMacro, 6);
    SettleAfterLoad();
    Record().slots[2].actions[3].delayMs = 90;
    RunApply();

    EXPECT_EQ(TimelineSinceStart(), (Lines{"+0 08", "+1000 09/0 slot 9", "+1200 09/1"}));
    EXPECT_EQ(time.Sleeps(), (std::vector<std::uint32_t>{1000, 200, 200, 1000, 500}));
}

struct GroupCase {
    const char* what;
    std::function<void(ProfileRecord&)> change;
    Lines sent;
};

TEST_F(ApplyTest, EachFieldMarksItsOwnGroup) {
    const GroupCase cases[] = {
        {"a reserved field beside the sensor options",
         [](ProfileRecord& r) { r.reserved2232 = 9; },
         {"+0 04"}},
        {"a stage resolution the mouse never sees", [](ProfileRecord& r) { r.dpi_y[3] = 7; }, {"+0 04"}},
        {"the stage colour", [](ProfileRecord& r) { r.dpi_color[7][1] = 1; }, {"+0 04"}},
        {"a reserved field beside the lighting", [](ProfileRecord& r) { r.reserved2384 = 0; }, {"+0 05"}},
        {"key debounce", [](ProfileRecord& r) { r.key_debounce = 8; }, {"+0 05"}},
        {"an unused button slot", [](ProfileRecord& r) { r.slots[23].reserved70[0] = 1; }, {"+0 08"}},
        {"move mode, which is stored only", [](ProfileRecord& r) { r.movemode = 1; }, {}},
        {"the profile name", [](ProfileRecord& r) { r.profile_name[0] = u'Q'; }, {}},
        {"two groups at once",
         [](ProfileRecord& r) {
             r.prate = 0;
             r.angle_snap = 1;
         },
         {"+0 04", "+1000 06"}},
    };
    SettleAfterLoad();
    for (const GroupCase& c : cases) {
        c.change(Record());
        RunApply();
        EXPECT_EQ(TimelineSinceStart(), c.sent) << c.what;
    }
}

TEST_F(ApplyTest, WiredLinkIsPreferredWhileItsMouseIsAwake) {
    struct Case {
        int wiredState, wiredAwake, wirelessState, wirelessAwake;
        std::optional<Link> used;
    };
    const Case cases[] = {
        {1, 1, 1, 1, Link::Wired},
        {1, 0, 1, 1, Link::Wireless},  // cable in, but the mouse has
                                       // not reported yet
        {2, 1, 1, 1, Link::Wireless},  // cable pulled; its awake flag lags behind
        {1, 1, 0, 0, Link::Wired},
        {1, 0, 1, 0, std::nullopt},
        {0, 0, 2, 1, std::nullopt},
    };
    SettleAfterLoad();
    for (const Case& c : cases) {
        links.state[0] = c.wiredState;
        links.awake[0] = c.wiredAwake;
        links.state[1] = c.wirelessState;
        links.awake[1] = c.wirelessAwake;
        Record().brightness += 1;
        const ApplyResult result = RunApply();
        if (c.used) {
            ASSERT_EQ(links.written.size(), 1u);
            EXPECT_EQ(links.written[0].link, *c.used);
            EXPECT_EQ(result.framesSent, 1u);
        } else {
            EXPECT_TRUE(links.written.empty());
            EXPECT_EQ(result.framesDropped, 1u);
        }
        EXPECT_EQ(time.Sleeps(), (std::vector<std::uint32_t>{1000}));
    }
}

// The cable's mouse falls asleep while the apply chooses a link, and the receiver is not open:
// the frame goes to the link that was chosen, never to one that is not open.
TEST_F(ApplyTest, MouseFallingAsleepWhileALinkIsChosenSendsTheFrameOnOneOpenLink) {
    SettleAfterLoad();
    links.state[0] = 1;
    links.awake[0] = 1;
    links.state[1] = 0;
    links.awake[1] = 0;
    links.afterAwakeRead = [&](Link link) {
        if (link == Link::Wired)
            links.awake[0] = 0;
    };
    Record().brightness += 1;
    RunApply();
    links.afterAwakeRead = nullptr;
    ASSERT_EQ(links.written.size(), 1u);
    EXPECT_EQ(links.written[0].link, Link::Wired);
}

TEST_F(ApplyTest, AsleepMouseGetsNothingButTheChangesAreSavedAndKeptAsUnsent) {
    SettleAfterLoad();
    const ProfileRecord before = profiles.AppliedCopy();
    links.awake[1] = 0;  // receiver present, mouse asleep
    Record().prate = 2;
    Record().light_color = {1, 2, 3, 0};
    const ApplyResult result = RunApply();

    EXPECT_TRUE(links.written.empty());
    EXPECT_EQ(result.framesDropped, 2u);
    EXPECT_EQ(time.Sleeps(), (std::vector<std::uint32_t>{1000, 1000}));
    EXPECT_EQ(SavedSelectedRecord().prate, 2);
    EXPECT_TRUE(SameRecord(profiles.AppliedCopy(), before));
    EXPECT_TRUE(profiles.HasUnsentUserChanges());

    // Once the mouse is awake again the next apply still sends both changes.
    links.awake[1] = 1;
    RunApply();
    EXPECT_EQ(TimelineSinceStart(), (Lines{"+0 05", "+1000 06"}));
    EXPECT_FALSE(profiles.HasUnsentUserChanges());
}

TEST_F(ApplyTest, AsleepMouseKeepsAFullWriteDue) {
    links.awake[1] = 0;
    profiles.RequestFullWrite(FullWriteReason::UserChange);
    RunApply();
    EXPECT_TRUE(profiles.full_write_pending());
    links.awake[1] = 1;
    RunApply();
    EXPECT_EQ(TimelineSinceStart().front(), "+0 0C");
    EXPECT_FALSE(profiles.full_write_pending());
}

TEST_F(ApplyTest, MissingApplyRingIsSkipped) {
    watchdogs.hasRing = false;
    SettleAfterLoad();
    Record().prate = 1;
    RunApply();
    EXPECT_EQ(watchdogs.calls, (Lines{"stop watchdogs", "restart watchdogs"}));
}

TEST_F(ApplyTest, MouseHoldsTheRecordAfterAFullApply) {
    ProfileRecord& r = Record();
    r.dpi_x = {1, 520, 24, 32, 64, 100, 300, 0};
    r.dpi_step_enabled = {1, 1, 0, 1, 1, 1, 1, 0};
    r.dpi_step = 4;
    r.dpi_color[2] = {10, 20, 30, 0};
    r.lift_of_distance = 1;
    r.ripple_control = 0;
    r.angle_snap = 1;
    r.motion_sync = 0;
    r.light_effect = 5;
    r.brightness = 6;
    r.breathspeed = 2;
    r.sleep_timer = 5;
    r.light_off = 7;
    r.key_debounce = 12;
    r.light_color = {200, 100, 50, 0};
    r.prate = 4;
    r.slots[5].function = kFunctionShortcut;
    r.slots[5].shortcut_key = 0x1D;
    r.slots[5].shortcut_modifiers = 0x05;
    PutMacro(2, kFunctionMacro, 40, 0x2C);
    RunApply();

    const MouseState& m = links.mouse.State();
    EXPECT_EQ(links.mouse.RejectedReports(), 0u);
    EXPECT_EQ(m.fullWrites, 1u);
    for (std::size_t i = 0; i < 8; ++i) {
        EXPECT_EQ(m.stageSteps[i], r.dpi_x[i] > 0 ? r.dpi_x[i] - 1 : 0) << i;
        EXPECT_EQ(((m.stageMask >> i) & 1) != 0, r.dpi_step_enabled[i] == 1) << i;
        for (int c = 0; c < 3; ++c)
            EXPECT_EQ(m.stageColors[i][c], r.dpi_color[i][c]);
    }
    EXPECT_EQ(m.currentStage, r.dpi_step + 1);
    EXPECT_EQ(m.liftOff, r.lift_of_distance);
    EXPECT_EQ(m.ripple, r.ripple_control);
    EXPECT_EQ(m.angleSnap, r.angle_snap);
    EXPECT_EQ(m.motionSync, r.motion_sync);
    EXPECT_EQ(m.lightEffect, r.light_effect);
    EXPECT_EQ(m.brightness, r.brightness);  // effect 5 carries the brightness
    EXPECT_EQ(m.breathCode, 9 - r.breathspeed);
    EXPECT_EQ(m.sleepTimer, r.sleep_timer);
    EXPECT_EQ(m.lightOff, r.light_off);
    EXPECT_EQ(m.debounce, r.key_debounce);
    EXPECT_EQ((std::array<std::uint8_t, 3>{m.lightColor[0], m.lightColor[1], m.lightColor[2]}),
              (std::array<std::uint8_t, 3>{200, 100, 50}));
    EXPECT_EQ(m.pollingCode, 0x02);
    EXPECT_EQ(m.keyMap[0], (std::array<std::uint8_t, 3>{0x02, 0, 0}));
    EXPECT_EQ(m.keyMap[2], (std::array<std::uint8_t, 3>{0x12, 0, 9}));
    EXPECT_EQ(m.keyMap[5], (std::array<std::uint8_t, 3>{0x11, 0x05, 0x1D}));
    const std::vector<MacroEvent> played = links.mouse.MacroFrom(9);
    ASSERT_EQ(played.size(), 40u);
    for (std::size_t i = 0; i < played.size(); ++i) {
        EXPECT_EQ(played[i].code, 0x2C);
        EXPECT_EQ(played[i].kind, i % 2 == 0 ? MacroEvent::Kind::Press : MacroEvent::Kind::Release);
    }
}

TEST_F(ApplyTest, EditsMadeWhileTheApplyRunsGoOutWithTheNextOne) {
    SettleAfterLoad();
    Record().prate = 1;
    std::mutex mutex;
    std::condition_variable changed;
    bool paused = false;
    bool resume = false;
    links.beforeWrite = [&] {
        std::unique_lock lock(mutex);
        paused = true;
        changed.notify_all();
        changed.wait(lock, [&] { return resume; });
    };

    ApplyResult result;
    std::thread worker([&] { result = apply.Apply(); });
    // The UI thread serves the apply's first step, then edits while the frame is being written.
    ASSERT_TRUE(test::PumpUntil([&] {
        std::lock_guard lock(mutex);
        return paused;
    }));
    Record().brightness = 2;
    profiles.RequestFullWrite(FullWriteReason::UserChange);
    {
        std::lock_guard lock(mutex);
        resume = true;
    }
    changed.notify_all();
    worker.join();
    links.beforeWrite = nullptr;
    test::PumpPending();

    EXPECT_EQ(result.framesSent, 1u);
    EXPECT_EQ(profiles.AppliedCopy().prate, 1);
    EXPECT_EQ(profiles.AppliedCopy().brightness, 8);
    EXPECT_TRUE(profiles.full_write_pending());  // asked for again while the apply ran
    EXPECT_EQ(watchdogs.calls.back(), "hide ring");
}

TEST_F(ApplyTest, ShutdownReleasesAnApplyWaitingForTheUiThread) {
    SettleAfterLoad();
    Record().prate = 1;
    ApplyResult result;
    result.ran = true;
    links.written.clear();
    std::thread worker([&] { result = apply.Apply(); });
    // The UI thread does not serve the event loop any more: it is about to wait for the worker.
    apply.BeginShutdown();
    worker.join();
    EXPECT_FALSE(result.ran);
    EXPECT_TRUE(links.written.empty());
}

TEST_F(ApplyTest, ShutdownStillCommitsAnApplyThatEnded) {
    SettleAfterLoad();
    Record().prate = 5;
    watchdogs.calls.clear();
    ApplyResult result;
    std::thread worker([&] { result = apply.Apply(); });
    ASSERT_TRUE(test::PumpUntil([&] { return !watchdogs.calls.empty(); }));
    worker.join();  // the end of the apply is queued for the UI thread, which is shutting down
    apply.BeginShutdown();
    apply.RunPendingUiSteps();
    EXPECT_TRUE(result.ran);
    EXPECT_EQ(SavedSelectedRecord().prate, 5);
    EXPECT_EQ(profiles.AppliedCopy().prate, 5);
}

TEST_F(ApplyTest, QuickSliderMovesLeadToOneApplyAfterTheLastMove) {
    SettleAfterLoad();
    std::vector<std::uint64_t> requests;
    MessageWindow mainWindow;
    ApplyRequests debounce(mainWindow);
    mainWindow.SetHandler([&](UINT message, WPARAM wParam, LPARAM) -> LRESULT {
        if (message == WM_TIMER)
            debounce.OnTimer(wParam);
        if (message == 0x605) {
            // What the worker does with the request the device links forward to it.
            requests.push_back(time.Ticks());
            applyStart = time.Ticks();
            links.written.clear();
            apply.Apply();
        }
        return 0;
    });
    const std::uint64_t start = time.Ticks();
    for (int value : {3, 5, 7}) {
        Record().brightness = value;
        debounce.RequestAfter(kSliderDebounceMs);
        time.Advance(150);
        test::PumpPending();
    }
    time.Advance(349);  // 499 ms after the last move
    test::PumpPending();
    EXPECT_TRUE(requests.empty());
    time.Advance(1);
    test::PumpUntil([&] { return !requests.empty(); });
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0] - start, 300u + 500u);
    EXPECT_EQ(Timeline(links.Written(), applyStart), Lines{"+0 05"});
    EXPECT_EQ(links.mouse.State().brightness, 8);  // effect 0 sends the fixed brightness
    EXPECT_EQ(profiles.AppliedCopy().brightness, 7);
    time.Advance(5000);
    test::PumpPending();
    EXPECT_EQ(requests.size(), 1u);
}

}  // namespace
}  // namespace quillon
