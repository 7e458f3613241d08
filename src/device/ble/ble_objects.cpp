#include "device/ble/ble_objects.h"

#include <QDBusObjectPath>
#include <QRegularExpression>

#include <algorithm>

#include "core/protocol/status.h"

namespace quillon {
namespace {

QString ObjectPathProperty(const QVariantMap& properties, const QString& name) {
    const QVariant value = properties.value(name);
    if (value.canConvert<QDBusObjectPath>())
        return value.value<QDBusObjectPath>().path();
    return value.toString();
}

// "usb:v045Ep003Cd0001" -> "VID&02045E_PID&003C_REV&0001"; empty for anything else. The source
// of the vendor number comes first: 01 for the Bluetooth SIG's numbers, 02 for the USB-IF's.
QString IdentityOfModalias(const QString& modalias) {
    static const QRegularExpression pattern(
        QStringLiteral("^(bluetooth|usb):v([0-9A-Fa-f]{4})p([0-9A-Fa-f]{4})d([0-9A-Fa-f]{4})$"));
    const QRegularExpressionMatch match = pattern.match(modalias);
    if (!match.hasMatch())
        return {};
    const QString source =
        match.captured(1) == QLatin1String("usb") ? QStringLiteral("02") : QStringLiteral("01");
    return QStringLiteral("VID&%1%2_PID&%3_REV&%4")
        .arg(source, match.captured(2), match.captured(3), match.captured(4))
        .toUpper();
}

QString AddressToken(const QString& address) {
    QString token = address;
    token.remove(u':');
    return token.left(kBleAddressTokenMax);
}

}  // namespace

bool IsKeptBleInterface(const QString& interfaceName) {
    return interfaceName == kBluezDevice || interfaceName == kBluezGattService ||
           interfaceName == kBluezGattCharacteristic;
}

bool IsMatchingProperty(const QString& interfaceName, const QString& property) {
    if (interfaceName == kBluezDevice) {
        static const QStringList device = {
            QStringLiteral("Address"), QStringLiteral("Name"),      QStringLiteral("Alias"),
            QStringLiteral("Paired"),  QStringLiteral("Connected"), QStringLiteral("Modalias"),
        };
        return device.contains(property);
    }
    if (interfaceName == kBluezGattService)
        return property == QLatin1String("Device");
    if (interfaceName == kBluezGattCharacteristic)
        return property == QLatin1String("Service") || property == QLatin1String("UUID") ||
               property == QLatin1String("Flags");
    return false;
}

BleFilters MouseBleFilters() {
    return {QStringLiteral("VID&02045E"), QStringLiteral("PID&003C")};
}

void ScanBleDevices(const BleObjects& objects, BleDeviceList& list) {
    list.entries.clear();
    list.m_iBleNum = 0;
    for (const BleInterfaces& interfaces : objects) {
        const auto device = interfaces.constFind(kBluezDevice);
        if (device == interfaces.cend())
            continue;
        const QVariantMap& properties = *device;
        if (!properties.value(QStringLiteral("Paired")).toBool() ||
            !properties.value(QStringLiteral("Connected")).toBool())
            continue;
        const bool named =
            properties.contains(QStringLiteral("Name")) || properties.contains(QStringLiteral("Alias"));
        const QString address = properties.value(QStringLiteral("Address")).toString();
        if (!named || address.isEmpty())
            continue;
        if (list.entries.size() < kBleDeviceListSize)
            list.entries.push_back({1, AddressToken(address)});
        ++list.m_iBleNum;
    }
}

QString BleDevicePath(const QString& objectPath, const QVariantMap& device) {
    QString path = objectPath + u'#';
    const QString identity = IdentityOfModalias(device.value(QStringLiteral("Modalias")).toString());
    if (!identity.isEmpty())
        path += QStringLiteral("DEV_") + identity + u'_';
    path += AddressToken(device.value(QStringLiteral("Address")).toString());
    return path.toUpper();
}

QStringList MatchBleCharacteristics(const BleObjects& objects, const BleFilters& filters,
                                    const BleDeviceList& list) {
    QStringList matched;
    if (!filters.Complete() || list.m_iBleNum <= 0)
        return matched;
    const QString vendor = filters.vendor.toUpper();
    const QString product = filters.product.toUpper();
    for (auto object = objects.cbegin(); object != objects.cend(); ++object) {
        const auto device = object->constFind(kBluezDevice);
        if (device == object->cend())
            continue;
        const QString devicePath = BleDevicePath(object.key(), *device);
        if (!devicePath.contains(vendor) || !devicePath.contains(product))
            continue;
        const bool listed =
            std::any_of(list.entries.begin(), list.entries.end(), [&](const BleDeviceEntry& entry) {
                return !entry.address.isEmpty() && devicePath.contains(entry.address.toUpper());
            });
        if (!listed)
            continue;

        // The device's first service: the lowest path among its services.
        QString service;
        for (auto candidate = objects.cbegin(); candidate != objects.cend(); ++candidate) {
            const auto properties = candidate->constFind(kBluezGattService);
            if (properties != candidate->cend() &&
                ObjectPathProperty(*properties, QStringLiteral("Device")) == object.key()) {
                service = candidate.key();
                break;
            }
        }
        if (service.isEmpty())
            continue;

        for (auto candidate = objects.cbegin(); candidate != objects.cend(); ++candidate) {
            const auto properties = candidate->constFind(kBluezGattCharacteristic);
            if (properties == candidate->cend() ||
                ObjectPathProperty(*properties, QStringLiteral("Service")) != service)
                continue;
            const bool vendorUuid = properties->value(QStringLiteral("UUID"))
                                        .toString()
                                        .compare(kMouseStatusCharacteristicUuid, Qt::CaseInsensitive) == 0;
            const bool notifies =
                properties->value(QStringLiteral("Flags")).toStringList().contains(QStringLiteral("notify"));
            if (vendorUuid && notifies)
                matched.append(candidate.key());
        }
    }
    return matched;
}

std::optional<std::pair<std::uint16_t, std::uint16_t>> BleValueWords(const QByteArray& value) {
    if (static_cast<std::size_t>(value.size()) < kBleValueSize)
        return std::nullopt;
    const auto byte = [&](int i) { return static_cast<std::uint16_t>(static_cast<std::uint8_t>(value[i])); };
    return std::make_pair(static_cast<std::uint16_t>(byte(0) | (byte(1) << 8)),
                          static_cast<std::uint16_t>(byte(2) | (byte(3) << 8)));
}

}  // namespace quillon
