// The device links against fake driver libraries: start-up, plug handling, the worker and shut-down.

#include "device/device_links.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <thread>

#include "support/fake_driver.h"
#include "support/qt_app.h"
#include "support/virtual_time.h"

using namespace quillon;
using quillon::test::CallJournal;
using quillon::test::FakeDriver;
using quillon::test::FakeDriverLoader;
using quillon::test::PumpPending;
using quillon::test::VirtualTime;

namespace {

// The page's controls as the links leave them.
class RecordingView : public LinkView {
public:
    void SetLinkIndicatorVisible(Link link, bool visible) override {
        indicator[static_cast<int>(link)] = visible;
    }
    void SetSleepNoticeVisible(bool visible) override { sleepNotice = visible; }
    void ShowCharging(ChargeAnimation animation) override {
        ++chargingShown;
        if (animation == ChargeAnimation::Restart)
            ++chargingRestarted;
        powerLabel = "charging_text";
    }
    void ClearPowerLabel() override { powerLabel = ""; }
    void RefreshLinkSections() override { ++refreshes; }

    bool indicator[2] = {false, false};
    bool sleepNotice = false;
    int chargingShown = 0;
    int chargingRestarted = 0;
    std::string powerLabel = "unset";
    int refreshes = 0;
};

std::array<std::uint8_t, 64> MarkedReport(std::uint8_t marker) {
    std::array<std::uint8_t, 64> report{};
    report[0] = 0x04;
    report[3] = marker;
    return report;
}

class DeviceLinksTest : public ::testing::Test {
protected:
    DeviceLinksTest() {
        quillon::test::TestApplication();
        window.SetHandler([this](UINT message, WPARAM wParam, LPARAM lParam) -> LRESULT {
            if (message == MSG_DEVICE_CHANGED)
                ++deviceChanged;
            else if (links)
                links->HandleDeviceMessage(message, wParam, lParam);
            return 0;
        });
    }
    ~DeviceLinksTest() override { links.reset(); }

    void Start(FakeDriver* wiredLibrary, FakeDriver* wirelessLibrary) {
        links = std::make_unique<DeviceLinks>(
            window, view, [this](WPARAM wParam, LPARAM lParam) { apply(wParam, lParam); },
            FakeDriverLoader(wiredLibrary, wirelessLibrary));
        links->Start();
        PumpPending();
    }
    void Start() { Start(&wired, &wireless); }

    // Posts as the monitor does and lets the main window route it.
    void Deliver(FakeDriver& fake, bool arrived) {
        ASSERT_TRUE(fake.Plug(arrived));
        PumpPending();
    }

    VirtualTime time;
    CallJournal journal;
    FakeDriver wired{journal, "wired"};
    FakeDriver wireless{journal, "wireless"};
    RecordingView view;
    MessageWindow window;
    int deviceChanged = 0;
    std::function<void(WPARAM, LPARAM)> apply = [](WPARAM, LPARAM) {};
    std::unique_ptr<DeviceLinks> links;
};

}  // namespace

TEST_F(DeviceLinksTest, StartUpAndShutDownCallEachLibraryInTurn) {
    Start();
    EXPECT_EQ(wired.vendorId(), 0x1D57);
    EXPECT_EQ(wired.productId(), 0xFA7F);
    EXPECT_EQ(wireless.vendorId(), 0x1D57);
    EXPECT_EQ(wireless.productId(), 0xFA65);
    EXPECT_EQ(wired.window(), window.handle());
    EXPECT_EQ(wired.dataMessage(), 0x603u);
    EXPECT_EQ(wired.plugMessage(), 0x604u);
    EXPECT_EQ(wireless.window(), window.handle());
    EXPECT_EQ(wireless.dataMessage(), 0x601u);
    EXPECT_EQ(wireless.plugMessage(), 0x602u);

    links->Shutdown();
    const std::vector<std::string> expected = {"wired.Set_VIDPID",
                                               "wired.Open_DevMonitor",
                                               "wired.Open_FeatureDevice",
                                               "wired.Open_ReportDevice",
                                               "wireless.Set_VIDPID",
                                               "wireless.Open_DevMonitor",
                                               "wireless.Open_FeatureDevice",
                                               "wireless.Open_ReportDevice",
                                               "wired.Close_FeatureDevice",
                                               "wired.Close_DevMonitor",
                                               "wired.Close_ReportDevice",
                                               "wireless.Close_FeatureDevice",
                                               "wireless.Close_DevMonitor",
                                               "wireless.Close_ReportDevice"};
    EXPECT_EQ(journal.Entries(), expected);
}

