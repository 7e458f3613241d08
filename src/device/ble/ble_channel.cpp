#include "device/ble/ble_channel.h"

#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>
#include <QLoggingCategory>

#include <algorithm>
#include <atomic>

#include "platform/message_window.h"

// Traces of the channel, off unless asked for (QT_LOGGING_RULES="quillon.ble.debug=true").
Q_LOGGING_CATEGORY(lcBle, "quillon.ble", QtWarningMsg)

namespace quillon {
namespace {

using ManagedObjects = QMap<QDBusObjectPath, BleInterfaces>;

const QString kBusService = QStringLiteral("org.freedesktop.DBus");
const QString kBusPath = QStringLiteral("/org/freedesktop/DBus");
const QString kObjectManager = QStringLiteral("org.freedesktop.DBus.ObjectManager");
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");
const QString kValue = QStringLiteral("Value");

QString NextConnectionName() {
    static std::atomic<int> counter{0};
    return QStringLiteral("quillon-ble-%1").arg(++counter);
}

// The interfaces of one object that the channel keeps, without the characteristics' values,
// which are handed on as they arrive and never looked at again.
BleInterfaces Kept(const BleInterfaces& interfaces) {
    BleInterfaces kept;
    for (auto it = interfaces.cbegin(); it != interfaces.cend(); ++it) {
        if (!IsKeptBleInterface(it.key()))
            continue;
        QVariantMap properties = it.value();
        properties.remove(kValue);
        kept.insert(it.key(), properties);
    }
    return kept;
}

}  // namespace

BleChannel::BleChannel(HWND window, BleBus bus, ValueHandler onValue, LinkHandler onLink)
    : m_window(window), m_bus(std::move(bus)), m_onValue(std::move(onValue)), m_onLink(std::move(onLink)),
      m_connectionName(NextConnectionName()), m_connection(QString()) {
    qDBusRegisterMetaType<BleInterfaces>();
    qDBusRegisterMetaType<ManagedObjects>();
}

BleChannel::~BleChannel() {
    Shutdown();
}

void BleChannel::Start(const BleFilters& filters) {
    if (m_started || m_shutDown)
        return;
    m_started = true;
    m_filters = filters;
    if (m_bus.kind() == BleBus::Kind::None) {
        m_presence = Presence::Absent;
        return;
    }
    // Connecting waits for the bus's answer to the first call, so it happens off the UI thread.
    // Shutdown joins this thread before the channel goes, so `this` outlives the posting.
    m_opening = std::thread([this, bus = m_bus, name = m_connectionName] {
        const QDBusConnection connection =
            bus.kind() == BleBus::Kind::System
                ? QDBusConnection::connectToBus(QDBusConnection::SystemBus, name)
                : QDBusConnection::connectToBus(bus.address(), name);
        const bool connected = connection.isConnected();
        QMetaObject::invokeMethod(
            this, [this, connected] { OnBusOpened(connected); }, Qt::QueuedConnection);
    });
}

template <typename Reply> void BleChannel::Call(const QDBusMessage& message, Reply onReply) {
    auto* watcher = new QDBusPendingCallWatcher(m_connection.asyncCall(message), this);
    ++m_pendingCalls;
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, onReply = std::move(onReply)](QDBusPendingCallWatcher* finished) {
                finished->deleteLater();
                --m_pendingCalls;
                if (!m_shutDown)
                    onReply(finished->reply());
            });
}

void BleChannel::OnBusOpened(bool connected) {
    if (m_opening.joinable())
        m_opening.join();
    if (m_shutDown)
        return;
    m_connection = QDBusConnection(m_connectionName);
    if (!connected || !m_connection.isConnected()) {
        qCDebug(lcBle) << "no bus:" << m_connection.lastError().message();
        m_presence = Presence::Absent;
        return;
    }
    QDBusMessage ask =
        QDBusMessage::createMethodCall(kBusService, kBusPath, kBusService, QStringLiteral("GetNameOwner"));
    ask << kBluezService;
    Call(ask, [this](const QDBusMessage& reply) { OnBluezOwner(reply); });
}

void BleChannel::OnBluezOwner(const QDBusMessage& reply) {
    const bool present = reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty() &&
                         !reply.arguments().constFirst().toString().isEmpty();
    if (!present) {
        // No Bluetooth stack: no mouse can reach the program over Bluetooth, so the channel
        // stays idle.
        qCDebug(lcBle) << "BlueZ is not on the bus";
        m_presence = Presence::Absent;
        return;
    }
    m_presence = Presence::Present;
    m_bluezOwner = reply.arguments().constFirst().toString();
    if (MessageWindow* window = MessageWindow::FromHandle(m_window))
        window->SetTimer(TIMER_BLE_CONNECT, kBleConnectDelayMs);
}

