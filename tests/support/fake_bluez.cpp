#include "support/fake_bluez.h"

#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QFile>

#include <atomic>

namespace quillon::test {
namespace {

using ManagedObjects = QMap<QDBusObjectPath, BleInterfaces>;

const QString kObjectManager = QStringLiteral("org.freedesktop.DBus.ObjectManager");
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");
const QString kAdapterPath = QStringLiteral("/org/bluez/hci0");

QString NextConnectionName() {
    static std::atomic<int> counter{0};
    return QStringLiteral("fake-bluez-%1").arg(++counter);
}

}  // namespace

PrivateBus::PrivateBus() {
    if (!m_folder.isValid())
        return;
    const QString config = m_folder.filePath(QStringLiteral("bus.conf"));
    QFile file(config);
    if (!file.open(QIODevice::WriteOnly))
        return;
    file.write(
        QStringLiteral(R"(<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:dir=%1</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
)")
            .arg(m_folder.path())
            .toUtf8());
    file.close();
    m_daemon.start(QStringLiteral("dbus-daemon"),
                   {QStringLiteral("--config-file=") + config, QStringLiteral("--nofork"),
                    QStringLiteral("--print-address")});
    // The daemon prints its address once it listens.
    if (!m_daemon.waitForStarted(10000))
        return;
    while (!m_daemon.canReadLine() && m_daemon.waitForReadyRead(10000)) {
    }
    m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
}

PrivateBus::~PrivateBus() {
    if (m_daemon.state() != QProcess::NotRunning) {
        m_daemon.kill();
        m_daemon.waitForFinished(10000);
    }
}

FakeBluez::FakeBluez(const QString& busAddress)
    : m_connectionName(NextConnectionName()),
      m_connection(QDBusConnection::connectToBus(busAddress, m_connectionName)) {
    qDBusRegisterMetaType<BleInterfaces>();
    qDBusRegisterMetaType<ManagedObjects>();
    m_connection.registerVirtualObject(QStringLiteral("/"), this, QDBusConnection::SubPath);
    m_connection.registerService(kBluezService);
}

FakeBluez::~FakeBluez() {
    m_connection.unregisterObject(QStringLiteral("/"), QDBusConnection::UnregisterTree);
    m_connection = QDBusConnection(QString());
    QDBusConnection::disconnectFromBus(m_connectionName);
}

FakeBluez::Mouse FakeBluez::AddMouse(const QString& address, const QString& modalias) {
    Mouse mouse;
    mouse.device = AddDevice(address, modalias, true, true);
    AddMouseServices(mouse);
    return mouse;
}

void FakeBluez::AddMouseServices(Mouse& mouse) {
    mouse.service = AddService(mouse.device, 0x0010, QStringLiteral("0000fee0-0000-1000-8000-00805f9b34fb"));
    mouse.characteristic = AddCharacteristic(mouse.service, 0x0011, kMouseStatusCharacteristicUuid,
                                             {QStringLiteral("read"), QStringLiteral("notify")});
}

QString FakeBluez::AddDevice(const QString& address, const QString& modalias, bool paired, bool connected) {
    QString path = kAdapterPath + QStringLiteral("/dev_") + address;
    path.replace(u':', u'_');
    QVariantMap properties{
        {QStringLiteral("Address"), address},
        {QStringLiteral("Name"), QStringLiteral("MS_1")},
        {QStringLiteral("Alias"), QStringLiteral("MS_1")},
        {QStringLiteral("Paired"), paired},
        {QStringLiteral("Connected"), connected},
        {QStringLiteral("Adapter"), QVariant::fromValue(QDBusObjectPath(kAdapterPath))},
    };
    if (!modalias.isEmpty())
        properties.insert(QStringLiteral("Modalias"), modalias);
    return AddObject(path, kBluezDevice, properties);
}

QString FakeBluez::AddService(const QString& device, int handle, const QString& uuid) {
    return AddObject(device + QStringLiteral("/service%1").arg(handle, 4, 16, QLatin1Char('0')),
                     kBluezGattService,
                     {{QStringLiteral("UUID"), uuid},
                      {QStringLiteral("Primary"), true},
                      {QStringLiteral("Device"), QVariant::fromValue(QDBusObjectPath(device))}});
}

QString FakeBluez::AddCharacteristic(const QString& service, int handle, const QString& uuid,
                                     const QStringList& flags) {
    return AddObject(service + QStringLiteral("/char%1").arg(handle, 4, 16, QLatin1Char('0')),
                     kBluezGattCharacteristic,
                     {{QStringLiteral("UUID"), uuid},
                      {QStringLiteral("Flags"), flags},
                      {QStringLiteral("Notifying"), false},
                      {QStringLiteral("Value"), QByteArray()},
                      {QStringLiteral("Service"), QVariant::fromValue(QDBusObjectPath(service))}});
}

QString FakeBluez::AddObject(const QString& path, const QString& interfaceName,
                             const QVariantMap& properties) {
    m_objects[path].insert(interfaceName, properties);
    QDBusMessage signal =
        QDBusMessage::createSignal(QStringLiteral("/"), kObjectManager, QStringLiteral("InterfacesAdded"));
    signal << QVariant::fromValue(QDBusObjectPath(path))
           << QVariant::fromValue(BleInterfaces{{interfaceName, properties}});
    m_connection.send(signal);
    return path;
}

void FakeBluez::SetProperty(const QString& path, const QString& interfaceName, const QString& name,
                            const QVariant& value) {
    m_objects[path][interfaceName].insert(name, value);
    QDBusMessage signal = QDBusMessage::createSignal(path, kProperties, QStringLiteral("PropertiesChanged"));
    signal << interfaceName << QVariantMap{{name, value}} << QStringList();
    m_connection.send(signal);
}

void FakeBluez::Remove(const QString& path) {
    // Children first, as BlueZ takes a device's attributes away before the device.
    const QStringList paths = m_objects.keys();
    for (auto it = paths.crbegin(); it != paths.crend(); ++it) {
        if (*it != path && !it->startsWith(path + u'/'))
            continue;
        const QStringList interfaces = m_objects.value(*it).keys();
        m_objects.remove(*it);
        QDBusMessage signal = QDBusMessage::createSignal(QStringLiteral("/"), kObjectManager,
                                                         QStringLiteral("InterfacesRemoved"));
        signal << QVariant::fromValue(QDBusObjectPath(*it)) << interfaces;
        m_connection.send(signal);
    }
}

void FakeBluez::Notify(const QString& characteristic, const QVariant& value) {
    QDBusMessage signal =
        QDBusMessage::createSignal(characteristic, kProperties, QStringLiteral("PropertiesChanged"));
    signal << kBluezGattCharacteristic << QVariantMap{{QStringLiteral("Value"), value}} << QStringList();
    m_connection.send(signal);
}

void FakeBluez::LeaveBus() {
    m_objects.clear();
    m_connection.unregisterService(kBluezService);
}

void FakeBluez::ReturnToBus() {
    m_connection.registerService(kBluezService);
}

QString FakeBluez::introspect(const QString&) const {
    return {};
}

bool FakeBluez::handleMessage(const QDBusMessage& message, const QDBusConnection& connection) {
    const QString member = message.member();
    if (message.interface() == kObjectManager && member == QLatin1String("GetManagedObjects")) {
        ManagedObjects objects;
        for (auto it = m_objects.cbegin(); it != m_objects.cend(); ++it)
            objects.insert(QDBusObjectPath(it.key()), it.value());
        connection.send(message.createReply(QVariant::fromValue(objects)));
        return true;
    }
    if (message.interface() == kBluezGattCharacteristic && member == QLatin1String("StartNotify") &&
        m_objects.contains(message.path())) {
        startNotifyCalls.append(message.path());
        connection.send(m_refused.contains(message.path())
                            ? message.createErrorReply(QStringLiteral("org.bluez.Error.NotPermitted"),
                                                       QStringLiteral("Notify not permitted"))
                            : message.createReply());
        return true;
    }
    return false;
}

}  // namespace quillon::test
