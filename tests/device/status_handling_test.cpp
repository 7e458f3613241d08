#include "device/status_handling.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "device/link_fixture.h"
#include "support/fake_driver.h"

namespace quillon {
namespace {

using test::CallJournal;
using test::FakeDriver;

// The page's controls as the status view leaves them.
class RecordingStatusView final : public StatusView {
public:
    void SetLinkIndicatorVisible(Link link, bool visible) override {
        (link == Link::Wired ? wired : wireless) = visible;
    }
    void SetSleepNoticeVisible(bool visible) override { sleepNotice = visible; }
    void ShowPowerLevel(int percent) override {
        powerBar = percent;
        labelText = std::to_string(percent) + "%";
        labelIsKey = false;
    }
    void ShowChargingText() override {
        labelText = "charging_text";
        labelIsKey = true;
    }
    void ClearPowerLabel() override {
        labelText.clear();
        labelIsKey = false;
    }
    void SetPowerBar(int value) override { powerBar = value; }
    void SelectDpiStage(int stage) override { dpiStage = stage; }
    void SetDpiStageEnabled(int stage) override { enabledStages.push_back(stage); }
    void MarkCurrentDpiEdit() override { ++dpiEditMarks; }
    void SelectPollingRate(int prate) override { pollingRate = prate; }
    void SelectLightEffect(int effect) override { lightEffect = effect; }
    void ShowLightLayout() override { ++lightLayouts; }
    void ShowLinkSections(LinkSections shown) override { sections = shown; }
    bool SetApplyRingVisible(bool visible) override {
        applyRing = visible;
        return true;
    }

    bool wired = false;
    bool wireless = false;
    bool sleepNotice = false;
    int powerBar = 0;
    std::string labelText;
    bool labelIsKey = false;
    int dpiStage = -1;
    int dpiEditMarks = 0;
    std::vector<int> enabledStages;
    int pollingRate = -1;
    int lightEffect = -1;
    int lightLayouts = 0;
    std::optional<LinkSections> sections;
    bool applyRing = false;
};

struct Posted {
    UINT message;
    LPARAM lParam;
    std::uint64_t tick;
};

class StatusHandlingTest : public test::LinkFixture {
protected:
    StatusHandlingTest() {
        window.SetHandler([this](UINT message, WPARAM wParam, LPARAM lParam) -> LRESULT {
            if (message == WM_TIMER) {
                status.OnTimer(wParam);
                return 0;
            }
            if (message == MSG_WIRED_PLUG || message == MSG_WIRELESS_PLUG) {
                deviceLinks.HandleDeviceMessage(message, wParam, lParam);
                return 0;
            }
            if (!status.HandleStatusMessage(message, wParam, lParam) && message >= WM_USER)
                posted.push_back({message, lParam, time.Ticks()});
            return 0;
        });
        status.SetLinks(&deviceLinks);
        deviceLinks.Start();
        test::PumpPending();
        posted.clear();
    }

    void WirelessReport(const MouseStatusReport& report) {
        wireless.SendReport(report);
        test::PumpPending();
    }
    void WiredReport(const MouseStatusReport& report) {
        wired.SendReport(report);
        test::PumpPending();
    }
    void Advance(std::uint64_t ms) {
        time.Advance(ms);
        test::PumpPending();
    }
    std::size_t Count(UINT message) const {
        std::size_t n = 0;
        for (const Posted& p : posted)
            n += p.message == message;
        return n;
    }
    const std::string& LabelText() const { return view.labelText; }
    bool LabelIsKey() const { return view.labelIsKey; }
    int Progress() const { return view.powerBar; }
    bool Awake(Link link) const { return deviceLinks.IsAwake(link); }

