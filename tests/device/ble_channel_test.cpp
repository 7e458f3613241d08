// The Bluetooth LE channel against a fake BlueZ on a private bus: finding the mouse, subscribing
// to its status characteristic, handing on its values, following it as it comes and goes, and
// staying idle without BlueZ.

#include "device/ble/ble_channel.h"

#include <gtest/gtest.h>

#include <QByteArray>

#include <memory>
#include <utility>
#include <vector>

#include "platform/message_window.h"
#include "support/fake_bluez.h"
#include "support/qt_app.h"
#include "support/virtual_time.h"

using namespace quillon;
using quillon::test::FakeBluez;
using quillon::test::PrivateBus;
using quillon::test::PumpPending;
using quillon::test::PumpUntil;
using quillon::test::VirtualTime;

namespace {

using Words = std::pair<std::uint16_t, std::uint16_t>;

QByteArray Bytes(std::initializer_list<int> bytes) {
    QByteArray value;
    for (int byte : bytes)
        value.append(static_cast<char>(byte));
    return value;
}

const QString kNotify = QStringLiteral("notify");
const QString kRead = QStringLiteral("read");

class BleChannelTest : public ::testing::Test {
protected:
    BleChannelTest() {
        quillon::test::TestApplication();
        window.SetHandler([this](UINT message, WPARAM wParam, LPARAM) -> LRESULT {
            if (message == WM_TIMER && channel)
                channel->OnTimer(wParam);
            return 0;
        });
    }

    void SetUp() override { ASSERT_FALSE(bus.Address().isEmpty()) << "dbus-daemon did not start"; }

    void StartBluez() { bluez = std::make_unique<FakeBluez>(bus.Address()); }

    // The channel as the page starts it, up to BlueZ's answer whether it is there.
    void StartChannel(const BleBus& where) {
        channel = std::make_unique<BleChannel>(
            window.handle(), where,
            [this](std::uint16_t w0, std::uint16_t w1) { values.emplace_back(w0, w1); },
            [this](bool up) { links.push_back(up); });
        channel->Start(MouseBleFilters());
        ASSERT_TRUE(PumpUntil([&] { return channel->BluezPresence() != BleChannel::Presence::Unknown; }));
    }

    // Timer 517 fires and BlueZ's objects are read; returns once every answer is in.
    void Connect() {
        ASSERT_TRUE(window.HasTimer(TIMER_BLE_CONNECT));
        time.Advance(kBleConnectDelayMs);
        ASSERT_TRUE(channel->Following());
        Settle();
    }

    // Waits until the channel has the answers to every call it made.
    void Settle() {
        ASSERT_TRUE(PumpUntil([&] { return channel->PendingCalls() == 0; }));
    }

    void WaitForLink(bool up) {
        ASSERT_TRUE(PumpUntil([&] { return channel->Connected() == up; })) << "link " << up;
        Settle();
    }

    void WaitForValues(std::size_t count) {
        ASSERT_TRUE(PumpUntil([&] { return values.size() >= count; }));
        PumpPending();
    }