TEST_F(DeviceLinksTest, StartUpStateFollowsWhichLinksOpen) {
    struct Case {
        bool wiredLoaded, wiredOpens, wirelessLoaded, wirelessOpens;
        LinkState wiredState, wirelessState;
        int present;
        bool sleepNotice, charging;
    };
    const Case cases[] = {
        {true, true, true, true, LinkState::Open, LinkState::Open, 1, false, true},
        {true, true, true, false, LinkState::Open, LinkState::NotOpen, 1, false, true},
        {true, false, true, true, LinkState::NotOpen, LinkState::Open, 1, true, false},
        {true, false, true, false, LinkState::NotOpen, LinkState::NotOpen, 0, true, false},
        {false, false, false, false, LinkState::NotOpen, LinkState::NotOpen, 0, true, false},
        {false, false, true, true, LinkState::NotOpen, LinkState::Open, 1, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "wired " << c.wiredLoaded << c.wiredOpens << " wireless "
                                          << c.wirelessLoaded << c.wirelessOpens);
        links.reset();
        window.KillTimer(TIMER_WIRED_WATCHDOG);
        window.KillTimer(TIMER_WIRELESS_WATCHDOG);
        view = RecordingView{};
        deviceChanged = 0;
        wired.SetOpenResult(c.wiredOpens ? 1 : 0);
        wireless.SetOpenResult(c.wirelessOpens ? 1 : 0);
        Start(c.wiredLoaded ? &wired : nullptr, c.wirelessLoaded ? &wireless : nullptr);

        EXPECT_EQ(links->wired_state(), c.wiredState);
        EXPECT_EQ(links->wireless_state(), c.wirelessState);
        EXPECT_EQ(links->ble_state(), LinkState::NotOpen);
        EXPECT_EQ(links->device_present(), c.present);
        EXPECT_EQ(deviceChanged, 1);
        EXPECT_EQ(view.sleepNotice, c.sleepNotice);
        EXPECT_EQ(view.indicator[0], c.wiredState == LinkState::Open);
        EXPECT_EQ(view.indicator[1], c.wirelessState == LinkState::Open);
        EXPECT_EQ(view.chargingShown > 0, c.charging);
        EXPECT_EQ(window.HasTimer(TIMER_WIRED_WATCHDOG), c.wiredState == LinkState::Open);
        EXPECT_EQ(window.HasTimer(TIMER_WIRELESS_WATCHDOG), c.wirelessState == LinkState::Open);
    }
}

TEST_F(DeviceLinksTest, ApplyRunsOnlyWhileALinkIsOpen) {
    std::vector<std::pair<WPARAM, LPARAM>> applied;
    std::mutex appliedMutex;
    apply = [&](WPARAM wParam, LPARAM lParam) {
        std::lock_guard lock(appliedMutex);
        applied.emplace_back(wParam, lParam);
    };
    Start();
    ASSERT_TRUE(PostMessage(window.handle(), MSG_APPLY_REQUEST, 7, 9));
    PumpPending();
    // The worker decides when it takes the request; wait for it before removing the links.
    while (true) {
        std::lock_guard lock(appliedMutex);
        if (!applied.empty())
            break;
    }
    // Both links removed: a request finds only removed links and is dropped.
    Deliver(wired, false);
    Deliver(wireless, false);
    ASSERT_TRUE(PostMessage(window.handle(), MSG_APPLY_REQUEST, 8, 10));
    PumpPending();
    links->Shutdown();  // the worker handles everything queued before WM_QUIT
    EXPECT_EQ(applied, (std::vector<std::pair<WPARAM, LPARAM>>{{7, 9}}));
}

