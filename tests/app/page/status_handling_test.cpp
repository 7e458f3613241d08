#include "app/page/status_handling.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QProgressBar>
#include <QRadioButton>
#include <QWidget>

#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>

#include "device/link_fixture.h"
#include "support/fake_driver.h"

namespace quillon {
namespace {

using test::CallJournal;
using test::FakeDriver;

// The controls of the page that status handling drives, on one hidden parent widget.
class PageWidgets {
public:
    PageWidgets() {
        m_parent = std::make_unique<QWidget>();
        auto* bar = new QProgressBar(m_parent.get());
        bar->setRange(0, 100);
        controls.powerProgress = Keep<CProgressUI>(bar);
        controls.powerLabel = Keep<CLabelUI>(new QLabel(m_parent.get()));
        controls.sleepNotice = Keep<CLabelUI>(new QLabel(m_parent.get()));
        controls.wired = Keep<CLabelUI>(new QLabel(m_parent.get()));
        controls.wireless = Keep<CLabelUI>(new QLabel(m_parent.get()));
        for (auto& option : controls.dpiStages)
            option = Keep<COptionUI>(new QRadioButton(m_parent.get()));
        auto* rates = new QWidget(m_parent.get());
        for (auto& option : controls.pollingRates)
            option = Keep<COptionUI>(new QRadioButton(rates));
        auto* combo = new QComboBox(m_parent.get());
        controls.lightEffect = Keep<CComboUI>(combo);
        for (int i = 0; i < 12; ++i)
            controls.lightEffect->AddItem(QStringLiteral("light_%1_text").arg(i));
        controls.checkPrate = Keep<CCheckBoxUI>(new QCheckBox(m_parent.get()));
        controls.checkPower = Keep<CCheckBoxUI>(new QCheckBox(m_parent.get()));
        controls.checkKeyDebounce = Keep<CCheckBoxUI>(new QCheckBox(m_parent.get()));
        controls.applyRing = Keep<CLabelUI>(new QLabel(m_parent.get()));
        auto* applyBar = new QProgressBar(m_parent.get());
        applyBar->setRange(0, 100);
        controls.applyProgress = Keep<CProgressUI>(applyBar);
    }

    StatusControls controls;

private:
    template <class T> T* Keep(QWidget* widget) {
        m_kept.push_back(std::make_unique<T>(widget));
        return static_cast<T*>(m_kept.back().get());
    }
    std::unique_ptr<QWidget> m_parent;
    std::vector<std::unique_ptr<CControlUI>> m_kept;
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
    QString LabelText() const { return widgets.controls.powerLabel->GetRawText(); }
    TextMode LabelMode() const { return widgets.controls.powerLabel->GetTextMode(); }
    int Progress() const { return widgets.controls.powerProgress->GetValue(); }
    bool Visible(CControlUI* control) const { return control->IsVisible(); }

