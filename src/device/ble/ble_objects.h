#pragma once
// BlueZ's objects as the Bluetooth LE channel sees them, and how the mouse is found among them.
//
// BlueZ shows every device, GATT service and characteristic it knows as a D-Bus object with
// interfaces and properties (org.bluez.Device1, org.bluez.GattService1,
// org.bluez.GattCharacteristic1). The channel keeps a copy of those objects, kept up to date by
// BlueZ's signals, and after each change works out from it which characteristics to listen to:
//
//   1. ScanBleDevices: every paired, connected device with a name and an address is counted in
//      `m_iBleNum`, and the first 1000 of them give the BLE device list, one address token each
//      (the address without its colons, "C4E1A1C0E4AE");
//   2. a device matches when its device path (below) contains both filters, `m_iBleNum` > 0, and
//      the path contains the address token of a listed device;
//   3. of a matching device only its first service, in handle order, is examined;
//   4. that service's characteristics with the 16-bit UUID 0xFEE4 that can notify are listened to.
//
// The filters are pieces of the mouse's identity as a Bluetooth device, vendor and product
// ("VID&02045E": vendor 0x045E registered with the USB-IF, source 02; "PID&003C"). A device's
// path spells its identity the same way, from the modalias BlueZ reads from the device and from
// its address, after the object path, in upper case:
//
//     /ORG/BLUEZ/HCI0/DEV_C4_E1_A1_C0_E4_AE#DEV_VID&02045E_PID&003C_REV&0001_C4E1A1C0E4AE
//
// A device without a modalias has no identity pieces in its path, and so never matches.

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

namespace quillon {

inline const QString kBluezService = QStringLiteral("org.bluez");
inline const QString kBluezDevice = QStringLiteral("org.bluez.Device1");
inline const QString kBluezGattService = QStringLiteral("org.bluez.GattService1");
inline const QString kBluezGattCharacteristic = QStringLiteral("org.bluez.GattCharacteristic1");

// The mouse's vendor characteristic, whose notifications carry its status values.
inline const QString kMouseStatusCharacteristicUuid = QStringLiteral("0000fee4-0000-1000-8000-00805f9b34fb");

// One object's interfaces with their properties, and BlueZ's objects by path. Paths sort in
// handle order within a device ("service000a" before "service0010"), as BlueZ names them.
using BleInterfaces = QMap<QString, QVariantMap>;
using BleObjects = QMap<QString, BleInterfaces>;

// The interfaces whose objects the channel keeps; everything else BlueZ shows is left out.
bool IsKeptBleInterface(const QString& interfaceName);
// Whether a change of this property of a kept interface can change what the channel listens to.
bool IsMatchingProperty(const QString& interfaceName, const QString& property);

inline constexpr std::size_t kBleDeviceListSize = 1000;
inline constexpr qsizetype kBleAddressTokenMax = 260;

struct BleDeviceEntry {
    int flag = 0;
    QString address;  // the address token
};

struct BleDeviceList {
    std::vector<BleDeviceEntry> entries;  // at most kBleDeviceListSize
    int m_iBleNum = 0;                    // devices counted by the last scan, also those not listed
};

// Both filters must be set for the channel to look for the mouse.
struct BleFilters {
    QString vendor;
    QString product;
    bool Complete() const { return !vendor.isEmpty() && !product.isEmpty(); }
};

// The mouse's identity over Bluetooth LE.
BleFilters MouseBleFilters();

// Rebuilds the list from the paired, connected devices among the objects.
void ScanBleDevices(const BleObjects& objects, BleDeviceList& list);

// The device path of a device object (see above), in upper case.
QString BleDevicePath(const QString& objectPath, const QVariantMap& device);

// The characteristics to listen to, in path order.
QStringList MatchBleCharacteristics(const BleObjects& objects, const BleFilters& filters,
                                    const BleDeviceList& list);

// The two little-endian 16-bit words a status value starts with; nothing for a value shorter
// than the 4 bytes of a status value.
std::optional<std::pair<std::uint16_t, std::uint16_t>> BleValueWords(const QByteArray& value);

}  // namespace quillon