    VirtualTime time;
    PrivateBus bus;
    MessageWindow window;
    std::unique_ptr<FakeBluez> bluez;
    std::unique_ptr<BleChannel> channel;
    std::vector<Words> values;
    std::vector<bool> links;
};

TEST_F(BleChannelTest, ListensOnlyToTheStatusCharacteristicOfThePairedConnectedMouse) {
    StartBluez();
    FakeBluez::Mouse mouse = bluez->AddMouse();
    // In the mouse's first service, characteristics that are not the one: the status UUID without
    // notifications, and another UUID with them. A later service of the mouse is not examined.
    bluez->AddCharacteristic(mouse.service, 0x0014, kMouseStatusCharacteristicUuid, {kRead});
    bluez->AddCharacteristic(mouse.service, 0x0017, QStringLiteral("0000fee5-0000-1000-8000-00805f9b34fb"),
                             {kRead, kNotify});
    const QString laterService =
        bluez->AddService(mouse.device, 0x0020, QStringLiteral("0000fee1-0000-1000-8000-00805f9b34fb"));
    bluez->AddCharacteristic(laterService, 0x0021, kMouseStatusCharacteristicUuid, {kNotify});
    // Other devices: another product of the same vendor, a device without identity, and a mouse
    // that is connected but not paired (so its address is not listed).
    const QString otherProduct = bluez->AddDevice(QStringLiteral("00:11:22:33:44:55"),
                                                  QStringLiteral("usb:v045Ep0040d0001"), true, true);
    const QString otherService =
        bluez->AddService(otherProduct, 0x0010, QStringLiteral("0000fee0-0000-1000-8000-00805f9b34fb"));
    bluez->AddCharacteristic(otherService, 0x0011, kMouseStatusCharacteristicUuid, {kNotify});
    bluez->AddDevice(QStringLiteral("66:77:88:99:AA:BB"), QString(), true, true);
    FakeBluez::Mouse unpaired = bluez->AddMouse(QStringLiteral("0C:0D:0E:0F:10:11"));
    bluez->SetProperty(unpaired.device, kBluezDevice, QStringLiteral("Paired"), false);

    StartChannel(BleBus::At(bus.Address()));
    EXPECT_EQ(channel->BluezPresence(), BleChannel::Presence::Present);
    PumpPending();
    EXPECT_TRUE(bluez->startNotifyCalls.isEmpty()) << "nothing is asked before timer 517";

    Connect();
    EXPECT_FALSE(window.HasTimer(TIMER_BLE_CONNECT));
    // Paired and connected: the mouse, the other product and the device without identity.
    EXPECT_EQ(channel->Devices().m_iBleNum, 3);
    ASSERT_EQ(channel->Devices().entries.size(), 3u);
    QStringList tokens;
    for (const BleDeviceEntry& entry : channel->Devices().entries) {
        EXPECT_EQ(entry.flag, 1);
        tokens.append(entry.address);
    }
    tokens.sort();
    EXPECT_EQ(tokens, (QStringList{QStringLiteral("001122334455"), QStringLiteral("66778899AABB"),
                                   QStringLiteral("C4E1A1C0E4AE")}));
    EXPECT_EQ(bluez->startNotifyCalls, QStringList{mouse.characteristic});
    EXPECT_EQ(channel->Subscribed(), QStringList{mouse.characteristic});
    EXPECT_EQ(links, std::vector<bool>{true});
}

TEST_F(BleChannelTest, HandsOnEachValueAsItsTwoWordsAndIgnoresMalformedOnes) {
    StartBluez();
    FakeBluez::Mouse mouse = bluez->AddMouse();
    // A device that is not the mouse, notifying on a characteristic of the same UUID.
    const QString other = bluez->AddDevice(QStringLiteral("00:11:22:33:44:55"), QString(), true, true);
    const QString otherCharacteristic = bluez->AddCharacteristic(
        bluez->AddService(other, 0x0010, QStringLiteral("0000fee0-0000-1000-8000-00805f9b34fb")), 0x0011,
        kMouseStatusCharacteristicUuid, {kNotify});
    StartChannel(BleBus::At(bus.Address()));
    Connect();
    ASSERT_TRUE(channel->Connected());

    bluez->Notify(mouse.characteristic, Bytes({0x3C, 0x40, 0x01, 0x41}));
    // Malformed: empty, shorter than a status value, not bytes at all, and from another device.
    bluez->Notify(mouse.characteristic, QByteArray());
    bluez->Notify(mouse.characteristic, Bytes({0x3C, 0x10, 0x02}));
    bluez->Notify(mouse.characteristic, QStringLiteral("<@AA"));
    bluez->Notify(mouse.characteristic, 0x41403C);
    bluez->Notify(otherCharacteristic, Bytes({0x3C, 0x10, 0x05, 0x00}));
    // A longer value: its first four bytes count.
    bluez->Notify(mouse.characteristic, Bytes({0x3C, 0x70, 0x20, 0x00, 0xFF}));
    bluez->Notify(mouse.characteristic, Bytes({0x3C, 0x10, 0x03, 0x00}));
    WaitForValues(3);
    EXPECT_EQ(values, (std::vector<Words>{{0x403C, 0x4101}, {0x703C, 0x0020}, {0x103C, 0x0003}}));
}

TEST_F(BleChannelTest, FollowsTheMouseConnectingLeavingAndComingBack) {
    StartBluez();
    StartChannel(BleBus::At(bus.Address()));
    Connect();
    EXPECT_EQ(channel->Devices().m_iBleNum, 0);
    EXPECT_TRUE(links.empty());

    // Paired and connected after start-up.
    FakeBluez::Mouse mouse = bluez->AddMouse();
    WaitForLink(true);
    EXPECT_EQ(bluez->startNotifyCalls, QStringList{mouse.characteristic});

    // Out of range: BlueZ says it is disconnected and takes its attributes away. A value still
    // in flight from it is not handed on.
    bluez->SetProperty(mouse.device, kBluezDevice, QStringLiteral("Connected"), false);
    WaitForLink(false);
    EXPECT_EQ(channel->Devices().m_iBleNum, 0);
    bluez->Remove(mouse.service);
    bluez->Notify(mouse.characteristic, Bytes({0x3C, 0x40, 0x01, 0x20}));

    // Back: attributes first, then the connection; the channel subscribes anew.
    bluez->AddMouseServices(mouse);
    bluez->SetProperty(mouse.device, kBluezDevice, QStringLiteral("Connected"), true);
    WaitForLink(true);
    EXPECT_EQ(bluez->startNotifyCalls, (QStringList{mouse.characteristic, mouse.characteristic}));
    bluez->Notify(mouse.characteristic, Bytes({0x3C, 0x40, 0x01, 0x30}));
    WaitForValues(1);
    EXPECT_EQ(values, (std::vector<Words>{{0x403C, 0x3001}}));

    // Away and back with its attributes kept, as BlueZ does for a bonded device: the subscription
    // is BlueZ's to renew, and values count again once it is connected.
    bluez->SetProperty(mouse.device, kBluezDevice, QStringLiteral("Connected"), false);
    WaitForLink(false);
    bluez->Notify(mouse.characteristic, Bytes({0x3C, 0x40, 0x01, 0x40}));
    bluez->SetProperty(mouse.device, kBluezDevice, QStringLiteral("Connected"), true);
    WaitForLink(true);
    EXPECT_EQ(bluez->startNotifyCalls.size(), 2);
    bluez->Notify(mouse.characteristic, Bytes({0x3C, 0x40, 0x01, 0x50}));
    WaitForValues(2);
    EXPECT_EQ(values, (std::vector<Words>{{0x403C, 0x3001}, {0x403C, 0x5001}}));

    // Unpaired and removed.
    bluez->Remove(mouse.device);
    WaitForLink(false);
    EXPECT_EQ(links, (std::vector<bool>{true, false, true, false, true, false}));
}

TEST_F(BleChannelTest, ARefusedSubscriptionIsAskedAgainOnlyWhenTheMouseReturns) {
    StartBluez();
    FakeBluez::Mouse mouse = bluez->AddMouse();
    bluez->RefuseStartNotify(mouse.characteristic);
    StartChannel(BleBus::At(bus.Address()));
    Connect();
    EXPECT_FALSE(channel->Connected());
    // Unrelated changes of the mouse do not ask again.
    bluez->SetProperty(mouse.device, kBluezDevice, QStringLiteral("Alias"), QStringLiteral("mouse"));
    bluez->Notify(mouse.characteristic, Bytes({0x3C, 0x40, 0x01, 0x30}));
    bluez->SetProperty(mouse.device, kBluezDevice, QStringLiteral("Name"), QStringLiteral("mouse"));
    // BlueZ's signals arrive in order: once this device is counted, the changes above were seen.
    bluez->AddDevice(QStringLiteral("00:11:22:33:44:55"), QString(), true, true);
    ASSERT_TRUE(PumpUntil([&] { return channel->Devices().m_iBleNum == 2; }));
    Settle();
    EXPECT_EQ(bluez->startNotifyCalls.size(), 1);
    EXPECT_TRUE(values.empty());

    bluez->SetProperty(mouse.device, kBluezDevice, QStringLiteral("Connected"), false);
    ASSERT_TRUE(PumpUntil([&] { return channel->Devices().m_iBleNum == 1; }));
    bluez->SetProperty(mouse.device, kBluezDevice, QStringLiteral("Connected"), true);
    ASSERT_TRUE(PumpUntil([&] { return bluez->startNotifyCalls.size() == 2; }));
}

TEST_F(BleChannelTest, ABluezRestartLosesTheMouseAndFindsItAgain) {
    StartBluez();
    bluez->AddMouse();
    StartChannel(BleBus::At(bus.Address()));
    Connect();
    ASSERT_TRUE(channel->Connected());

    bluez->LeaveBus();
    WaitForLink(false);
    bluez->ReturnToBus();
    FakeBluez::Mouse mouse = bluez->AddMouse();
    WaitForLink(true);
    EXPECT_EQ(channel->Subscribed(), QStringList{mouse.characteristic});
    EXPECT_EQ(links, (std::vector<bool>{true, false, true}));
}

TEST_F(BleChannelTest, StaysIdleWithoutBluez) {
    // A bus without BlueZ.
    StartChannel(BleBus::At(bus.Address()));
    EXPECT_EQ(channel->BluezPresence(), BleChannel::Presence::Absent);
    EXPECT_FALSE(window.HasTimer(TIMER_BLE_CONNECT));
    // BlueZ arriving later is not looked for.
    StartBluez();
    bluez->AddMouse();
    time.Advance(10 * kBleConnectDelayMs);
    Settle();
    EXPECT_FALSE(channel->Following());
    EXPECT_TRUE(bluez->startNotifyCalls.isEmpty());

    // No bus at the address, and no bus at all.
    channel.reset();
    StartChannel(BleBus::At(QStringLiteral("unix:path=/nonexistent/quillon-test-bus")));
    EXPECT_EQ(channel->BluezPresence(), BleChannel::Presence::Absent);
    StartChannel(BleBus::None());
    EXPECT_EQ(channel->BluezPresence(), BleChannel::Presence::Absent);
    EXPECT_FALSE(window.HasTimer(TIMER_BLE_CONNECT));
    EXPECT_TRUE(links.empty());
}

}  // namespace