    PageWidgets widgets;
    MessageWindow window;
    StatusHandling status{window, profiles, widgets.controls};
    CallJournal journal;
    FakeDriver wired{journal, "wired"};
    FakeDriver wireless{journal, "wireless"};
    DeviceLinks deviceLinks{window, status, [](WPARAM, LPARAM) {}, test::FakeDriverLoader(&wired, &wireless)};
    std::vector<Posted> posted;
};

TEST_F(StatusHandlingTest, StartWithBothLinksShowsChargingUntilTheMouseReports) {
    EXPECT_EQ(LabelMode(), TextMode::LanguageKey);
    EXPECT_EQ(LabelText(), "charging_text");
    EXPECT_FALSE(Visible(widgets.controls.sleepNotice));
    EXPECT_EQ(deviceLinks.wired_awake, 0);
    EXPECT_EQ(deviceLinks.wireless_awake, 0);
}

struct PowerCase {
    const char* what;
    bool wiredLink;
    std::uint8_t value;
    std::uint8_t level;
    const char* label;  // raw label text afterwards
    TextMode mode;
    int progress;  // progress bar afterwards (-1: as the animation left it)
    bool animationRuns;
    int batteryLevel;
};

TEST_F(StatusHandlingTest, PowerReportsSetTheDisplayAndWakeTheirLink) {
    const PowerCase cases[] = {
        {"2.4 GHz on battery", false, 1, 57, "57%", TextMode::Plain, 57, false, 57},
        // The level received last stays stored.
        {"2.4 GHz level 0 sets no level", false, 1, 0, "charging_text", TextMode::LanguageKey, -1, false, 57},
        {"2.4 GHz level above 100", false, 4, 101, "charging_text", TextMode::LanguageKey, -1, false, 57},
        {"2.4 GHz charge complete", false, 2, 0, "100%", TextMode::Plain, 100, false, 57},
        {"2.4 GHz charging", false, 3, 0, "charging_text", TextMode::LanguageKey, -1, true, 57},
        {"cable on battery shows no level", true, 1, 80, "charging_text", TextMode::LanguageKey, -1, true,
         57},
        {"cable charge complete", true, 2, 0, "100%", TextMode::Plain, 100, false, 57},
    };
    for (const PowerCase& c : cases) {
        SCOPED_TRACE(c.what);
        deviceLinks.wired_awake = 0;
        deviceLinks.wireless_awake = 0;
        widgets.controls.sleepNotice->SetVisible(true);
        status.ShowCharging(LinkView::ChargeAnimation::Restart);
        Advance(300);  // the animation has moved the bar on
        const int animated = Progress();

        const MouseStatusReport report = MakePowerStatus(c.value, c.level);
        c.wiredLink ? WiredReport(report) : WirelessReport(report);

        EXPECT_EQ(LabelText(), c.label);
        EXPECT_EQ(LabelMode(), c.mode);
        EXPECT_EQ(Progress(), c.progress < 0 ? animated : c.progress);
        EXPECT_EQ(status.battery_level(), c.batteryLevel);
        EXPECT_EQ((c.wiredLink ? deviceLinks.wired_awake : deviceLinks.wireless_awake).load(), 1);
        EXPECT_TRUE(Visible(c.wiredLink ? widgets.controls.wired : widgets.controls.wireless));
        EXPECT_FALSE(Visible(widgets.controls.sleepNotice));
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
    EXPECT_EQ(deviceLinks.wireless_awake, 1);
    EXPECT_FALSE(Visible(widgets.controls.sleepNotice));
    Advance(1);
    EXPECT_EQ(deviceLinks.wireless_awake, 0);
    EXPECT_FALSE(Visible(widgets.controls.wireless));
    EXPECT_TRUE(Visible(widgets.controls.sleepNotice));

    // While the cable's mouse still reports, the receiver's going quiet shows no sleep notice.
    WirelessReport(MakePowerStatus(1, 68));
    WiredReport(MakePowerStatus(1, 0));
    Advance(4000);
    WiredReport(MakePowerStatus(1, 0));
    Advance(2000);
    EXPECT_EQ(deviceLinks.wireless_awake, 0);
    EXPECT_EQ(deviceLinks.wired_awake, 1);
    EXPECT_FALSE(Visible(widgets.controls.sleepNotice));
    Advance(4000);
    EXPECT_EQ(deviceLinks.wired_awake, 0);
    EXPECT_TRUE(Visible(widgets.controls.sleepNotice));
}

TEST_F(StatusHandlingTest, StageChosenOnTheMouseIsTakenOverAndNotSentBack) {
    ASSERT_TRUE(profiles.full_write_pending());
    profiles.FinishApply(profiles.TakeApplySnapshot(), ApplyDelivery::Complete);
    WirelessReport(MakePowerStatus(1, 50));
    WirelessReport(MakeStageStatus(3));

    EXPECT_EQ(Record().dpi_step, 2);
    EXPECT_TRUE(widgets.controls.dpiStages[2]->IsSelected());
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

TEST_F(StatusHandlingTest, PollingRateChosenOnTheMouseIsShownAndSentBackByTheNextApply) {
    profiles.FinishApply(profiles.TakeApplySnapshot(), ApplyDelivery::Complete);
    const test::Bytes fileBefore = test::ReadAll(profiles.Store().FilePath());
    WirelessReport(MakePowerStatus(1, 50));
    WirelessReport(MakePollingStatus(0x08));

    EXPECT_EQ(Record().prate, 2);
    EXPECT_TRUE(widgets.controls.pollingRates[2]->IsSelected());
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
    EXPECT_EQ(deviceLinks.wireless_awake, 0);
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
    EXPECT_TRUE(Visible(widgets.controls.applyRing));
    EXPECT_EQ(widgets.controls.applyProgress->GetMaxValue(), 0);  // busy, without a percentage
    time.RunDue();
    EXPECT_EQ(deviceLinks.wireless_awake, 1);
    {
        std::lock_guard lock(mutex);
        release = true;
    }
    changed.notify_all();
    worker.join();
    wireless.onWrite = nullptr;

    test::PumpPending();  // the end of the apply restarts the watchdogs
    EXPECT_FALSE(Visible(widgets.controls.applyRing));
    EXPECT_EQ(widgets.controls.applyProgress->GetMaxValue(), 100);
    Advance(5999);
    EXPECT_EQ(deviceLinks.wireless_awake, 1);
    Advance(1);
    EXPECT_EQ(deviceLinks.wireless_awake, 0);
}

TEST_F(StatusHandlingTest, BleValuesTakeOverWhatTheMouseHolds) {
    profiles.FinishApply(profiles.TakeApplySnapshot(), ApplyDelivery::Complete);
    status.OnBleStatus(0x703C, 0x0050);
    EXPECT_EQ(Record().light_effect, 5);
    EXPECT_EQ(widgets.controls.lightEffect->GetCurSel(), 5);
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