bool BleChannel::OnTimer(UINT_PTR id) {
    if (id != TIMER_BLE_CONNECT)
        return false;
    if (MessageWindow* window = MessageWindow::FromHandle(m_window))
        window->KillTimer(TIMER_BLE_CONNECT);
    if (!m_following)
        ConnectBle();
    return true;
}

void BleChannel::ConnectBle() {
    if (m_shutDown || !m_filters.Complete() || m_presence != Presence::Present)
        return;
    m_following = true;
    // Signals from any sender, checked against BlueZ's unique name on arrival: naming BlueZ here
    // would have the connection ask the bus for its owner and wait for the answer.
    m_connection.connect(QString(), QString(), kObjectManager, QStringLiteral("InterfacesAdded"), this,
                         SLOT(OnInterfacesAdded(QDBusMessage)));
    m_connection.connect(QString(), QString(), kObjectManager, QStringLiteral("InterfacesRemoved"), this,
                         SLOT(OnInterfacesRemoved(QDBusMessage)));
    m_connection.connect(QString(), QString(), kProperties, QStringLiteral("PropertiesChanged"), this,
                         SLOT(OnPropertiesChanged(QDBusMessage)));
    m_ownerWatcher =
        new QDBusServiceWatcher(kBluezService, m_connection, QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(m_ownerWatcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
            &BleChannel::OnBluezOwnerChanged);
    ReadObjects();
}

void BleChannel::ReadObjects() {
    const QDBusMessage call = QDBusMessage::createMethodCall(
        kBluezService, QStringLiteral("/"), kObjectManager, QStringLiteral("GetManagedObjects"));
    Call(call, [this](const QDBusMessage& reply) {
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
            qCDebug(lcBle) << "GetManagedObjects failed:" << reply.errorMessage();
            return;
        }
        // The answer is BlueZ's whole tree at the moment it answered; the signals that came
        // before it are already part of it, and those that follow come from the same sender.
        m_bluezOwner = reply.service();
        const ManagedObjects objects = qdbus_cast<ManagedObjects>(reply.arguments().constFirst());
        m_objects.clear();
        for (auto it = objects.cbegin(); it != objects.cend(); ++it) {
            BleInterfaces kept = Kept(it.value());
            if (!kept.isEmpty())
                m_objects.insert(it.key().path(), kept);
        }
        Evaluate();
    });
}

bool BleChannel::FromBluez(const QDBusMessage& message) const {
    return !m_shutDown && !m_bluezOwner.isEmpty() && message.service() == m_bluezOwner;
}

void BleChannel::OnInterfacesAdded(const QDBusMessage& message) {
    const QList<QVariant> arguments = message.arguments();
    if (!FromBluez(message) || arguments.size() < 2)
        return;
    const QString path = arguments[0].value<QDBusObjectPath>().path();
    const BleInterfaces added = Kept(qdbus_cast<BleInterfaces>(arguments[1]));
    if (path.isEmpty() || added.isEmpty())
        return;
    BleInterfaces& object = m_objects[path];
    for (auto it = added.cbegin(); it != added.cend(); ++it)
        object.insert(it.key(), it.value());
    Evaluate();
}

void BleChannel::OnInterfacesRemoved(const QDBusMessage& message) {
    const QList<QVariant> arguments = message.arguments();
    if (!FromBluez(message) || arguments.size() < 2)
        return;
    const QString path = arguments[0].value<QDBusObjectPath>().path();
    const auto object = m_objects.find(path);
    if (object == m_objects.end())
        return;
    for (const QString& name : qdbus_cast<QStringList>(arguments[1]))
        object->remove(name);
    if (object->isEmpty())
        m_objects.erase(object);
    Evaluate();
}

void BleChannel::OnPropertiesChanged(const QDBusMessage& message) {
    const QList<QVariant> arguments = message.arguments();
    if (!FromBluez(message) || arguments.size() < 2)
        return;
    const QString interfaceName = arguments[0].toString();
    const QVariantMap changed = qdbus_cast<QVariantMap>(arguments[1]);
    const QStringList invalidated =
        arguments.size() > 2 ? qdbus_cast<QStringList>(arguments[2]) : QStringList();
    const QString path = message.path();

    if (interfaceName == kBluezGattCharacteristic && Listening(path) && changed.contains(kValue))
        Deliver(changed.value(kValue));

    const auto object = m_objects.find(path);
    if (object == m_objects.end())
        return;
    const auto properties = object->find(interfaceName);
    if (properties == object->end())
        return;
    bool matters = false;
    for (auto it = changed.cbegin(); it != changed.cend(); ++it) {
        if (it.key() == kValue)
            continue;
        properties->insert(it.key(), it.value());
        matters = matters || IsMatchingProperty(interfaceName, it.key());
    }
    for (const QString& name : invalidated) {
        properties->remove(name);
        matters = matters || IsMatchingProperty(interfaceName, name);
    }
    if (matters)
        Evaluate();
}

