// What the page's edits put on the wire: the page, the apply on the worker and the device links,
// with a fake wired mouse whose reports are decoded by the mouse's own model.

#include <gtest/gtest.h>

#include <condition_variable>
#include <cstring>
#include <mutex>

#include "app/page/page_fixture.h"
#include "core/protocol/device_model.h"
#include "core/protocol/frames.h"

namespace quillon::test {
namespace {

class PageOnTheWire : public PageFixture {
protected:
    // Opens the page with the wired mouse plugged in and awake, and lets the full write that
    // loading asks for go out, so that each test sees only what its own edit sends.
    void OpenWithAwakeMouse() {
        wired.SetOpenResult(1);
        wireless.SetOpenResult(0, QUILLON_OPEN_NOT_FOUND);
        Open();
        ASSERT_TRUE(host->page.DevicePresent());
        ASSERT_TRUE(wired.SendReport(MakePowerStatus(1, 80)));
        PumpPending();
        Ui().Click("ms_1_apply_btn");
        ASSERT_TRUE(WaitForApply());
        ASSERT_FALSE(Profiles().full_write_pending());
        m_seen = wired.Written().size();
        ASSERT_GT(m_seen, 0u) << "the full write reached the mouse";
    }

    // Runs the event loop until the apply in flight has ended (the record is what the mouse holds).
    bool WaitForApply() {
        return PumpUntil([&] {
            time.RunDue();
            return std::memcmp(&Profiles().AppliedCopy(), &Record(), sizeof(ProfileRecord)) == 0 &&
                   !Profiles().full_write_pending();
        });
    }

    // The reports written since the last call, decoded by the mouse's model.
    std::vector<std::array<std::uint8_t, 64>> NewReports() {
        const auto all = wired.Written();
        std::vector<std::array<std::uint8_t, 64>> fresh(all.begin() + static_cast<std::ptrdiff_t>(m_seen),
                                                        all.end());
        m_seen = all.size();
        for (const auto& report : fresh)
            mouse.Feed(report);
        return fresh;
    }