    RecordingStatusView view;
    MessageWindow window;
    StatusHandling status{window, profiles, view};
    CallJournal journal;
    FakeDriver wired{journal, "wired"};
    FakeDriver wireless{journal, "wireless"};
    DeviceLinks deviceLinks{window, status, [](WPARAM, LPARAM) {}, test::FakeDriverLoader(&wired, &wireless)};
    std::vector<Posted> posted;
};

TEST_F(StatusHandlingTest, StartWithBothLinksShowsChargingUntilTheMouseReports) {
    EXPECT_TRUE(LabelIsKey());
    EXPECT_EQ(LabelText(), "charging_text");
    EXPECT_FALSE(view.sleepNotice);
    EXPECT_FALSE(Awake(Link::Wired));
    EXPECT_FALSE(Awake(Link::Wireless));
}

struct PowerCase {
    const char* what;
    bool wiredLink;
    std::uint8_t value;
    std::uint8_t level;
    const char* label;  // raw label text afterwards
    bool labelIsKey;
    int progress;  // progress bar afterwards (-1: as the animation left it)
    bool animationRuns;
    int batteryLevel;
};

TEST_F(StatusHandlingTest, PowerReportsSetTheDisplayAndWakeTheirLink) {
    const PowerCase cases[] = {
        {"2.4 GHz on battery", false, 1, 57, "57%", false, 57, false, 57},
        // The level received last stays stored.
        {"2.4 GHz level 0 sets no level", false, 1, 0, "charging_text", true, -1, false, 57},
        {"2.4 GHz level above 100", false, 4, 101, "charging_text", true, -1, false, 57},
        {"2.4 GHz charge complete", false, 2, 0, "100%", false, 100, false, 57},
        {"2.4 GHz charging", false, 3, 0, "charging_text", true, -1, true, 57},
        {"cable on battery shows no level", true, 1, 80, "charging_text", true, -1, true, 57},
        {"cable charge complete", true, 2, 0, "100%", false, 100, false, 57},
    };
    for (const PowerCase& c : cases) {
        SCOPED_TRACE(c.what);
        deviceLinks.SetAwake(Link::Wired, false);
        deviceLinks.SetAwake(Link::Wireless, false);
        view.sleepNotice = true;
        status.ShowCharging(LinkView::ChargeAnimation::Restart);
        Advance(300);  // the animation has moved the bar on
        const int animated = Progress();

        const MouseStatusReport report = MakePowerStatus(c.value, c.level);
        c.wiredLink ? WiredReport(report) : WirelessReport(report);

        EXPECT_EQ(LabelText(), c.label);
        EXPECT_EQ(LabelIsKey(), c.labelIsKey);
        EXPECT_EQ(Progress(), c.progress < 0 ? animated : c.progress);
        EXPECT_EQ(status.battery_level(), c.batteryLevel);
        EXPECT_TRUE(Awake(c.wiredLink ? Link::Wired : Link::Wireless));
        EXPECT_TRUE(c.wiredLink ? view.wired : view.wireless);
        EXPECT_FALSE(view.sleepNotice);
        const int before = Progress();
        Advance(90);
        EXPECT_EQ(Progress() != before, c.animationRuns);
        status.ShowLevel(0);
        window.KillTimer(TIMER_CHARGE_ANIMATION);
    }
}

TEST_F(StatusHandlingTest, ChargingAnimationRunsToAHundredThenStartsOver) {
    status.ShowCharging(LinkView::ChargeAnimation::Restart);
    std::vector<int> shown;
    for (int i = 0; i < 53; ++i) {
        Advance(30);
        shown.push_back(Progress());
    }
    std::vector<int> expected;
    for (int v = 0; v <= 100; v += 2)
        expected.push_back(v);
    expected.push_back(0);
    expected.push_back(2);
    EXPECT_EQ(shown, expected);
}

TEST_F(StatusHandlingTest, SilentMouseIsTakenForAsleepAfterSixSeconds) {
    WirelessReport(MakePowerStatus(1, 70));
    Advance(5000);
    WirelessReport(MakePowerStatus(1, 69));
    Advance(5999);
    EXPECT_TRUE(Awake(Link::Wireless));
    EXPECT_FALSE(view.sleepNotice);
    Advance(1);
    EXPECT_FALSE(Awake(Link::Wireless));
    EXPECT_FALSE(view.wireless);
    EXPECT_TRUE(view.sleepNotice);

    // While the cable's mouse still reports, the receiver's going quiet shows no sleep notice.
    WirelessReport(MakePowerStatus(1, 68));
    WiredReport(MakePowerStatus(1, 0));
    Advance(4000);
    WiredReport(MakePowerStatus(1, 0));
    Advance(2000);
    EXPECT_FALSE(Awake(Link::Wireless));
    EXPECT_TRUE(Awake(Link::Wired));
    EXPECT_FALSE(view.sleepNotice);
    Advance(4000);
    EXPECT_FALSE(Awake(Link::Wired));
    EXPECT_TRUE(view.sleepNotice);
}

TEST_F(StatusHandlingTest, StageChosenOnTheMouseIsTakenOverAndNotSentBack) {
    ASSERT_TRUE(profiles.full_write_pending());
    profiles.FinishApply(profiles.TakeApplySnapshot(), ApplyDelivery::Complete);
    WirelessReport(MakePowerStatus(1, 50));
    WirelessReport(MakeStageStatus(3));

    EXPECT_EQ(Record().dpi_step, 2);
    EXPECT_EQ(view.dpiStage, 2);
    EXPECT_EQ(view.dpiEditMarks, 1);
    ASSERT_EQ(Count(MSG_DPI_STAGE_REPORTED), 1u);
    EXPECT_EQ(posted.back().lParam, Record().dpi_x[2]);
    const test::Bytes file = test::ReadAll(profiles.Store().FilePath());
    std::int32_t saved = 0;
    std::memcpy(&saved, file.data() + sizeof(StoreHeader) + 2356, 4);
    EXPECT_EQ(saved, 2);
    EXPECT_FALSE(profiles.HasUnsentUserChanges());

    DeviceReportLinks reportLinks(deviceLinks);
    ApplySequence deviceApply(profiles, reportLinks, status, status, &time);
    Record().prate = 0;
    deviceApply.Apply();
    ASSERT_EQ(wireless.Written().size(), 1u);
    EXPECT_EQ(wireless.Written()[0][3], kCommandPollingRate);
}

// The mouse reports a stage the record has disabled: the stage is enabled, so the next apply
// cannot send a stage mask without the current stage.
TEST_F(StatusHandlingTest, ReportedStageThatTheRecordDisablesIsEnabledAndSent) {
    ASSERT_EQ(Record().dpi_step_enabled[6], 0);
    profiles.FinishApply(profiles.TakeApplySnapshot(), ApplyDelivery::Complete);
    WirelessReport(MakePowerStatus(1, 50));
    WirelessReport(MakeStageStatus(7));
    EXPECT_EQ(Record().dpi_step_enabled[6], 1);
    EXPECT_EQ(view.enabledStages, std::vector<int>{6});
    EXPECT_TRUE(profiles.HasUnsentUserChanges());

    DeviceReportLinks reportLinks(deviceLinks);
    ApplySequence deviceApply(profiles, reportLinks, status, status, &time);
    deviceApply.Apply();
    DeviceModel mouse;
    for (const auto& report : wireless.Written())
        mouse.Feed(report);
    EXPECT_EQ(mouse.State().currentStage, 7);
    EXPECT_NE(mouse.State().stageMask & (1u << 6), 0u);
}

// A DPI typed on the page waits for "Apply"; the mouse's DPI button meanwhile must not make it
// count as sent. Over BLE the same holds for a reported polling rate or lighting effect.
TEST_F(StatusHandlingTest, ReportedSettingLeavesTheUsersUnsentEditsUnsent) {
    profiles.FinishApply(profiles.TakeApplySnapshot(), ApplyDelivery::Complete);
    WirelessReport(MakePowerStatus(1, 50));
    Record().dpi_x[0] = 123;
    WirelessReport(MakeStageStatus(3));
    EXPECT_EQ(profiles.AppliedCopy().dpi_step, 2);
    EXPECT_NE(profiles.AppliedCopy().dpi_x[0], 123);
    EXPECT_TRUE(profiles.HasUnsentUserChanges());

    Record().light_color = {9, 8, 7, 0};
    status.OnBleStatus(0x203C, 3);
    status.OnBleStatus(0x703C, 0x0050);
    EXPECT_EQ(profiles.AppliedCopy().prate, 3);
    EXPECT_EQ(profiles.AppliedCopy().light_effect, 5);
    EXPECT_TRUE(profiles.HasUnsentUserChanges());

    DeviceReportLinks reportLinks(deviceLinks);
    ApplySequence deviceApply(profiles, reportLinks, status, status, &time);
    deviceApply.Apply();
    DeviceModel mouse;
    for (const auto& report : wireless.Written())
        mouse.Feed(report);
    EXPECT_EQ(mouse.State().stageSteps[0], 122);
    EXPECT_EQ(mouse.State().currentStage, 3);
    EXPECT_EQ(mouse.State().lightColor, (std::array<std::uint8_t, 3>{9, 8, 7}));
    EXPECT_FALSE(profiles.HasUnsentUserChanges());
}

TEST_F(StatusHandlingTest, PollingRateChosenOnTheMouseIsShownAndSentBackByTheNextApply) {
    profiles.FinishApply(profiles.TakeApplySnapshot(), ApplyDelivery::Complete);
    const test::Bytes fileBefore = test::ReadAll(profiles.Store().FilePath());
    WirelessReport(MakePowerStatus(1, 50));
    WirelessReport(MakePollingStatus(0x08));

    EXPECT_EQ(Record().prate, 2);
    EXPECT_EQ(view.pollingRate, 2);
    EXPECT_EQ(profiles.AppliedCopy().prate, 6);
    EXPECT_TRUE(test::ReadAll(profiles.Store().FilePath()) == fileBefore);

    DeviceReportLinks reportLinks(deviceLinks);
    ApplySequence deviceApply(profiles, reportLinks, status, status, &time);
    deviceApply.Apply();
    ASSERT_EQ(wireless.Written().size(), 1u);
    EXPECT_EQ(wireless.Written()[0][3], kCommandPollingRate);
    EXPECT_EQ(wireless.Written()[0][6], 0x08);
}

TEST_F(StatusHandlingTest, MalformedReportsChangeNothing) {
    const std::vector<std::vector<std::uint8_t>> reports = {
        {},
        {0x05, 0x3C, 0x40, 0x01},        // one byte short of a power report
        {0x05, 0x3D, 0x40, 0x01, 0x50},  // not a status report
        {0x05, 0x3C, 0x10, 0x00, 0x00},  // stage 0
        {0x05, 0x3C, 0x10, 0x09, 0x00},  // stage 9
        {0x05, 0x3C, 0x33, 0x01, 0x50},  // unknown type
    };
    const ProfileRecord before = Record();
    for (const auto& report : reports) {
        wireless.SendReport(report);
        test::PumpPending();
    }
    EXPECT_EQ(std::memcmp(&before, &Record(), sizeof(ProfileRecord)), 0);
    EXPECT_FALSE(Awake(Link::Wireless));
    EXPECT_EQ(LabelText(), "charging_text");
    EXPECT_TRUE(posted.empty());
}

TEST_F(StatusHandlingTest, WakingWithUnsentChangesRequestsOneApply) {
    DeviceReportLinks reportLinks(deviceLinks);
    ApplySequence deviceApply(profiles, reportLinks, status, status, &time);

    // The full write that loading asks for is no change of the user's: it waits for an edit.
    ASSERT_TRUE(profiles.full_write_pending());
    WirelessReport(MakePowerStatus(1, 50));
    Advance(6000);
    EXPECT_EQ(Count(MSG_APPLY_REQUEST), 0u);

    // Nor does a wake ask for anything once everything went out.
    profiles.FinishApply(profiles.TakeApplySnapshot(), ApplyDelivery::Complete);
    WirelessReport(MakePowerStatus(1, 50));
    Advance(6000);
    EXPECT_EQ(Count(MSG_APPLY_REQUEST), 0u);

    // The mouse sleeps through an edit: the apply writes nothing.
    Record().light_color = {9, 9, 9, 0};
    deviceApply.Apply();
    EXPECT_TRUE(wireless.Written().empty());
    WirelessReport(MakePowerStatus(1, 50));
    WirelessReport(MakePowerStatus(1, 49));  // already awake: no second request
    test::PumpPending();
    EXPECT_EQ(Count(MSG_APPLY_REQUEST), 1u);

    deviceApply.Apply();
    ASSERT_EQ(wireless.Written().size(), 1u);
    EXPECT_EQ(wireless.Written()[0][3], kCommandLighting);
}

// The receiver or the cable is pulled while its mouse is awake, the user edits, and the link
// comes back: the mouse's first report asks for the apply that sends the edit.
TEST_F(StatusHandlingTest, EditsMadeWhileTheLinkWasUnpluggedGoOutWhenItReturns) {
    DeviceReportLinks reportLinks(deviceLinks);
    ApplySequence deviceApply(profiles, reportLinks, status, status, &time);
    profiles.FinishApply(profiles.TakeApplySnapshot(), ApplyDelivery::Complete);
    for (Link link : {Link::Wireless, Link::Wired}) {
        SCOPED_TRACE(link == Link::Wired ? "cable" : "receiver");
        FakeDriver& fake = link == Link::Wired ? wired : wireless;
        const auto report = [&] {
            link == Link::Wired ? WiredReport(MakePowerStatus(1, 50))
                                : WirelessReport(MakePowerStatus(1, 50));
        };
        report();
        ASSERT_TRUE(Awake(link));
        ASSERT_TRUE(fake.Plug(false));
        test::PumpPending();
        Record().brightness = (Record().brightness + 1) % 16;
        deviceApply.Apply();
        EXPECT_TRUE(profiles.HasUnsentUserChanges());

        ASSERT_TRUE(fake.Plug(true));
        test::PumpPending();
        Advance(kReopenDelayMs);
        ASSERT_EQ(deviceLinks.State(link), LinkState::Open);
        posted.clear();
        report();
        EXPECT_EQ(Count(MSG_APPLY_REQUEST), 1u);
        deviceApply.Apply();
        EXPECT_FALSE(profiles.HasUnsentUserChanges());
        Advance(kWatchdogMs);  // the mouse sleeps again before the other link's turn
    }
}

TEST_F(StatusHandlingTest, ApplyKeepsTheWatchdogsFromTakingTheBusyMouseForAsleep) {
    DeviceReportLinks reportLinks(deviceLinks);
    ApplySequence deviceApply(profiles, reportLinks, status, status, &time);
    WirelessReport(MakePowerStatus(1, 50));
    Advance(3000);
    ASSERT_TRUE(profiles.full_write_pending());

    // A full write on the worker: five frames, five seconds of pacing. The last write waits until
    // the UI thread has run the timers that fell due meanwhile, as a free UI thread would.
    std::mutex mutex;
    std::condition_variable changed;
    int writes = 0;
    bool release = false;
    wireless.onWrite = [&] {
        std::unique_lock lock(mutex);
        if (++writes < 5)
            return;
        changed.notify_all();
        changed.wait(lock, [&] { return release; });
    };
    std::thread worker([&] { deviceApply.Apply(); });
    ASSERT_TRUE(test::PumpUntil([&] {
        std::lock_guard lock(mutex);
        return writes == 5;
    }));
    EXPECT_TRUE(view.applyRing);
    time.RunDue();
    EXPECT_TRUE(Awake(Link::Wireless));
    {
        std::lock_guard lock(mutex);
        release = true;
    }
    changed.notify_all();
    worker.join();
    wireless.onWrite = nullptr;

    test::PumpPending();  // the end of the apply restarts the watchdogs
    EXPECT_FALSE(view.applyRing);
    Advance(5999);
    EXPECT_TRUE(Awake(Link::Wireless));
    Advance(1);
    EXPECT_FALSE(Awake(Link::Wireless));
}

TEST_F(StatusHandlingTest, BleValuesTakeOverWhatTheMouseHolds) {
    profiles.FinishApply(profiles.TakeApplySnapshot(), ApplyDelivery::Complete);
    status.OnBleStatus(0x703C, 0x0050);
    EXPECT_EQ(Record().light_effect, 5);
    EXPECT_EQ(view.lightEffect, 5);
    EXPECT_EQ(profiles.AppliedCopy().light_effect, 5);

    status.OnBleStatus(0x203C, 3);
    EXPECT_EQ(Record().prate, 3);
    EXPECT_EQ(profiles.AppliedCopy().prate, 3);

    status.OnBleStatus(0x403C, 0x4101);  // on battery, level 65
    EXPECT_EQ(status.battery_level(), 65);
    EXPECT_EQ(LabelText(), "65%");
    status.OnBleStatus(0x603C, 11);  // outside 1..10
    EXPECT_EQ(status.battery_level(), 65);
    status.OnBleStatus(0x603C, 7);
    EXPECT_EQ(status.battery_level(), 7);

    status.OnBleStatus(0x103D, 2);  // not a status value
    status.OnBleStatus(0x103C, 2);
    EXPECT_EQ(Record().dpi_step, 1);
    status.OnBleStatus(0x103C, 4);
    EXPECT_EQ(Record().dpi_step, 3);
    EXPECT_EQ(profiles.AppliedCopy().dpi_step, 3);
    test::PumpPending();
    EXPECT_EQ(Count(MSG_DPI_STAGE_REPORTED), 2u);
}

}  // namespace
}  // namespace quillon
