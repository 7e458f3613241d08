#pragma once
// The Bluetooth LE status channel: what the mouse tells the program over Bluetooth, through BlueZ.
//
// Over Bluetooth LE the mouse only talks. It notifies the values of its vendor characteristic
// (16-bit UUID 0xFEE4), four bytes each, and nothing is ever written to it. The channel finds the
// mouse among the devices BlueZ knows (ble_objects.h), subscribes to that characteristic and hands
// each value, as its two little-endian 16-bit words, to the status handling:
//
//     BleChannel ble(mainWindow.handle(), BleBus::System(), onValue, onLink);
//     ble.Start(MouseBleFilters());   // asks whether BlueZ is on the bus; when it is, starts
//                                     // timer 517 (TIMER_BLE_CONNECT)
//     WM_TIMER 517 -> ble.OnTimer(517)   // the connect: reads BlueZ's objects, finds the mouse,
//                                        // subscribes, and from then on follows BlueZ's signals
//     onValue(word0, word1)           // each notification value of at least 4 bytes
//     onLink(true) / onLink(false)    // the mouse's characteristic subscribed / lost
//     ble.Shutdown();                 // also done by the destructor
//
// Without BlueZ on the bus (or without a bus) the channel stays idle: no timer, no signal, no
// call. Once connected it follows BlueZ rather than asking again: a device that connects later,
// disconnects or is removed, and BlueZ itself going away and coming back, reach it as
// InterfacesAdded, InterfacesRemoved, PropertiesChanged and the owner change of "org.bluez".
// A subscription lasts as long as BlueZ shows its characteristic (BlueZ renews it when the device
// comes back); values count only while the device is connected and matches. A characteristic
// whose subscription BlueZ refused is not asked again until its device has gone and come back.
//
// Threads: everything runs on the thread that created the channel (the UI thread), from its event
// loop. D-Bus calls are asynchronous; their replies and BlueZ's signals arrive as events. Only the
// connection to the bus is made on a short-lived thread of its own, because connecting waits for
// the bus to answer.

#include <QDBusConnection>
#include <QObject>
#include <QSet>
#include <QString>
#include <QVariant>

#include <cstdint>
#include <functional>
#include <thread>
#include <utility>

#include "device/ble/ble_objects.h"
#include "platform/messages.h"

class QDBusMessage;
class QDBusServiceWatcher;

namespace quillon {

// The wait between start-up and the connect, so that the window shows first.
inline constexpr UINT kBleConnectDelayMs = 500;

// Where the channel looks for BlueZ: the system bus, a bus at an address (a test's private bus),
// or nowhere.
class BleBus {
public:
    static BleBus System() { return BleBus(Kind::System, {}); }
    static BleBus At(const QString& address) { return BleBus(Kind::Address, address); }
    static BleBus None() { return BleBus(Kind::None, {}); }

    enum class Kind { System, Address, None };
    Kind kind() const { return m_kind; }
    const QString& address() const { return m_address; }

private:
    BleBus(Kind kind, QString address) : m_kind(kind), m_address(std::move(address)) {}
    Kind m_kind;
    QString m_address;
};

class BleChannel final : public QObject {
    Q_OBJECT

public:
    using ValueHandler = std::function<void(std::uint16_t word0, std::uint16_t word1)>;
    using LinkHandler = std::function<void(bool connected)>;

    // `window` runs timer 517; its WM_TIMER is to be handed to OnTimer.
    BleChannel(HWND window, BleBus bus, ValueHandler onValue, LinkHandler onLink);
    ~BleChannel() override;
    BleChannel(const BleChannel&) = delete;
    BleChannel& operator=(const BleChannel&) = delete;

    // Page start-up: connects to the bus and asks whether BlueZ is there; when it is, takes the
    // filters and starts timer 517. Once.
    void Start(const BleFilters& filters);
    // Timer 517: stops it and, unless the channel already follows BlueZ, connects. False for
    // other timers.
    bool OnTimer(UINT_PTR id);
    // Stops listening and leaves the bus. Idempotent.
    void Shutdown();

    enum class Presence { Unknown, Absent, Present };
    // Whether BlueZ was found on the bus at start-up (Unknown until the bus answered).
    Presence BluezPresence() const { return m_presence; }
    // Whether the channel follows BlueZ (the connect ran).
    bool Following() const { return m_following; }
    // The BLE device list and `m_iBleNum` of the last scan.
    const BleDeviceList& Devices() const { return m_devices; }
    // The characteristics of the connected mouse whose notifications arrive, in path order.
    QStringList Subscribed() const;
    bool Connected() const { return m_linkUp; }
    // D-Bus calls of the channel still waiting for their answers.
    int PendingCalls() const { return m_pendingCalls; }

private Q_SLOTS:
    void OnInterfacesAdded(const QDBusMessage& message);
    void OnInterfacesRemoved(const QDBusMessage& message);
    void OnPropertiesChanged(const QDBusMessage& message);
    void OnBluezOwnerChanged(const QString& service, const QString& oldOwner, const QString& newOwner);

private:
    void OnBusOpened(bool connected);
    void OnBluezOwner(const QDBusMessage& reply);
    bool FromBluez(const QDBusMessage& message) const;
    void ConnectBle();
    void ReadObjects();
    void Evaluate();
    void StartNotify(const QString& characteristic);
    bool Listening(const QString& characteristic) const;
    void UpdateLink();
    void Deliver(const QVariant& value);
    template <typename Reply> void Call(const QDBusMessage& message, Reply onReply);

    HWND m_window;
    BleBus m_bus;
    ValueHandler m_onValue;
    LinkHandler m_onLink;
    QString m_connectionName;
    QDBusConnection m_connection;
    std::thread m_opening;
    bool m_started = false;
    bool m_shutDown = false;
    Presence m_presence = Presence::Unknown;
    bool m_following = false;
    QDBusServiceWatcher* m_ownerWatcher = nullptr;
    // BlueZ's unique name on the bus: signals from any other sender are not BlueZ's.
    QString m_bluezOwner;

    BleFilters m_filters;
    BleObjects m_objects;
    BleDeviceList m_devices;
    QSet<QString> m_wanted;      // what the last match asked for
    QSet<QString> m_pending;     // StartNotify sent, no answer yet
    QSet<QString> m_subscribed;  // StartNotify answered, and the characteristic still there
    QSet<QString> m_refused;     // StartNotify failed; not asked again while still wanted
    bool m_linkUp = false;
    int m_pendingCalls = 0;
};

}  // namespace quillon
