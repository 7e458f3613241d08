#pragma once
// A private D-Bus bus and a fake BlueZ on it, for tests of the Bluetooth LE channel.
//
//     PrivateBus bus;                          // a dbus-daemon of the test's own
//     FakeBluez bluez(bus.Address());          // owns "org.bluez" there
//     FakeBluez::Mouse mouse = bluez.AddMouse();
//     BleChannel ble(window, BleBus::At(bus.Address()), ...);
//     ...
//     bluez.Notify(mouse.characteristic, QByteArray("\x3c\x40\x01\x41", 4));
//
// The fake shows devices, GATT services and characteristics the way BlueZ does: objects under
// "/org/bluez/hci0" with the interfaces Device1, GattService1 and GattCharacteristic1, an object
// manager at "/" (GetManagedObjects, InterfacesAdded, InterfacesRemoved), PropertiesChanged for
// every property it changes, and StartNotify on characteristics, which it records.
// It lives in the test's own thread: its answers and signals go out while the test runs the
// event loop (PumpUntil).

#include <QDBusConnection>
#include <QDBusVirtualObject>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariant>

#include <memory>

#include "device/ble/ble_objects.h"

namespace quillon::test {

// A dbus-daemon for one test, ended with the object. Address() is empty when none could start
// (no dbus-daemon installed).
class PrivateBus {
public:
    PrivateBus();
    ~PrivateBus();
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    const QString& Address() const { return m_address; }

private:
    QTemporaryDir m_folder;
    QProcess m_daemon;
    QString m_address;
};

class FakeBluez final : public QDBusVirtualObject {
public:
    // Connects to the bus and takes the name "org.bluez".
    explicit FakeBluez(const QString& busAddress);
    ~FakeBluez() override;

    static constexpr const char* kMouseAddress = "C4:E1:A1:C0:E4:AE";
    static constexpr const char* kMouseModalias = "usb:v045Ep003Cd0001";

    // The mouse as BlueZ shows it once paired and connected: the device, its first service and
    // that service's status characteristic (UUID 0xFEE4, "read" and "notify").
    struct Mouse {
        QString device;
        QString service;
        QString characteristic;
    };
    Mouse AddMouse(const QString& address = QString::fromLatin1(kMouseAddress),
                   const QString& modalias = QString::fromLatin1(kMouseModalias));
    // Adds the mouse's service and characteristic again (BlueZ showing them on a reconnection).
    void AddMouseServices(Mouse& mouse);

    QString AddDevice(const QString& address, const QString& modalias, bool paired, bool connected);
    QString AddService(const QString& device, int handle, const QString& uuid);
    QString AddCharacteristic(const QString& service, int handle, const QString& uuid,
                              const QStringList& flags);
    // Changes a property and says so with PropertiesChanged.
    void SetProperty(const QString& path, const QString& interfaceName, const QString& name,
                     const QVariant& value);
    // Removes the object and every object below it, each with InterfacesRemoved.
    void Remove(const QString& path);
    // A notification: PropertiesChanged of the characteristic's "Value".
    void Notify(const QString& characteristic, const QVariant& value);
    // StartNotify on this characteristic answers with an error from now on.
    void RefuseStartNotify(const QString& characteristic) { m_refused.append(characteristic); }
    // BlueZ leaving the bus (its objects go with it) and coming back with nothing shown.
    void LeaveBus();
    void ReturnToBus();

    QStringList startNotifyCalls;

    // QDBusVirtualObject
    QString introspect(const QString& path) const override;
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override;

private:
    QString AddObject(const QString& path, const QString& interfaceName, const QVariantMap& properties);

    QString m_connectionName;
    QDBusConnection m_connection;
    BleObjects m_objects;
    QStringList m_refused;
};

}  // namespace quillon::test
