// The settings page with the mouse over Bluetooth LE, end to end: a fake BlueZ on a private bus
// shows the paired mouse, the page's channel subscribes to it, and its notifications and its
// coming and going show on the page.

#include <QFile>

#include <cstring>
#include <memory>

#include "app/page/page_fixture.h"
#include "platform/message_window.h"
#include "support/fake_bluez.h"

namespace quillon::test {
namespace {

class BlePageTest : public PageFixture {
protected:
    void SetUp() override {
        ASSERT_FALSE(bus.Address().isEmpty()) << "dbus-daemon did not start";
        bluez = std::make_unique<FakeBluez>(bus.Address());
        mouse = bluez->AddMouse();
        bleBus = BleBus::At(bus.Address());
        // Neither the cable nor the receiver is there.
        wired.SetOpenResult(0);
        wireless.SetOpenResult(0);
    }

    void TearDown() override {
        // The page leaves the bus before the bus goes.
        if (host)
            host->DestroyWindow();
        host.reset();
    }

    MessageWindow& Window() { return *MessageWindow::FromHandle(host->GetHWND()); }

    // The page starts; once BlueZ has answered, timer 517 connects to the mouse.
    void OpenAndConnect() {
        Open();
        ASSERT_FALSE(host->page.DevicePresent());
        ASSERT_TRUE(PumpUntil([&] { return Window().HasTimer(TIMER_BLE_CONNECT); }));
        time.Advance(kBleConnectDelayMs);
        ASSERT_TRUE(PumpUntil([&] { return host->page.DevicePresent(); }));
        PumpPending();
    }

    void Send(std::initializer_list<int> bytes) {
        QByteArray value;
        for (int byte : bytes)
            value.append(static_cast<char>(byte));
        bluez->Notify(mouse.characteristic, value);
    }

    void SetConnected(bool connected) {
        bluez->SetProperty(mouse.device, kBluezDevice, QStringLiteral("Connected"), connected);
        ASSERT_TRUE(PumpUntil([&] { return host->page.DevicePresent() == connected; }));
        PumpPending();
    }

    PrivateBus bus;
    std::unique_ptr<FakeBluez> bluez;
    FakeBluez::Mouse mouse;
};

TEST_F(BlePageTest, ThePageSwitchesToTheBluetoothLinkAndBack) {
    OpenAndConnect();
    EXPECT_EQ(host->deviceChanged, 2) << "start-up without a device, then the mouse over Bluetooth";
    EXPECT_TRUE(Ui().IsShown("ms_1_BLE"));
    EXPECT_FALSE(Ui().IsShown("ms_1_sleep_label"));
    // Over Bluetooth the page offers neither the polling rate nor the key debounce.
    EXPECT_FALSE(Ui().IsShown("ms_1_check_prate"));
    EXPECT_FALSE(Ui().IsShown("ms_1_ver_prate"));
    EXPECT_FALSE(Ui().IsShown("ms_1_check_key_debounce"));
    EXPECT_FALSE(Ui().IsShown("ms_1_hor_key_debounce"));

    SetConnected(false);
    EXPECT_EQ(host->deviceChanged, 3);
    EXPECT_FALSE(Ui().IsShown("ms_1_BLE"));
    EXPECT_TRUE(Ui().IsShown("ms_1_sleep_label"));

    SetConnected(true);
    EXPECT_EQ(host->deviceChanged, 4);
    EXPECT_TRUE(Ui().IsShown("ms_1_BLE"));
    EXPECT_FALSE(Ui().IsShown("ms_1_sleep_label"));
    // The values of the mouse that came back reach the page.
    Send({0x3C, 0x40, 0x01, 42});
    EXPECT_TRUE(PumpUntil([&] { return Ui().Text("ms_1_label_power") == QLatin1String("42%"); }));
}

TEST_F(BlePageTest, NotificationsOfEveryTypeReachThePage) {
    OpenAndConnect();
    const auto label = [&] { return Ui().Text("ms_1_label_power"); };

    Send({0x3C, 0x40, 0x01, 65});  // on battery, 65 %
    ASSERT_TRUE(PumpUntil([&] { return label() == QLatin1String("65%"); }));
    EXPECT_EQ(Ui().Value("ms_1_progress_power"), 65);

    Send({0x3C, 0x40, 0x03, 0x00});  // charging
    // Charging, beside the level last seen.
    ASSERT_TRUE(PumpUntil([&] {
        return label() == QStringLiteral("65% ") + CResourceManager::GetInstance()->GetText("charging_text");
    }));
    EXPECT_TRUE(Window().HasTimer(TIMER_CHARGE_ANIMATION));

    Send({0x3C, 0x40, 0x02, 0x00});  // charge complete
    ASSERT_TRUE(PumpUntil([&] { return label() == QLatin1String("100%"); }));
    EXPECT_FALSE(Window().HasTimer(TIMER_CHARGE_ANIMATION));

    Send({0x3C, 0x10, 0x03, 0x00});  // the mouse switched to DPI stage 3
    ASSERT_TRUE(PumpUntil([&] { return Record().dpi_step == 2; }));
    EXPECT_TRUE(Ui().IsChecked("ms_1_option_dpi_step_3"));

    Send({0x3C, 0x20, 0x04, 0x00});  // polling-rate index 4
    ASSERT_TRUE(PumpUntil([&] { return Record().prate == 4; }));
    EXPECT_EQ(Profiles().AppliedCopy().prate, 4) << "the mouse holds it already";

    // Only over Bluetooth: the lighting effect, and a mode value, which is no setting of the
    // record and changes none.
    Send({0x3C, 0x70, 0x30, 0x00});
    ASSERT_TRUE(PumpUntil([&] { return Record().light_effect == 3; }));
    EXPECT_EQ(Ui().CurSel("ms_1_combo_light"), 3);
    const auto before = std::make_unique<ProfileRecord>(Record());
    Send({0x3C, 0x80, 0x02, 0x00});
    Send({0x3C, 0x70, 0x30, 0x00});  // a value after it, to know the mode value was handled
    ASSERT_TRUE(PumpUntil([&] { return Record().light_effect == 3; }));
    EXPECT_EQ(std::memcmp(before.get(), &Record(), sizeof(ProfileRecord)), 0);

    // Malformed values change nothing: without the status mark, too short, out of range.
    Send({0x3D, 0x10, 0x05, 0x00});
    Send({0x3C, 0x10});
    Send({0x3C, 0x10, 0x05, 0x01});
    Send({0x3C, 0x70, 0x10, 0x00});
    ASSERT_TRUE(PumpUntil([&] { return Record().light_effect == 1; }));
    EXPECT_EQ(Record().dpi_step, 2);
}

}  // namespace
}  // namespace quillon::test
