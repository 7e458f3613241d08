// The C exports of the driver library. Each copy of this library (hiddriver_4k_1.so for the wired
// mouse, hiddriver_4k_2.so for the receiver) has its own driver instance, so the two links never
// share a device, a monitor or a handle.

#include <dlfcn.h>

#include <type_traits>

#include "hid_driver.h"
#include "quillon/driver_abi.h"

#define QUILLON_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

quillon::hid::HidDriver& Driver() {
    static quillon::hid::HidDriver instance(quillon::hid::HidapiBackend());
    return instance;
}

// The program exports its message functions; a host without them simply gets no notifications.
quillon::hid::HostPoster ResolveHost() {
    quillon::hid::HostPoster host;
    if (auto post = reinterpret_cast<QuillonPostMessageFn>(dlsym(RTLD_DEFAULT, QUILLON_HOST_POST_MESSAGE)))
        host.post = post;
    if (auto postData =
            reinterpret_cast<QuillonPostDataMessageFn>(dlsym(RTLD_DEFAULT, QUILLON_HOST_POST_DATA_MESSAGE)))
        host.postData = postData;
    return host;
}

}  // namespace

QUILLON_EXPORT void Set_VIDPID(int vendorId, int productId) {
    Driver().SetIds(vendorId, productId);
}

QUILLON_EXPORT void Open_DevMonitor(QuillonWindow window, uint32_t dataMessage, uint32_t plugMessage) {
    Driver().OpenMonitor(window, dataMessage, plugMessage, ResolveHost());
}

QUILLON_EXPORT void Close_DevMonitor(void) {
    Driver().CloseMonitor();
}

QUILLON_EXPORT int Open_FeatureDevice(void) {
    return Driver().IsPresent() ? 1 : 0;
}

QUILLON_EXPORT void Close_FeatureDevice(void) {}

// The mouse is configured through output reports only; feature reports are not part of its protocol.
QUILLON_EXPORT int SetFeature(uint8_t*, int) {
    return -1;
}
QUILLON_EXPORT int GetFeature(uint8_t*, int) {
    return -1;
}

QUILLON_EXPORT int Open_ReportDevice(void) {
    return Driver().OpenReportDevice() ? 1 : 0;
}

QUILLON_EXPORT void Close_ReportDevice(void) {
    Driver().CloseReportDevice();
}

QUILLON_EXPORT int WriteUSB(const uint8_t* report, int length) {
    return Driver().Write(report, length);
}

QUILLON_EXPORT int ReadUSB(uint8_t* buffer, int length) {
    return Driver().Read(buffer, length);
}

QUILLON_EXPORT int Get_OpenError(void) {
    switch (Driver().LastOpenFailure()) {
    case quillon::hid::OpenFailure::None:
        return QUILLON_OPEN_OK;
    case quillon::hid::OpenFailure::NotFound:
        return QUILLON_OPEN_NOT_FOUND;
    case quillon::hid::OpenFailure::PermissionDenied:
        return QUILLON_OPEN_PERMISSION_DENIED;
    case quillon::hid::OpenFailure::Other:
        break;
    }
    return QUILLON_OPEN_OTHER_ERROR;
}

// Compile-time check that the exports match the table the program resolves.
static_assert(std::is_same_v<decltype(&Set_VIDPID), Set_VIDPID_Fn>);
static_assert(std::is_same_v<decltype(&Open_DevMonitor), Open_DevMonitor_Fn>);
static_assert(std::is_same_v<decltype(&Close_DevMonitor), Close_DevMonitor_Fn>);
static_assert(std::is_same_v<decltype(&Open_FeatureDevice), Open_FeatureDevice_Fn>);
static_assert(std::is_same_v<decltype(&Close_FeatureDevice), Close_FeatureDevice_Fn>);
static_assert(std::is_same_v<decltype(&SetFeature), SetFeature_Fn>);
static_assert(std::is_same_v<decltype(&GetFeature), GetFeature_Fn>);
static_assert(std::is_same_v<decltype(&Open_ReportDevice), Open_ReportDevice_Fn>);
static_assert(std::is_same_v<decltype(&Close_ReportDevice), Close_ReportDevice_Fn>);
static_assert(std::is_same_v<decltype(&WriteUSB), WriteUSB_Fn>);
static_assert(std::is_same_v<decltype(&ReadUSB), ReadUSB_Fn>);
static_assert(std::is_same_v<decltype(&Get_OpenError), Get_OpenError_Fn>);