void BleChannel::OnBluezOwnerChanged(const QString&, const QString& oldOwner, const QString& newOwner) {
    if (m_shutDown)
        return;
    m_bluezOwner = newOwner;
    if (!oldOwner.isEmpty()) {
        // BlueZ went away, and everything it showed with it.
        m_objects.clear();
        m_refused.clear();
        Evaluate();
    }
    if (!newOwner.isEmpty())
        ReadObjects();
}

void BleChannel::Evaluate() {
    ScanBleDevices(m_objects, m_devices);
    const QStringList matched = MatchBleCharacteristics(m_objects, m_filters, m_devices);
    m_wanted = QSet<QString>(matched.cbegin(), matched.cend());

    // A refused characteristic is asked again once it has gone and come back.
    m_refused.intersect(m_wanted);
    // A subscription lasts as long as its characteristic: BlueZ keeps it while the device is
    // away and renews it when the device comes back with the same attributes.
    for (auto it = m_subscribed.begin(); it != m_subscribed.end();) {
        if (m_objects.contains(*it))
            ++it;
        else
            it = m_subscribed.erase(it);
    }
    for (const QString& characteristic : matched) {
        if (!m_subscribed.contains(characteristic) && !m_pending.contains(characteristic) &&
            !m_refused.contains(characteristic))
            StartNotify(characteristic);
    }
    UpdateLink();
}

void BleChannel::StartNotify(const QString& characteristic) {
    m_pending.insert(characteristic);
    const QDBusMessage call = QDBusMessage::createMethodCall(
        kBluezService, characteristic, kBluezGattCharacteristic, QStringLiteral("StartNotify"));
    Call(call, [this, characteristic](const QDBusMessage& reply) {
        m_pending.remove(characteristic);
        if (reply.type() != QDBusMessage::ReplyMessage) {
            qCDebug(lcBle) << "StartNotify" << characteristic << "failed:" << reply.errorMessage();
            if (m_wanted.contains(characteristic))
                m_refused.insert(characteristic);
            return;
        }
        if (m_objects.contains(characteristic))
            m_subscribed.insert(characteristic);
        UpdateLink();
    });
}

bool BleChannel::Listening(const QString& characteristic) const {
    return m_wanted.contains(characteristic) && m_subscribed.contains(characteristic);
}

void BleChannel::UpdateLink() {
    const bool up = std::any_of(m_wanted.cbegin(), m_wanted.cend(), [this](const QString& characteristic) {
        return m_subscribed.contains(characteristic);
    });
    if (up == m_linkUp)
        return;
    m_linkUp = up;
    if (m_onLink)
        m_onLink(up);
}

void BleChannel::Deliver(const QVariant& value) {
    // A value of any other D-Bus type than bytes is not a status value.
    if (value.metaType() != QMetaType::fromType<QByteArray>())
        return;
    const QByteArray bytes = value.toByteArray();
    if (bytes.isEmpty()) {
        qCDebug(lcBle) << "datasize 0";
        return;
    }
    const auto words = BleValueWords(bytes);
    if (!words)
        return;
    qCDebug(lcBle, "dwLeft = %04x, dwRight = %04x", words->first, words->second);
    if (m_onValue)
        m_onValue(words->first, words->second);
}

QStringList BleChannel::Subscribed() const {
    QStringList subscribed;
    for (const QString& characteristic : m_subscribed)
        if (Listening(characteristic))
            subscribed.append(characteristic);
    subscribed.sort();
    return subscribed;
}

void BleChannel::Shutdown() {
    if (m_shutDown)
        return;
    m_shutDown = true;
    if (m_opening.joinable())
        m_opening.join();
    if (MessageWindow* window = MessageWindow::FromHandle(m_window))
        window->KillTimer(TIMER_BLE_CONNECT);
    if (m_following) {
        m_connection.disconnect(QString(), QString(), kObjectManager, QStringLiteral("InterfacesAdded"), this,
                                SLOT(OnInterfacesAdded(QDBusMessage)));
        m_connection.disconnect(QString(), QString(), kObjectManager, QStringLiteral("InterfacesRemoved"),
                                this, SLOT(OnInterfacesRemoved(QDBusMessage)));
        m_connection.disconnect(QString(), QString(), kProperties, QStringLiteral("PropertiesChanged"), this,
                                SLOT(OnPropertiesChanged(QDBusMessage)));
    }
    delete m_ownerWatcher;
    m_ownerWatcher = nullptr;
    // BlueZ ends the notifications of a client that leaves the bus.
    m_connection = QDBusConnection(QString());
    QDBusConnection::disconnectFromBus(m_connectionName);
    m_following = false;
}

}  // namespace quillon