TEST_F(DeviceLinksTest, NeitherLibraryLoadedDropsApplyRequests) {
    int applies = 0;
    apply = [&](WPARAM, LPARAM) { ++applies; };
    Start(nullptr, nullptr);
    EXPECT_TRUE(view.sleepNotice);
    EXPECT_EQ(links->device_present(), 0);
    links->HandleDeviceMessage(MSG_APPLY_REQUEST, 0, 0);
    links->Shutdown();
    EXPECT_EQ(applies, 0);
    EXPECT_TRUE(journal.Entries().empty());
}

TEST_F(DeviceLinksTest, PullingTheCableWithTheReceiverOpenKeepsTheDevicePresent) {
    Start();
    Deliver(wired, false);
    EXPECT_EQ(links->wired_state(), LinkState::Removed);
    EXPECT_EQ(links->device_present(), 1);
    EXPECT_EQ(deviceChanged, 1) << "only the start-up message";
    EXPECT_TRUE(view.sleepNotice);
    EXPECT_FALSE(view.indicator[0]);
    EXPECT_EQ(view.powerLabel, "");
    EXPECT_FALSE(window.HasTimer(TIMER_CHARGE_ANIMATION));
    EXPECT_FALSE(wired.ReportDeviceOpen());
    EXPECT_EQ(journal.Matching("wired.Close"),
              (std::vector<std::string>{"wired.Close_FeatureDevice", "wired.Close_ReportDevice"}));

    // The removal is reported once; a repeated one changes nothing.
    Deliver(wired, false);
    EXPECT_EQ(journal.Matching("wired.Close").size(), 2u);
}

TEST_F(DeviceLinksTest, DevicePresentFollowsTheLinksThatRemainOpen) {
    Start();
    // The receiver leaves while the cable is open and its mouse has not reported yet: the mouse on
    // the cable is still there.
    Deliver(wireless, false);
    EXPECT_EQ(links->device_present(), 1);
    EXPECT_EQ(deviceChanged, 1);
    EXPECT_FALSE(window.HasTimer(TIMER_WIRELESS_WATCHDOG));
    EXPECT_FALSE(view.indicator[1]);

    Deliver(wired, false);
    EXPECT_EQ(links->device_present(), 0);
    EXPECT_EQ(deviceChanged, 2);

    Deliver(wireless, true);
    time.Advance(kReopenDelayMs);
    PumpPending();
    EXPECT_EQ(links->device_present(), 1);
    EXPECT_EQ(deviceChanged, 3);
}

TEST_F(DeviceLinksTest, ArrivalReopensOnceAfterOneSecond) {
    Start();
    Deliver(wireless, false);
    const int refreshes = view.refreshes;
    Deliver(wireless, true);
    Deliver(wireless, true);
    time.Advance(kReopenDelayMs - 1);
    EXPECT_EQ(links->wireless_state(), LinkState::Removed) << "not before the second has passed";
    EXPECT_TRUE(links->ReopenPending(Link::Wireless));
    time.Advance(1);
    EXPECT_EQ(links->wireless_state(), LinkState::Open);
    EXPECT_TRUE(view.indicator[1]);
    EXPECT_EQ(view.refreshes, refreshes + 1);
    EXPECT_TRUE(window.HasTimer(TIMER_WIRELESS_WATCHDOG));
    EXPECT_EQ(journal.Matching("wireless.Open_ReportDevice").size(), 2u) << "start-up and one reopen";
    time.Advance(5 * kReopenDelayMs);
    EXPECT_EQ(journal.Matching("wireless.Open_ReportDevice").size(), 2u);

    // An arrival on an open link is nothing new.
    Deliver(wireless, true);
    time.Advance(kReopenDelayMs);
    EXPECT_EQ(journal.Matching("wireless.Open_ReportDevice").size(), 2u);
}

