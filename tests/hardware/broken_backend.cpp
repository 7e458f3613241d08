// The backend of a deliberately broken driver plugin, kept to prove that the hardware checks catch
// a driver that writes to the wrong interface. It is the real driver (exports and logic unchanged)
// over a hidapi backend that loses the usage page of every collection: each interface then looks
// like the vendor one, and the driver opens the first interface of the mouse, the boot mouse.

#include <hidapi/hidapi.h>

#include <mutex>

#include "hid_backend.h"

namespace quillon::hid {
namespace {

std::mutex& Lock() {
    static std::mutex lock;
    return lock;
}

std::vector<DeviceEntry> EnumerateAll(uint16_t vendorId, uint16_t productId) {
    std::vector<DeviceEntry> entries;
    std::lock_guard lock(Lock());
    hid_device_info* list = hid_enumerate(vendorId, productId);
    for (hid_device_info* info = list; info != nullptr; info = info->next) {
        DeviceEntry entry;
        entry.path = info->path != nullptr ? info->path : "";
        entry.usagePage = 0xFF00;  // the fault: every collection taken for the vendor one
        entry.usage = info->usage;
        entry.interfaceNumber = info->interface_number;
        entries.push_back(entry);
    }
    hid_free_enumeration(list);
    return entries;
}

Handle OpenPath(const std::string& path, OpenFailure& failure) {
    std::lock_guard lock(Lock());
    hid_device* device = hid_open_path(path.c_str());
    failure = device != nullptr ? OpenFailure::None : OpenFailure::Other;
    return device;
}

}  // namespace

const Backend& HidapiBackend() {
    static const Backend backend{
        EnumerateAll,
        OpenPath,
        [](Handle handle) { hid_close(static_cast<hid_device*>(handle)); },
        [](Handle handle, const uint8_t* data, size_t length) {
            return hid_write(static_cast<hid_device*>(handle), data, length);
        },
        [](Handle handle, uint8_t* buffer, size_t length, int timeoutMs) {
            return hid_read_timeout(static_cast<hid_device*>(handle), buffer, length, timeoutMs);
        },
    };
    return backend;
}

}  // namespace quillon::hid
