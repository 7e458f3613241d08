// The production backend over hidapi's hidraw implementation. This file is built into its own
// small shared library that both driver copies load: hidapi keeps its last error in a global and
// sets the locale in hid_init, so its enumerate and open calls must not run on two threads at once,
// and only a library loaded once per process can hold a lock that both copies share.

#include <hidapi/hidapi.h>

#include <array>
#include <cerrno>
#include <mutex>
#include <unistd.h>

#include "hid_backend.h"

namespace quillon::hid {
namespace {

std::mutex& HidapiLock() {
    static std::mutex lock;
    return lock;
}

// Called with the lock held.
void EnsureInitialised() {
    static bool initialised = false;
    if (!initialised)
        initialised = hid_init() == 0;
}

// "/dev/hidraw3" -> the name of /sys/class/hidraw/hidraw3/device, e.g. "0003:1D57:FA7F.0007".
std::string HidInstance(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    const std::string link =
        "/sys/class/hidraw/" + path.substr(slash == std::string::npos ? 0 : slash + 1) + "/device";
    std::array<char, 256> target{};
    const ssize_t length = readlink(link.c_str(), target.data(), target.size() - 1);
    if (length <= 0)
        return {};
    const std::string resolved(target.data(), static_cast<std::size_t>(length));
    const std::size_t last = resolved.rfind('/');
    return last == std::string::npos ? resolved : resolved.substr(last + 1);
}

std::vector<DeviceEntry> EnumerateDevices(uint16_t vendorId, uint16_t productId) {
    std::vector<DeviceEntry> entries;
    // hid_enumerate with 0/0 would list every HID device; a driver without identifiers sees none.
    if (vendorId == 0 && productId == 0)
        return entries;
    std::lock_guard lock(HidapiLock());
    EnsureInitialised();
    hid_device_info* list = hid_enumerate(vendorId, productId);
    for (hid_device_info* info = list; info != nullptr; info = info->next) {
        DeviceEntry entry;
        entry.path = info->path != nullptr ? info->path : "";
        entry.usagePage = info->usage_page;
        entry.usage = info->usage;
        entry.interfaceNumber = info->interface_number;
        entry.instance = HidInstance(entry.path);
        entries.push_back(std::move(entry));
    }
    hid_free_enumeration(list);
    return entries;
}

Handle OpenDevice(const std::string& path, OpenFailure& failure) {
    std::lock_guard lock(HidapiLock());
    EnsureInitialised();
    hid_device* device = hid_open_path(path.c_str());
    if (device != nullptr) {
        failure = OpenFailure::None;
        return device;
    }
    // hidapi reports the reason only as text; ask the file system the same question it failed on.
    if (access(path.c_str(), R_OK | W_OK) != 0)
        failure = errno == EACCES || errno == EPERM ? OpenFailure::PermissionDenied
                  : errno == ENOENT                 ? OpenFailure::NotFound
                                                    : OpenFailure::Other;
    else
        failure = OpenFailure::Other;
    return nullptr;
}

void CloseDevice(Handle handle) {
    hid_close(static_cast<hid_device*>(handle));
}

int WriteReport(Handle handle, const uint8_t* data, size_t length) {
    return hid_write(static_cast<hid_device*>(handle), data, length);
}

int ReadReport(Handle handle, uint8_t* buffer, size_t length, int timeoutMs) {
    return hid_read_timeout(static_cast<hid_device*>(handle), buffer, length, timeoutMs);
}

}  // namespace

const Backend& HidapiBackend() {
    static const Backend backend{EnumerateDevices, OpenDevice, CloseDevice, WriteReport, ReadReport};
    return backend;
}

}  // namespace quillon::hid