TEST_F(DeviceLinksTest, RemovalDuringTheWaitCancelsTheReopen) {
    Start();
    Deliver(wired, false);
    Deliver(wired, true);
    time.Advance(kReopenDelayMs / 2);
    Deliver(wired, false);
    time.Advance(kReopenDelayMs);
    EXPECT_EQ(links->wired_state(), LinkState::Removed);
    EXPECT_FALSE(wired.ReportDeviceOpen());
    EXPECT_EQ(journal.Matching("wired.Open_ReportDevice").size(), 1u);
}

TEST_F(DeviceLinksTest, PluggingTheCableShowsChargingBeforeAnyReport) {
    wired.SetOpenResult(0);
    Start();
    EXPECT_EQ(view.chargingShown, 0);
    wired.SetOpenResult(1);
    Deliver(wired, true);
    EXPECT_EQ(view.chargingShown, 0) << "the UI thread is not held for the wait";
    time.Advance(kReopenDelayMs);
    EXPECT_EQ(links->wired_state(), LinkState::Open);
    EXPECT_TRUE(wired.ReportDeviceOpen());
    EXPECT_EQ(view.chargingRestarted, 1);
    EXPECT_EQ(view.powerLabel, "charging_text");
    // The indicator waits for the mouse's first report.
    EXPECT_FALSE(view.indicator[0]);
}

TEST_F(DeviceLinksTest, KeepsWhyTheLastOpenFailed) {
    wired.SetOpenResult(0, QUILLON_OPEN_PERMISSION_DENIED);
    wireless.SetOpenResult(0, QUILLON_OPEN_NOT_FOUND);
    wireless.offerOpenError = false;
    Start();
    EXPECT_EQ(links->OpenError(Link::Wired), QUILLON_OPEN_PERMISSION_DENIED);
    EXPECT_EQ(links->OpenError(Link::Wireless), QUILLON_OPEN_OK) << "a library that cannot say";

    wired.SetOpenResult(1);
    Deliver(wired, true);
    time.Advance(kReopenDelayMs);
    EXPECT_EQ(links->OpenError(Link::Wired), QUILLON_OPEN_OK);
}

TEST_F(DeviceLinksTest, ArrivalThatCannotBeOpenedLeavesTheLinkClosedAndSaysWhy) {
    wired.SetOpenResult(0, QUILLON_OPEN_NOT_FOUND);
    wireless.SetOpenResult(0, QUILLON_OPEN_NOT_FOUND);
    Start();
    ASSERT_EQ(deviceChanged, 1);

    // The receiver is plugged in, but the user may not open it: after the last try the reason
    // is reported, once.
    wireless.SetOpenResult(0, QUILLON_OPEN_PERMISSION_DENIED);
    Deliver(wireless, true);
    time.Advance(kReopenWaitsMs[0] + kReopenWaitsMs[1]);
    PumpPending();
    EXPECT_EQ(deviceChanged, 1) << "nothing said while tries remain";
    time.Advance(kReopenWaitsMs[2]);
    PumpPending();
    EXPECT_EQ(journal.Matching("wireless.Open_ReportDevice").size(), 1u + kReopenWaitsMs.size());
    EXPECT_FALSE(links->ReopenPending(Link::Wireless));
    EXPECT_EQ(links->wireless_state(), LinkState::NotOpen);
    EXPECT_EQ(links->device_present(), 0);
    EXPECT_EQ(links->OpenError(Link::Wireless), QUILLON_OPEN_PERMISSION_DENIED);
    EXPECT_EQ(deviceChanged, 2) << "the main window re-reads the state and shows why";
    EXPECT_FALSE(view.indicator[1]);
    EXPECT_FALSE(window.HasTimer(TIMER_WIRELESS_WATCHDOG));

    // Access granted (the udev rule installed) and the receiver plugged in again.
    wireless.SetOpenResult(1);
    Deliver(wireless, false);
    Deliver(wireless, true);
    time.Advance(kReopenDelayMs);
    PumpPending();
    EXPECT_EQ(links->wireless_state(), LinkState::Open);
    EXPECT_EQ(links->device_present(), 1);
    EXPECT_EQ(links->OpenError(Link::Wireless), QUILLON_OPEN_OK);
}