    DeviceModel mouse;

private:
    std::size_t m_seen = 0;
};

TEST_F(PageOnTheWire, ThreeBrightnessMovesSendOneLightingFrame) {
    OpenWithAwakeMouse();
    OpenSection("ms_1_check_light");
    Ui().SelectComboItem("ms_1_combo_light", 1);
    time.Advance(200);
    ASSERT_TRUE(WaitForApply());
    NewReports();
    const std::size_t lightingFramesBefore = mouse.FramesReceived(kCommandLighting);

    Ui().MoveSlider("ms_1_slider_brightness", 2);
    time.Advance(200);
    Ui().MoveSlider("ms_1_slider_brightness", 4);
    time.Advance(200);
    Ui().MoveSlider("ms_1_slider_brightness", 6);
    time.Advance(499);
    PumpPending();
    EXPECT_TRUE(NewReports().empty());
    time.Advance(1);
    ASSERT_TRUE(WaitForApply());

    const auto reports = NewReports();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(mouse.FramesReceived(kCommandLighting), lightingFramesBefore + 1)
        << "the one report is the lighting frame";
    EXPECT_EQ(mouse.State().brightness, 6);
}

TEST_F(PageOnTheWire, SeventhPollingRateOptionSendsCode64) {
    OpenWithAwakeMouse();
    OpenSection("ms_1_check_prate");
    Ui().Click("ms_1_btn_prate_1");
    ASSERT_TRUE(WaitForApply());
    Ui().Click("ms_1_btn_prate_7");
    ASSERT_TRUE(WaitForApply());

    const auto reports = NewReports();
    ASSERT_EQ(reports.size(), 2u) << "one polling-rate frame for each choice, nothing else";
    EXPECT_EQ(mouse.FramesReceived(kCommandPollingRate), 2u);
    EXPECT_EQ(Record().prate, 6);
    EXPECT_EQ(mouse.State().pollingCode, 64);
}

// "Send to mouse" and "Apply" stand out exactly while the mouse lacks something of the profile, and
// the status row says how each write ended.
TEST_F(PageOnTheWire, SendButtonsShowUnsentChangesAndTheStatusRowTellsHowTheWriteWent) {
    auto unsent = [&] {
        const bool send = Ui().Find("ms_1_apply_btn")->GetStyleState("unsent");
        EXPECT_EQ(Ui().Find("ms_1_btn_apply_dpi")->GetStyleState("unsent"), send) << "both buttons agree";
        return send;
    };
    auto status = [&] { return Ui().Text("ms_1_label_send_status"); };
    auto text = [](const char* key) {
        return CResourceManager::GetInstance()->GetText(QString::fromLatin1(key));
    };

    OpenWithAwakeMouse();
    EXPECT_FALSE(unsent());
    EXPECT_EQ(status(), text("send_done_text"));

    // A DPI slider sends nothing by itself: its change waits for "Apply".
    OpenSection("ms_1_check_dpi");
    Ui().MoveSlider("ms_1_slider_dpi_2", 40);
    EXPECT_TRUE(unsent());
    Ui().Click("ms_1_btn_apply_dpi");
    ASSERT_TRUE(WaitForApply());
    EXPECT_FALSE(unsent());
    EXPECT_EQ(status(), text("send_done_text"));
    time.Advance(3000);
    PumpPending();
    EXPECT_EQ(status(), "") << "the notice goes after a moment";

    Ui().Click("ms_1_apply_btn");
    ASSERT_TRUE(PumpUntil([&] {
        time.RunDue();
        return status() == text("send_nothing_text");
    }));
    EXPECT_FALSE(unsent());

    // The mouse falls asleep (no report for six seconds): an edit says it waits for the mouse.
    time.Advance(6000);
    PumpPending();
    OpenSection("ms_1_check_prate");
    Ui().Click("ms_1_btn_prate_3");
    PumpPending();
    time.Advance(3000);
    PumpPending();
    EXPECT_TRUE(unsent());
    EXPECT_EQ(status(), text("send_waiting_text"));
    EXPECT_NE(Profiles().AppliedCopy().prate, 2) << "the polling rate did not reach the mouse";

    // It wakes: the waiting change goes out by itself, and the row says so.
    ASSERT_TRUE(wired.SendReport(MakePowerStatus(1, 80)));
    PumpPending();
    ASSERT_TRUE(WaitForApply());
    EXPECT_FALSE(unsent());
    EXPECT_EQ(status(), text("send_done_text"));
    EXPECT_EQ(Profiles().AppliedCopy().prate, 2);
}

// Choosing the option of a disabled stage enables that stage: the mouse gets a stage mask that
// holds its current stage.
TEST_F(PageOnTheWire, ChoosingADisabledStageEnablesIt) {
    OpenWithAwakeMouse();
    OpenSection("ms_1_check_dpi");
    ASSERT_FALSE(Ui().IsChecked("ms_1_check_dpi_step_7"));
    Ui().Click("ms_1_option_dpi_step_7");
    ASSERT_TRUE(WaitForApply());
    NewReports();
    EXPECT_TRUE(Ui().IsChecked("ms_1_check_dpi_step_7"));
    EXPECT_EQ(mouse.State().currentStage, 7);
    EXPECT_NE(mouse.State().stageMask & (1u << 6), 0u);
}

// While the worker writes, the main window's thin bar turns into a busy bar; it stands empty again
// once the apply ended.
TEST_F(PageOnTheWire, ApplyShowsABusyBarWhileItWrites) {
    OpenWithAwakeMouse();
    auto* bar = dynamic_cast<CProgressUI*>(Ui().Find("apply_progress"));
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(bar->GetMaxValue(), 100);
    std::mutex mutex;
    std::condition_variable changed;
    bool writing = false;
    bool release = false;
    wired.onWrite = [&] {
        std::unique_lock lock(mutex);
        writing = true;
        changed.notify_all();
        changed.wait(lock, [&] { return release; });
    };
    OpenSection("ms_1_check_prate");
    Ui().Click("ms_1_btn_prate_2");
    ASSERT_TRUE(PumpUntil([&] {
        std::lock_guard lock(mutex);
        return writing;
    }));
    EXPECT_EQ(bar->GetMaxValue(), 0) << "busy, without a percentage";
    {
        std::lock_guard lock(mutex);
        release = true;
    }
    changed.notify_all();
    ASSERT_TRUE(WaitForApply());
    PumpPending();
    wired.onWrite = nullptr;
    EXPECT_EQ(bar->GetMaxValue(), 100);
}

}  // namespace
}  // namespace quillon::test
