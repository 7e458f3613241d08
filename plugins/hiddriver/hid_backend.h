#pragma once
// The thin seam between the HID driver and hidapi. The driver never calls hidapi itself; it calls
// through this table, so that arrival, removal, a read that fails because the device went away, a
// write to a closed device and a failed open can all be produced by a fake in tests.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace quillon::hid {

// One HID interface (hidraw node) of a device, as enumeration lists it. A device with several
// top-level collections on one interface appears once per collection, with the same path.
struct DeviceEntry {
    std::string path;
    uint16_t usagePage = 0;
    uint16_t usage = 0;
    int interfaceNumber = -1;
    // The kernel's name of the HID device behind the node (bus:vendor:product.instance). A device
    // that is pulled and plugged again gets a new one even when its node gets the old path back.
    // Empty when unknown.
    std::string instance;
};

// Why an open failed. The program needs to tell "no mouse" apart from "a mouse this user may not
// open", because only the second has a fix the user can apply (the udev rule).
enum class OpenFailure { None, NotFound, PermissionDenied, Other };

using Handle = void*;

struct Backend {
    // Lists the interfaces of every present device with these identifiers.
    std::function<std::vector<DeviceEntry>(uint16_t vendorId, uint16_t productId)> enumerate;
    // Opens one interface; null on failure, with the reason in `failure`.
    std::function<Handle(const std::string& path, OpenFailure& failure)> open;
    std::function<void(Handle)> close;
    // Writes one output report (identifier first); the number of bytes written or -1.
    std::function<int(Handle, const uint8_t* data, size_t length)> write;
    // Reads one input report (identifier first), waiting at most timeoutMs; the number of bytes,
    // 0 when the time ran out, -1 when the device failed (typically: it was unplugged).
    std::function<int(Handle, uint8_t* buffer, size_t length, int timeoutMs)> read;
};

// The production backend over hidapi's hidraw implementation. hidapi keeps its "last error" in a
// global, so enumeration and open calls from the two driver copies (each running its own monitor
// thread) are serialised by one lock shared by the whole process.
const Backend& HidapiBackend();

}  // namespace quillon::hid