// udev applies the permission rule to a new device node a moment after the node appears: an open
// in that moment is refused, and a later try succeeds without the user replugging.
TEST_F(DeviceLinksTest, ReopenRefusedWhileUdevSetsThePermissionIsTriedAgain) {
    wireless.SetOpenResult(0, QUILLON_OPEN_NOT_FOUND);
    Start(nullptr, &wireless);
    ASSERT_EQ(deviceChanged, 1);
    wireless.SetOpenResult(0, QUILLON_OPEN_PERMISSION_DENIED);
    Deliver(wireless, true);
    time.Advance(kReopenWaitsMs[0]);
    PumpPending();
    EXPECT_EQ(links->wireless_state(), LinkState::NotOpen);
    EXPECT_EQ(deviceChanged, 1) << "no permission notice while the rule may still be applied";
    EXPECT_TRUE(links->ReopenPending(Link::Wireless));

    wireless.SetOpenResult(1);  // the rule is applied now
    time.Advance(kReopenWaitsMs[1] - 1);
    EXPECT_EQ(links->wireless_state(), LinkState::NotOpen) << "the second try waits 2 s";
    time.Advance(1);
    PumpPending();
    EXPECT_EQ(links->wireless_state(), LinkState::Open);
    EXPECT_EQ(links->OpenError(Link::Wireless), QUILLON_OPEN_OK);
    EXPECT_EQ(links->device_present(), 1);
    EXPECT_EQ(deviceChanged, 2);
    EXPECT_TRUE(view.indicator[1]);
    time.Advance(10 * kReopenDelayMs);
    EXPECT_EQ(journal.Matching("wireless.Open_ReportDevice").size(), 3u) << "start-up and two tries";
}

TEST_F(DeviceLinksTest, WritesReachOnlyAnOpenLink) {
    Start();
    EXPECT_EQ(links->WriteReport(Link::Wired, MarkedReport(1)), 64);
    Deliver(wired, false);
    EXPECT_EQ(links->WriteReport(Link::Wired, MarkedReport(2)), -1);
    EXPECT_EQ(links->WriteReport(Link::Wireless, MarkedReport(3)), 64);
    EXPECT_EQ(wired.Written(), (std::vector<std::array<std::uint8_t, 64>>{MarkedReport(1)}));
    EXPECT_EQ(wireless.Written(), (std::vector<std::array<std::uint8_t, 64>>{MarkedReport(3)}));
    EXPECT_EQ(wired.WritesWhileClosed(), 0);
}

// Threaded: the worker is inside an apply when the program closes.
TEST_F(DeviceLinksTest, ShutDownWaitsForARunningApply) {
    std::atomic<bool> started{false};
    apply = [&](WPARAM, LPARAM) {
        started = true;
        journal.Add("apply.begin");
        // Stay inside the apply until the shut-down has asked the worker to quit.
        while (links->PendingWorkerMessages() == 0)
            std::this_thread::yield();
        links->WriteReport(Link::Wireless, MarkedReport(4));
        journal.Add("apply.end");
    };
    Start();
    links->HandleDeviceMessage(MSG_APPLY_REQUEST, 0, 0);
    while (!started)
        std::this_thread::yield();
    links->Shutdown();

    const std::vector<std::string> entries = journal.Entries();
    const auto end = std::find(entries.begin(), entries.end(), "apply.end");
    const auto firstClose = std::find(entries.begin(), entries.end(), "wired.Close_FeatureDevice");
    ASSERT_NE(end, entries.end());
    EXPECT_LT(end, firstClose);
    EXPECT_EQ(wireless.Written().size(), 1u);
    EXPECT_FALSE(wired.MonitorOpen());
    EXPECT_FALSE(wireless.MonitorOpen());
}

// Threaded: the cable is pulled while the worker keeps writing to it.
TEST_F(DeviceLinksTest, PullingTheCableDuringWritesNeverWritesToTheClosedLink) {
    std::atomic<bool> writing{false};
    std::atomic<int> refusedAfter{-1};
    apply = [&](WPARAM, LPARAM) {
        for (int i = 0; i < 1'000'000; ++i) {
            if (links->WriteReport(Link::Wired, MarkedReport(static_cast<std::uint8_t>(i))) < 0) {
                refusedAfter = i;
                return;
            }
            writing = true;
        }
    };
    Start();
    links->HandleDeviceMessage(MSG_APPLY_REQUEST, 0, 0);
    while (!writing)
        std::this_thread::yield();
    links->OnWiredPlug(0);
    links->Shutdown();
    EXPECT_GT(refusedAfter, 0);
    EXPECT_EQ(wired.WritesWhileClosed(), 0);
    EXPECT_EQ(static_cast<int>(wired.Written().size()), refusedAfter.load());
}

// Threaded and deterministic: a write is inside the driver when the cable is pulled. The fake holds
// the write until the close reaches the library (a fault) or the close waits for the write.
TEST_F(DeviceLinksTest, CloseOfALinkWaitsForTheWriteInsideItsLibrary) {
    wired.HoldNextWriteUntilClose();
    apply = [&](WPARAM, LPARAM) { links->WriteReport(Link::Wired, MarkedReport(1)); };
    links = std::make_unique<DeviceLinks>(
        window, view, [this](WPARAM wParam, LPARAM lParam) { apply(wParam, lParam); },
        FakeDriverLoader(&wired, &wireless));
    links->SetLinkLockWaitObserver(Link::Wired, [&] { wired.ReleaseHeldWrite(); });
    links->Start();
    PumpPending();
    links->HandleDeviceMessage(MSG_APPLY_REQUEST, 0, 0);
    wired.WaitForHeldWrite();
    links->OnWiredPlug(0);
    EXPECT_EQ(journal.Matching("wired.Close").size(), 2u) << "the close went on after the write";
    links->Shutdown();

    EXPECT_EQ(wired.ClosesDuringWrite(), 0);
    EXPECT_EQ(wired.WritesWhileClosed(), 0);
    EXPECT_EQ(wired.Written(), (std::vector<std::array<std::uint8_t, 64>>{MarkedReport(1)}));
}

TEST(DriverLibrary, MissingLibraryLeavesTheTableEmpty) {
    DriverLibrary library = LoadDriverLibrary("/nonexistent/hiddriver_4k_1.so");
    EXPECT_FALSE(library.api.IsComplete());
    EXPECT_EQ(library.api.WriteUSB, nullptr);
    EXPECT_FALSE(library.problem.empty());
}

TEST(DriverLibrary, LibraryLackingAnExportLeavesTheTableEmpty) {
    DriverLibrary library = LoadDriverLibrary(QUILLON_INCOMPLETE_DRIVER);
    EXPECT_FALSE(library.api.IsComplete());
    EXPECT_EQ(library.api.Set_VIDPID, nullptr) << "nothing of a half table is kept";
    EXPECT_FALSE(library.module.IsLoaded());
    // The log line says which export is missing, so that a broken plugin can be told from an
    // absent mouse.
    EXPECT_EQ(library.problem, "it lacks the export(s) WriteUSB");
}

// Both builds of the driver library, as the build puts them in the program and demo folders.
TEST(DriverLibrary, BuiltPluginsOfferEveryExport) {
    for (const char* folder : {QUILLON_PROGRAM_FOLDER, QUILLON_DEMO_FOLDER}) {
        for (const char* file : {kWiredDriverFile, kWirelessDriverFile}) {
            SCOPED_TRACE(std::string(folder) + "/" + file);
            DriverLibrary library = LoadDriverLibrary(std::filesystem::path(folder) / file);
            ASSERT_TRUE(library.api.IsComplete()) << library.problem;
            ASSERT_NE(library.api.Get_OpenError, nullptr);
            // A failed open always says why.
            if (library.api.Open_ReportDevice() == 0) {
                EXPECT_NE(library.api.Get_OpenError(), QUILLON_OPEN_OK);
            }
            library.api.Close_ReportDevice();
        }
    }
}
